#pragma once
// Writing a whole buffer: to an open descriptor, or appended to a file. A write that the
// kernel cuts short or that a signal interrupts goes on where it stopped, so a caller
// never stores half a buffer by accident.
#include <string>
#include <string_view>

namespace tvr::platform {

// All of `data` to `fd`; false when the descriptor refuses any part of it (errno says why).
bool writeWhole(int fd, std::string_view data);

enum class AppendResult { Written, OpenFailed, WriteFailed };

// Appends `data` to `file`, created when missing (mode 0666 less the umask). The file is
// opened for appending only, so entries of several writers holding it open at once never
// overwrite each other.
AppendResult appendToFile(const std::string& file, std::string_view data);

}  // namespace tvr::platform
