#pragma once
// Where statements put what the client is to receive. The session turns each call into
// tokens; tests of the statement layer can record the calls instead.
#include "sim/protocol/ServerTokens.h"
#include "sim/statements/Values.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tvr::sim {

class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void message(const ServerMessage& message) = 0;
    virtual void rowFormat(const std::vector<Column>& columns) = 0;
    virtual void row(const Row& row) = 0;
    virtual void returnStatus(std::int32_t status) = 0;
    virtual void environmentChange(EnvChangeType type, const std::string& newValue,
                                   const std::string& oldValue) = 0;
    virtual void done(ServerToken token, std::uint16_t status, std::int32_t count) = 0;
    // The values of a procedure call's output parameters, after its return status.
    virtual void parameters(const std::vector<Column>&, const Row&) {}
    // After the row format of a query for browse: where its columns come from.
    virtual void browseInformation(const BrowseInformation&) {}
    // True once the client has asked to cancel the command in progress. Long statements ask
    // regularly and stop early.
    virtual bool cancelRequested() = 0;
};

// A sink that drops everything and never cancels; derived sinks keep what they need of it.
class NullResultSink : public ResultSink {
public:
    void message(const ServerMessage&) override {}
    void rowFormat(const std::vector<Column>&) override {}
    void row(const Row&) override {}
    void returnStatus(std::int32_t) override {}
    void environmentChange(EnvChangeType, const std::string&, const std::string&) override {}
    void done(ServerToken, std::uint16_t, std::int32_t) override {}
    bool cancelRequested() override { return false; }
};

}  // namespace tvr::sim
