// Travenor: one instance per user, started where an Open Client installation is visible.
#include "platform/QtPrompts.h"
#include "ui/ProgramStart.h"

#include <QApplication>

namespace {

// Qt's message boxes answer every prompt of the process while main runs.
class InstalledQtPrompts {
public:
    InstalledQtPrompts() : previous_(tvr::platform::setPrompts(&prompts_)) {}
    ~InstalledQtPrompts() { tvr::platform::setPrompts(previous_); }
    InstalledQtPrompts(const InstalledQtPrompts&) = delete;
    InstalledQtPrompts& operator=(const InstalledQtPrompts&) = delete;

private:
    tvr::platform::QtPrompts prompts_;
    tvr::platform::Prompts* previous_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const InstalledQtPrompts prompts;
    tvr::ui::ProgramStart start;
    if (start.begin() != tvr::ui::ProgramStart::Outcome::Ready) return 0;
    return start.run();
}
