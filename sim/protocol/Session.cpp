#include "sim/protocol/Session.h"

#include "platform/ScopeExit.h"
#include "sim/protocol/ClientRequest.h"
#include "sim/statements/BatchRunner.h"
#include "sim/statements/ServerMessages.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace tvr::sim {
namespace {

// The option command token and its commands.
constexpr std::uint8_t OptionToken = 0xA6;
constexpr std::uint8_t OptionSet = 1;
constexpr std::uint8_t OptionDefault = 2;
constexpr std::uint8_t OptionList = 3;
constexpr std::uint8_t OptionInfo = 4;

}  // namespace
namespace {

constexpr std::size_t MinPacketSize = 512;
constexpr std::size_t MaxPacketSize = 65535;

void setReceiveTimeout(int socket, std::chrono::microseconds limit) {
    timeval value{static_cast<time_t>(limit.count() / 1000000),
                  static_cast<suseconds_t>(limit.count() % 1000000)};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

}  // namespace

Session::Session(ServerState& server, const CommandSet& commands, CommandTrace& trace, int socket,
                 int connectionId)
    : server_(server),
      commands_(commands),
      trace_(trace),
      socket_(socket),
      id_(connectionId),
      assembler_(server.options().maxMessageSize) {}

Session::~Session() = default;

void Session::log(const std::string& text) {
    logLine(server_.serverName(), "connection " + std::to_string(id_) + ": " + text);
}

void Session::run() {
    try {
        if (login()) serve();
    } catch (const ProtocolError& error) {
        log("closed: " + std::string(error.what()));
    } catch (const ConnectionLost& lost) {
        log("connection lost: " + std::string(lost.what()));
    } catch (const std::exception& error) {
        log("closed after an internal error: " + std::string(error.what()));
    }
    context_.reset();
    ::shutdown(socket_, SHUT_RDWR);
}

bool Session::readExact(std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        // Each receive waits only for what is left of the time limit, so that a client sending
        // a byte now and then cannot stretch it.
        if (deadline_) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                *deadline_ - std::chrono::steady_clock::now());
            if (left.count() <= 0) throw SessionTimedOut(deadlineReason_);
            setReceiveTimeout(socket_, std::max(left, std::chrono::microseconds(1000)));
        }
        ssize_t got = ::recv(socket_, data + done, size - done, 0);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got == 0 && done == 0) return false;
        if (got == 0) throw ProtocolError("connection closed in the middle of a packet");
        throw ConnectionLost(std::strerror(errno));
    }
    return true;
}

ClientMessage Session::readMessage() {
    for (;;) {
        std::uint8_t header[PacketHeaderSize];
        if (!readExact(header, sizeof header)) throw ConnectionLost("closed by the client");
        PacketHeader packet = parsePacketHeader(header);
        std::vector<std::uint8_t> body(packet.length - PacketHeaderSize);
        if (!body.empty() && !readExact(body.data(), body.size()))
            throw ProtocolError("connection closed in the middle of a packet");
        // A client may give up on a command it is still sending: the attention drops it.
        if (packet.type == PacketCancel && assembler_.inMessage()) {
            assembler_.reset();
            return ClientMessage{PacketCancel, {}};
        }
        if (assembler_.add(packet, body.data(), body.size())) return assembler_.take();
    }
}

ClientMessage Session::readMessageWithin(std::chrono::seconds limit, const std::string& reason) {
    if (limit.count() <= 0) return readMessage();
    deadline_ = std::chrono::steady_clock::now() + limit;
    deadlineReason_ = reason;
    const auto clear = onScopeExit([&] {
        deadline_.reset();
        setReceiveTimeout(socket_, std::chrono::microseconds(0));
    });
    return readMessage();
}

