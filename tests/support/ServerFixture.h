#pragma once
// Client tests against the server emulator: an emulator per test, reached by name through
// FreeTDS, and connection objects that log into the test's scratch folder.
#include "tests/support/ClientFixture.h"

#include "client/Sybase.h"
#include "tests/support/Emulator.h"

#include <memory>
#include <optional>

namespace tvr::client::testing {

class ServerFixture : public ClientFixture {
protected:
    void SetUp() override {
        ClientFixture::SetUp();
        emulator.emplace(serverName(), std::vector<std::string>{"sales"});
    }
    void TearDown() override {
        emulator.reset();
        ClientFixture::TearDown();
    }
    virtual std::string serverName() const { return "TVRMAIN"; }

    // A connection to the emulator logging to act.log and err.log, connected.
    std::unique_ptr<TSybaseConnect> connect(const std::string& password = "") {
        auto c = std::make_unique<TSybaseConnect>(emulator->name(), "sa", password, path("act.log"),
                                                  path("err.log"));
        emulator->logOn([&] { return c->Connect(); });
        return c;
    }
    std::string activity() const { return readFile(dir / "act.log"); }
    std::string errors() const { return readFile(dir / "err.log"); }

    std::optional<tvr::testing::Emulator> emulator;
};

}  // namespace tvr::client::testing
