#include "sim/protocol/ClientRequest.h"

#include "sim/protocol/Wire.h"

namespace tvr::sim {
namespace {

constexpr std::uint8_t LanguageToken = 0x21;
constexpr std::uint8_t LogoutToken = 0x71;
constexpr std::uint8_t OptionToken = 0xA6;

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
                in.skip(static_cast<std::size_t>(length - 2));
            } else {
                in.skip(length);
            }
            request.kind = ClientRequest::Kind::Option;
            break;
        }
        default:
            request.kind = ClientRequest::Kind::Unsupported;
            break;
    }
    return request;
}

}  // namespace tvr::sim