bool Session::login() {
    // A client that connects and does not log on must not hold its thread for ever: the whole
    // login message has to arrive within the limit.
    const std::chrono::seconds limit(server_.options().loginTimeoutSeconds);
    ClientMessage first = readMessageWithin(
        limit, "no complete logon within " + std::to_string(limit.count()) + " s");
    if (first.type == PacketPrelogin || first.type == PacketLogin7) {
        log("refused: the client asked for a TDS 7 login; this server speaks TDS 5.0 only");
        return false;
    }
    if (first.type != PacketLogin)
        throw ProtocolError("first packet of type " + std::to_string(first.type) +
                            " instead of a login");
    login_ = parseLoginRecord(first.body);
    if (!login_.isTds50()) {
        log("refused: login for TDS " + std::to_string(login_.protocolMajor) + "." +
            std::to_string(login_.protocolMinor) + "; this server speaks TDS 5.0 only");
        return false;
    }
    if (!login_.littleEndian()) {
        log("refused: the client writes integers most significant byte first, which this server does not read");
        return false;
    }
    // The reply to the login travels at the smallest size; the negotiated one applies after it.
    std::size_t negotiated = MinPacketSize;
    if (login_.requestedPacketSize >= static_cast<int>(MinPacketSize))
        negotiated = std::min(static_cast<std::size_t>(login_.requestedPacketSize), MaxPacketSize);

    if (!server_.checkLogin(login_.userName, login_.password)) {
        log("login refused for user '" + login_.userName + "' from " + login_.hostName);
        ServerMessage refused = messages::loginFailed();
        writeMessage(out_, refused, server_.serverName());
        writeLoginAck(out_, LoginFailed);
        writeDone(out_, TokenDone, DoneError, 0);
        sendResponse();
        return false;
    }
    context_.emplace(server_, commands_, *this, id_);
    context_->userName = login_.userName;
    context_->hostName = login_.hostName;
    context_->applicationName = login_.applicationName;
    context_->publishSession();
    log("logged on: user '" + login_.userName + "', host '" + login_.hostName + "', application '" +
        login_.applicationName + "'");

    writeLoginAck(out_, LoginSucceeded);
    writeEnvChange(out_, EnvDatabase, "master", "");
    ServerMessage changed = messages::databaseChanged("master");
    writeMessage(out_, changed, server_.serverName());
    writeEnvChange(out_, EnvCharset, login_.charset.empty() ? "utf8" : login_.charset, "");
    writeEnvChange(out_, EnvPacketSize, std::to_string(negotiated), std::to_string(MinPacketSize));
    if (!login_.capabilities.empty()) writeCapabilities(out_, login_.capabilities);
    writeDone(out_, TokenDone, DoneFinal, 0);
    sendResponse();
    packetSize_ = negotiated;
    return true;
}

void Session::serve() {
    for (;;) {
        ClientMessage request;
        try {
            // A session left idle past the limit gives its thread back.
            const std::chrono::seconds idle(server_.options().idleTimeoutSeconds);
            request = readMessageWithin(
                idle, "closed: no request for " + std::to_string(idle.count()) + " s");
        } catch (const SessionTimedOut& timedOut) {
            log(timedOut.what());
            return;
        } catch (const ConnectionLost&) {
            if (!server_.stopping()) log("disconnected without logout");
            return;
        }
        cancelled_ = false;
        if (request.type == PacketCancel) {
            // The command had ended before the attention arrived: acknowledge it all the same.
            acknowledgeAttention();
            continue;
        }
        if (request.type == PacketBulk && context_->bulkData) {
            // The data the statement before announced (insert bulk, writetext bulk).
            const BulkDataHandler take = std::move(context_->bulkData);
            context_->bulkData = nullptr;
            const StatementOutcome outcome = take(*context_, request.body);
            std::uint16_t status = outcome.error ? DoneError : 0;
            if (outcome.rowCount) status |= DoneCount;
            writeDone(out_, TokenDone, status,
                      static_cast<std::int32_t>(outcome.rowCount.value_or(0)));
            sendResponse();
            continue;
        }
        // Bulk data is taken only right after the statement that announced it.
        context_->bulkData = nullptr;
        if (request.type != PacketNormal && request.type != PacketQuery) {
            writeMessage(
                out_,
                messages::unsupportedRequest("packets of type " + std::to_string(request.type)),
                server_.serverName());
            writeDone(out_, TokenDone, DoneError, 0);
            sendResponse();
            continue;
        }
        ClientRequest parsed;
        if (request.type == PacketQuery) {
            parsed.kind = ClientRequest::Kind::Language;
            parsed.text.assign(request.body.begin(), request.body.end());
        } else {
            parsed = parseClientRequest(request.body);
        }
        switch (parsed.kind) {
            case ClientRequest::Kind::Logout:
                writeDone(out_, TokenDone, DoneFinal, 0);
                sendResponse();
                log("logged out");
                return;
            case ClientRequest::Kind::Option:
                answerOption(parsed);
                writeDone(out_, TokenDone, DoneFinal, 0);
                sendResponse();
                break;
            case ClientRequest::Kind::Unsupported: {
                char token[8];
                std::snprintf(token, sizeof token, "0x%02X", parsed.token);
                writeMessage(
                    out_,
                    messages::unsupportedRequest(!parsed.unsupported.empty()
                                                     ? parsed.unsupported
                                                     : std::string("requests of token ") + token),
                    server_.serverName());
                writeDone(out_, TokenDone, DoneError, 0);
                sendResponse();
                break;
            }
            case ClientRequest::Kind::Rpc:
                // The call runs as the exec statement it stands for; the procedure sends the
                // values of the parameters the caller asked back.
                parsed.text = rpcAsExecute(parsed.procedure, parsed.parameters);
                context_->returnOutputParameters = true;
                [[fallthrough]];
            case ClientRequest::Kind::Language:
                if (!runRequestBatch(parsed.text, variablesOf(parsed.parameters))) return;
                break;
            case ClientRequest::Kind::Dynamic:
                if (!runDynamic(parsed)) return;
                break;
        }
    }
}

