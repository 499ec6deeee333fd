#pragma once
// The failure of the registry file itself: it cannot be read, parsed or replaced.
// Outcomes the Windows registry reports as codes (a missing key or value, a value of
// another type) are not errors of this kind; the Registry returns them as RegStatus.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tvr::platform {

class RegistryError : public std::runtime_error {
public:
    // `line` is the 1-based line of a parse error, 0 when the failure is not tied to a line.
    RegistryError(std::filesystem::path file, int line, const std::string& what)
        : std::runtime_error(what), file_(std::move(file)), line_(line) {}

    const std::filesystem::path& file() const noexcept { return file_; }
    int line() const noexcept { return line_; }

private:
    std::filesystem::path file_;
    int line_ = 0;
};

}  // namespace tvr::platform
