// aseemu: an emulated Adaptive Server for tests, the demo and trying the program without a
// server. See sim/README.md for the command line.
#include "sim/ServerOptions.h"
#include "sim/procs/BackupCommands.h"
#include "sim/procs/ExtensionOptions.h"
#include "sim/procs/Sandbox.h"
#include "sim/protocol/CommandTrace.h"
#include "sim/protocol/Server.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/ServerState.h"

#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    using namespace tvr::sim;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments[0] == "sandbox")
        return runSandbox(std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                          argv[0]);
    ServerOptions options;
    ExtensionOptions extensions;
    try {
        extensions = takeExtensionOptions(arguments);
        options = parseServerOptions(arguments);
    } catch (const std::exception& error) {
        std::cerr << "aseemu: " << error.what() << "\n" << serverUsage() << extensionUsage();
        return 2;
    }

    // SIGTERM and SIGINT are taken by a thread of their own; a vanished client never kills us.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        ServerState state(options);
        BackupServices backup(state, extensions);
        CommandSet commands = makeStandardCommands();
        addBackupCommands(commands, backup);
        Server server(state, commands);
        int port = server.listen(options.port);
        std::thread signalWaiter([&] {
            int received = 0;
            sigwait(&stopSignals, &received);
            if (!state.stopping())
                logLine(options.name,
                        std::string("stopping on signal ") + std::to_string(received));
            server.stop();
        });
        std::printf("listening on 127.0.0.1:%d\n", port);
        std::fflush(stdout);
        logLine(options.name,
                "listening on 127.0.0.1:" + std::to_string(port) + ", data in " + options.dataDir);
        try {
            server.run();
        } catch (...) {
            server.stop();
            pthread_kill(signalWaiter.native_handle(), SIGTERM);
            signalWaiter.join();
            throw;
        }
        if (!state.stopping()) server.stop();
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
        signalWaiter.join();
        logLine(options.name, "stopped");
    } catch (const std::exception& error) {
        std::cerr << "aseemu: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