namespace {

// A parameter's value as a variable holds it: a quoted text without its quotes.
std::optional<std::string> literalValue(const std::optional<std::string>& literal) {
    if (!literal || literal->size() < 2 || literal->front() != '\'') return literal;
    std::string text;
    for (std::size_t i = 1; i + 1 < literal->size(); ++i) {
        text += (*literal)[i];
        if ((*literal)[i] == '\'') ++i;  // a doubled quote
    }
    return text;
}

}  // namespace

// The parameters of a language command: variables of the batch, declared and holding their
// values before its first statement.
VariableScope Session::variablesOf(const std::vector<RpcParameter>& parameters) {
    VariableScope variables;
    for (const RpcParameter& parameter : parameters) {
        variables.declare(parameter.name, parameter.type, parameter.length);
        if (Variable* variable = variables.find(parameter.name))
            variables.assignLiteral(*variable, literalValue(parameter.literal));
    }
    return variables;
}

bool Session::runRequestBatch(const std::string& text, VariableScope variables) {
    trace_.record(id_, text);
    const BatchResult result = runBatch(*context_, text, std::move(variables));
    context_->returnOutputParameters = false;
    if (result == BatchResult::Cancelled || cancelled_) {
        if (connectionLost_ || server_.stopping()) return false;
        out_.clear();
        acknowledgeAttention();
    } else {
        sendResponse();
    }
    return true;
}

bool Session::runDynamic(const ClientRequest& request) {
    const std::string& id = request.procedure;
    auto refuse = [&](const ServerMessage& message) {
        writeMessage(out_, message, server_.serverName());
        writeDone(out_, TokenDone, DoneError, 0);
        sendResponse();
        return true;
    };
    switch (request.dynamicOperation) {
        case ClientRequest::DynamicPrepare:
        case ClientRequest::DynamicDeallocate:
            if (request.dynamicOperation == ClientRequest::DynamicPrepare)
                dynamics_.prepare(id, request.text);
            else if (!dynamics_.deallocate(id))
                return refuse(messages::procedureNotFound(id));
            writeDynamicAck(out_, id);
            writeDone(out_, TokenDone, DoneFinal, 0);
            sendResponse();
            return true;
        case ClientRequest::DynamicExecute:
        case ClientRequest::DynamicExecuteImmediate: {
            const bool prepared = request.dynamicOperation == ClientRequest::DynamicExecute;
            const std::string* text = prepared ? dynamics_.find(id) : nullptr;
            if (prepared && text == nullptr) return refuse(messages::procedureNotFound(id));
            const std::string statement =
                prepared ? *text : withoutProcedureHeader(id, request.text);
            std::string why;
            const auto bound = bindPlaceholders(statement, request.parameters, why);
            if (!bound)
                return refuse(messages::unsupportedRequest("a dynamic statement with " + why));
            return runRequestBatch(*bound, {});
        }
        default:
            return refuse(messages::unsupportedRequest("dynamic statement operations of type " +
                                                       std::to_string(request.dynamicOperation)));
    }
}

void Session::acknowledgeAttention() {
    out_.clear();
    writeDone(out_, TokenDone, DoneAttention, 0);
    sendResponse();
    cancelled_ = false;
}

