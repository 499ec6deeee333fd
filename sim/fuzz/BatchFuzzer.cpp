// libFuzzer target for the statement layer: the input is one batch, run against the state of a
// server just started (made afresh for each input) with a sink that drops everything. Whatever
// the batch, the emulator must answer with messages, never crash or hang.
#include "sim/fuzz/FreshServer.h"
#include "sim/statements/BatchRunner.h"
#include "sim/statements/StatementHandlers.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace {

using namespace tvr::sim;

class DroppingSink : public NullResultSink {
public:
    void row(const Row&) override {
        if (++rows > 100000) cancelled = true;  // a runaway cross join: stop it as a client would
    }
    // Long statements (waitfor, huge joins) are cancelled as a client would.
    bool cancelRequested() override {
        cancelled = cancelled ||
                    std::chrono::steady_clock::now() - started > std::chrono::milliseconds(200);
        return cancelled;
    }
    long rows = 0;
    bool cancelled = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

fuzz::FreshServer& fresh() {
    static fuzz::FreshServer server([] {
        ServerOptions options;
        options.name = "FUZZ";
        options.databases = {"pubs2"};
        options.logins = {{"sa", ""}};
        return options;
    }());
    return server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string batch(reinterpret_cast<const char*>(data), size);
    static const CommandSet commands = makeStandardCommands();
    const std::unique_ptr<ServerState> state = fresh().reset();
    DroppingSink sink;
    {
        ExecutionContext context(*state, commands, sink, 1);
        context.userName = "sa";
        runBatch(context, batch);
    }
    return 0;
}
