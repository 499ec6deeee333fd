#include "sim/protocol/ClientRequest.h"

#include "sim/protocol/Wire.h"

#include <cctype>

namespace tvr::sim {
namespace {

constexpr std::uint8_t LanguageToken = 0x21;
constexpr std::uint8_t LogoutToken = 0x71;
constexpr std::uint8_t OptionToken = 0xA6;
constexpr std::uint8_t RpcToken = 0xE6;
constexpr std::uint8_t DynamicToken = 0xE7;

// A name that can stand in an exec statement as it is: letters, digits, _ @ # $ and dots.
bool plainName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '@' && c != '#' &&
            c != '$' && c != '.')
            return false;
    return true;
}

// DBRPC: the procedure's name and options, then its parameters when the options say so.
void readRpc(WireReader& in, ClientRequest& request) {
    const std::uint16_t length = in.uint16();
    WireReader header(in.take(length), length);
    request.procedure = header.text(header.byte());
    const std::uint16_t options = header.remaining() >= 2 ? header.uint16() : 0;
    request.kind = ClientRequest::Kind::Rpc;
    if ((options & 0x02) != 0 || !in.atEnd())
        request.parameters = readRpcParameters(in, request.unsupported);
    if (!request.unsupported.empty()) {
        request.kind = ClientRequest::Kind::Unsupported;
        request.unsupported = "procedure parameters of type " + request.unsupported;
        return;
    }
    bool plain = plainName(request.procedure);
    for (const RpcParameter& parameter : request.parameters)
        plain = plain && (parameter.name.empty() ||
                          (parameter.name.front() == '@' && plainName(parameter.name)));
    if (!plain) {
        request.kind = ClientRequest::Kind::Unsupported;
        request.unsupported = "procedure calls by a name that is no identifier";
    }
}

// DYNAMIC: the operation, a status (1: parameters follow), the statement's id and, to prepare
// or execute immediately, its text; then the parameters of an execution.
void readDynamic(WireReader& in, ClientRequest& request) {
    const std::uint16_t length = in.uint16();
    WireReader header(in.take(length), length);
    request.dynamicOperation = header.byte();
    const std::uint8_t status = header.byte();
    request.procedure = header.text(header.byte());
    if (header.remaining() >= 2) request.text = header.text(header.uint16());
    request.kind = ClientRequest::Kind::Dynamic;
    if ((status & 0x01) != 0 || !in.atEnd())
        request.parameters = readRpcParameters(in, request.unsupported);
    if (!request.unsupported.empty()) {
        request.kind = ClientRequest::Kind::Unsupported;
        request.unsupported = "dynamic statement parameters of type " + request.unsupported;
    }
}

}  // namespace

ClientRequest parseClientRequest(const std::vector<std::uint8_t>& body) {
    WireReader in(body);
    ClientRequest request;
    request.token = in.byte();
    switch (request.token) {
        case LanguageToken: {
            std::uint32_t length = in.uint32();
            if (length < 1) throw ProtocolError("language token without its status byte");
            if (length > in.remaining())
                throw ProtocolError("language token of " + std::to_string(length) + " bytes, " +
                                    std::to_string(in.remaining()) + " present");
            request.kind = ClientRequest::Kind::Language;
            request.hasParameters = (in.byte() & 0x01) != 0;
            request.text = in.text(length - 1);
            if (request.hasParameters) {
                request.parameters = readRpcParameters(in, request.unsupported);
                bool named = request.unsupported.empty();
                for (const RpcParameter& parameter : request.parameters)
                    named = named && parameter.name.size() > 1 && parameter.name.front() == '@' &&
                            plainName(parameter.name);
                if (!named) {
                    request.kind = ClientRequest::Kind::Unsupported;
                    request.unsupported =
                        request.unsupported.empty()
                            ? "language parameters without a name"
                            : "language parameters of type " + request.unsupported;
                }
            }
            break;
        }
        case LogoutToken:
            in.byte();
            request.kind = ClientRequest::Kind::Logout;
            break;
        case OptionToken: {
            const std::uint16_t length = in.uint16();
            if (length >= 2) {
                request.optionCommand = in.byte();
                request.option = in.byte();
                std::size_t rest = length - 2u;
                if (rest > 0) {
                    const std::size_t size = std::min<std::size_t>(in.byte(), rest - 1);
                    for (std::size_t i = 0; i < size; ++i) request.optionValue.push_back(in.byte());
                    rest -= 1 + size;
                }
                in.skip(rest);
            } else {
                in.skip(length);
            }
            request.kind = ClientRequest::Kind::Option;
            break;
        }
        case RpcToken:
            readRpc(in, request);
            break;
        case DynamicToken:
            readDynamic(in, request);
            break;
        default:
            request.kind = ClientRequest::Kind::Unsupported;
            break;
    }
    return request;
}

}  // namespace tvr::sim