void Session::beginToken() {
    // Everything pending is whole tokens: send it before the next token once a packet is full,
    // so that an attention can drop what is still pending without cutting a token.
    if (out_.size() >= packetSize_ - PacketHeaderSize) {
        std::vector<std::uint8_t> packets;
        appendPackets(packets, out_.bytes().data(), out_.size(), packetSize_, false);
        out_.clear();
        sendBytes(packets);
    }
}

void Session::sendResponse() {
    std::vector<std::uint8_t> packets;
    appendPackets(packets, out_.bytes().data(), out_.size(), packetSize_, true);
    out_.clear();
    sendBytes(packets);
}

void Session::sendBytes(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            connectionLost_ = true;
            throw ConnectionLost(n < 0 ? std::strerror(errno) : "send returned nothing");
        }
        sent += static_cast<std::size_t>(n);
    }
}

void Session::message(const ServerMessage& message) {
    beginToken();
    writeMessage(out_, message, message.server.empty() ? server_.serverName() : message.server);
}

void Session::rowFormat(const std::vector<Column>& columns) {
    beginToken();
    columns_ = columns;
    writeRowFormat(out_, columns);
}

void Session::browseInformation(const BrowseInformation& information) {
    beginToken();
    writeBrowseInformation(out_, information);
}

void Session::row(const Row& row) {
    beginToken();
    writeRow(out_, columns_, row);
}

void Session::parameters(const std::vector<Column>& columns, const Row& values) {
    beginToken();
    writeParameters(out_, columns, values);
}

void Session::returnStatus(std::int32_t status) {
    beginToken();
    writeReturnStatus(out_, status);
}

void Session::environmentChange(EnvChangeType type, const std::string& newValue,
                                const std::string& oldValue) {
    beginToken();
    writeEnvChange(out_, type, newValue, oldValue);
}

// Options are acknowledged and kept for the connection, so that a query of one gives what was
// set (they change nothing else here); one never set reads as the server's default: Sunday first,
// month-day-year dates (us_english), off for the others.
void Session::answerOption(const ClientRequest& request) {
    constexpr std::uint8_t kDateFirst = 1, kDateFormat = 7, kSunday = 7, kMonthDayYear = 1;
    if (request.optionCommand == OptionSet &&
        (request.optionValue.size() == 1 || request.optionValue.size() == 4))
        options_[request.option] = request.optionValue;
    if (request.optionCommand == OptionDefault) options_.erase(request.option);
    if (request.optionCommand != OptionList) return;
    const auto kept = options_.find(request.option);
    const std::uint8_t byDefault = request.option == kDateFirst    ? kSunday
                                   : request.option == kDateFormat ? kMonthDayYear
                                                                   : 0;
    const std::vector<std::uint8_t> value =
        kept != options_.end() ? kept->second : std::vector<std::uint8_t>{byDefault};
    out_.byte(OptionToken);
    out_.uint16(static_cast<std::uint16_t>(3 + value.size()));
    out_.byte(OptionInfo);
    out_.byte(request.option);
    out_.byte(static_cast<std::uint8_t>(value.size()));
    for (std::uint8_t b : value) out_.byte(b);
}

void Session::done(ServerToken token, std::uint16_t status, std::int32_t count) {
    beginToken();
    writeDone(out_, token, status, count);
}

bool Session::cancelRequested() {
    if (cancelled_) return true;
    if (server_.stopping()) {
        cancelled_ = true;
        return true;
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastPoll_ < std::chrono::milliseconds(2)) return false;
    lastPoll_ = now;
    pollfd waiting{socket_, POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0) return false;
    // Something arrived while a command runs: only an attention is allowed here.
    try {
        std::uint8_t header[PacketHeaderSize];
        if (!readExact(header, sizeof header)) {
            connectionLost_ = true;
        } else {
            PacketHeader packet = parsePacketHeader(header);
            std::vector<std::uint8_t> body(packet.length - PacketHeaderSize);
            if (!body.empty() && !readExact(body.data(), body.size()))
                connectionLost_ = true;
            else if (packet.type != PacketCancel) {
                log("closed: a request of type " + std::to_string(packet.type) +
                    " arrived while a command ran");
                connectionLost_ = true;
            }
        }
    } catch (const std::exception& error) {
        log("closed: " + std::string(error.what()));
        connectionLost_ = true;
    }
    if (!connectionLost_) log("attention: the command in progress is cancelled");
    cancelled_ = true;
    return true;
}

}  // namespace tvr::sim
