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

// appendToFile for a log entry that must start on a line of its own: when the file does not
// end with a line end (CR or LF) and `entry` does not begin with one, a CR LF goes first, so
// that an entry written after an unfinished last line is not glued to it. The check and the
// write are made under an exclusive lock of the file, so that two writers of this program,
// threads or processes, cannot both find the same last byte.
AppendResult appendEntryToFile(const std::string& file, std::string_view entry);

}  // namespace tvr::platform
