// The window of a profile other than the default names it in its caption and its tray hint,
// so that two programs on one desktop can be told apart.
#include "platform/Profile.h"
#include "tests/ui/WindowFixture.h"

using namespace tvr;

class ProfileWindow : public tvr::testing::WindowFixture {
protected:
    void TearDown() override {
        named.reset();
        platform::setProfile(platform::kDefaultProfileName);
        WindowFixture::TearDown();
    }
    std::unique_ptr<ui::TFormDumpLoad> named;
};

TEST_F(ProfileWindow, CaptionAndTrayHintNameTheProfile) {
    platform::setProfile("east-2");
    named = std::make_unique<ui::TFormDumpLoad>();
    EXPECT_EQ(named->windowTitle(), "Travenor(TVR) - east-2");
    EXPECT_EQ(named->tray()->hint(), "Travenor east-2\r\nNot active...");
    named->SetProcessState(engine::StateProcessing);
    EXPECT_EQ(named->tray()->hint(), "Travenor east-2\r\nProcessing...");
}
