// Library calls that fail where FreeTDS never fails them: the context set-up and the command
// handle. This test program puts its own cs_config, ct_callback and ct_cmd_alloc in front of
// the library's (the client layer is linked into it statically), failing the call a test asks
// for and passing every other one on.
#include "tests/support/ClientFixture.h"

#include "client/SessionRegistry.h"
#include "client/Sybase.h"

#include <ctpublic.h>
#include <dlfcn.h>

using namespace tvr::client;
using namespace tvr::client::testing;

namespace {
CS_INT failConfigProperty = 0;  // cs_config property to refuse; 0: none
CS_INT failCallbackType = 0;    // ct_callback type to refuse; 0: none
bool failCommandAllocation = false;

template <typename F>
F nextSymbol(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" CS_RETCODE cs_config(CS_CONTEXT* ctx, CS_INT action, CS_INT property, CS_VOID* buffer,
                                CS_INT buflen, CS_INT* outlen) {
    if (property == failConfigProperty) return CS_FAIL;
    using Real = CS_RETCODE (*)(CS_CONTEXT*, CS_INT, CS_INT, CS_VOID*, CS_INT, CS_INT*);
    static const Real real = nextSymbol<Real>("cs_config");
    return real(ctx, action, property, buffer, buflen, outlen);
}

extern "C" CS_RETCODE ct_callback(CS_CONTEXT* ctx, CS_CONNECTION* con, CS_INT action, CS_INT type,
                                  CS_VOID* func) {
    if (type == failCallbackType) return CS_FAIL;
    using Real = CS_RETCODE (*)(CS_CONTEXT*, CS_CONNECTION*, CS_INT, CS_INT, CS_VOID*);
    static const Real real = nextSymbol<Real>("ct_callback");
    return real(ctx, con, action, type, func);
}

extern "C" CS_RETCODE ct_cmd_alloc(CS_CONNECTION* con, CS_COMMAND** cmd) {
    if (failCommandAllocation) return CS_FAIL;
    using Real = CS_RETCODE (*)(CS_CONNECTION*, CS_COMMAND**);
    static const Real real = nextSymbol<Real>("ct_cmd_alloc");
    return real(con, cmd);
}

namespace {

class SetUpFailure : public ClientFixture {
protected:
    void TearDown() override {
        failConfigProperty = 0;
        failCallbackType = 0;
        failCommandAllocation = false;
        ClientFixture::TearDown();
    }
};

}  // namespace

TEST_F(SetUpFailure, LibraryHandlerRefusedShowsItsBoxAndLeavesAnObjectThatFails) {
    failConfigProperty = CS_MESSAGE_CB;
    TSybaseConnect c("TVR_NOWHERE", "sa", "", path("act.log"), path("err.log"));
    expectOneErrorBox("cs_config(CS_MESSAGE_CB) failed");
    EXPECT_EQ(c.Context(), nullptr);
    EXPECT_EQ(c.Connection(), nullptr);
    EXPECT_NE(c.RetCode(), CS_SUCCEED);
    EXPECT_NE(c.Connect(), CS_SUCCEED);
    EXPECT_TRUE(c.Failed());
    // Its commands go nowhere and say so.
    c.Execute("select 1");
    EXPECT_EQ(readFile(dir / "act.log"), "$Err$НЕПРАВИЛЬНЫЙ ЗАПРОС: select 1");
    EXPECT_EQ(sessionCount(), 1u);
}

TEST_F(SetUpFailure, ServerHandlerRefusedShowsItsBox) {
    failCallbackType = CS_SERVERMSG_CB;
    TSybase context;
    expectOneErrorBox("ct_callback for server messages failed");
    EXPECT_EQ(context.Context(), nullptr);
}

TEST_F(SetUpFailure, ClientHandlerRefusedIsOnlyRecorded) {
    failCallbackType = CS_CLIENTMSG_CB;
    TSybaseConnect c("TVR_NOWHERE", "sa", "", "", "");
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_NE(c.Context(), nullptr);
    EXPECT_NE(c.Connection(), nullptr);
}

TEST_F(SetUpFailure, CommandThatGetsNoHandleIsLoggedAsNotSent) {
    TSybaseConnect c("TVR_NOWHERE", "sa", "", path("act.log"), "");
    failCommandAllocation = true;
    c.Execute("select 1");
    EXPECT_EQ(readFile(dir / "act.log"), "$Err$НЕПРАВИЛЬНЫЙ ЗАПРОС: select 1");
    EXPECT_EQ(c.Command(), nullptr);
    // Nothing went out, so nothing failed on the connection: it is still there.
    EXPECT_NE(c.Connection(), nullptr);
    EXPECT_FALSE(c.Failed());
}
