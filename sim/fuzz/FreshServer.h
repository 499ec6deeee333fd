#pragma once
// A server state as it is right after start, for each fuzz input anew: the data folder is made
// once as a template, and every input gets a copy of its files and a state opened on them, so
// that a finding reproduces from its input alone.
#include "sim/storage/ServerState.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace tvr::sim::fuzz {

class FreshServer {
public:
    // In the folder ASEEMU_FUZZ_ROOT names, else in one of its own under the temporary folder.
    explicit FreshServer(ServerOptions options) : options_(std::move(options)) {
        const char* given = std::getenv("ASEEMU_FUZZ_ROOT");
        root_ = given != nullptr && *given != '\0'
                    ? std::filesystem::path(given)
                    : std::filesystem::temp_directory_path() /
                          ("aseemu-fuzz-" + options_.name + "-" + std::to_string(::getpid()));
        for (const char* part : {"template", "data", "scratch"})
            std::filesystem::remove_all(root_ / part);
        options_.dataDir = (root_ / "template").string();
        { ServerState made(options_); }
        options_.dataDir = (root_ / "data").string();
        std::filesystem::create_directories(scratch());
    }
    // The folders it made go; the root stays, with what else it holds (a corpus).
    ~FreshServer() {
        std::error_code ignored;
        for (const char* part : {"template", "data", "scratch"})
            std::filesystem::remove_all(root_ / part, ignored);
    }
    FreshServer(const FreshServer&) = delete;
    FreshServer& operator=(const FreshServer&) = delete;

    // A folder of the fuzzer's own, emptied for each input (dump files go there).
    std::filesystem::path scratch() const { return root_ / "scratch"; }

    // Makes the fuzzer's folder the root of the file system, so that no path an input names
    // (a dump to "/etc/...") reaches anything outside it; the current folder is the scratch
    // folder. Needs root; false when it could not be done. Paths libFuzzer is given must then
    // be inside the folder ("/corpus" for ROOT/corpus).
    bool jail() {
        std::filesystem::create_directories(scratch());
        if (::chroot(root_.c_str()) != 0) return false;
        root_ = "/";
        options_.dataDir = "/data";
        return ::chdir("/scratch") == 0;
    }

    // The state of a server just started on a copy of the template.
    std::unique_ptr<ServerState> reset() {
        std::filesystem::remove_all(options_.dataDir);
        for (const auto& entry : std::filesystem::directory_iterator(scratch()))
            std::filesystem::remove_all(entry.path());
        std::filesystem::copy(root_ / "template", options_.dataDir,
                              std::filesystem::copy_options::recursive);
        return std::make_unique<ServerState>(options_);
    }

private:
    ServerOptions options_;
    std::filesystem::path root_;
};

}  // namespace tvr::sim::fuzz
