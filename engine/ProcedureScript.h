#pragma once
// The installation script of the server procedure sp_TVR, installed in sybsystemprocs on
// both servers by the script runner. It is an external interface: the servers run exactly
// these bytes (CR LF line ends, two tab characters, no line end after the final "go").
#include <string_view>

namespace tvr::engine {

extern const std::string_view SpTvrInstallScript;

}  // namespace tvr::engine
