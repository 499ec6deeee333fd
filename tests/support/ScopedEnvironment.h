#pragma once
// Environment variables set or removed for one test and put back as they were when the
// object goes out of scope, so a failing assertion that leaves the test early cannot leak a
// variable into the tests that follow.
//
//   tvr::testing::ScopedEnvironment env;
//   env.set("SYBASE", "/opt/sybase");
//   env.unset("LC_ALL");
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvr::testing {

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        // Newest first, so a variable touched twice ends with the value it had before both.
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const std::string& name, const std::string& value) {
        remember(name);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void unset(const std::string& name) {
        remember(name);
        ::unsetenv(name.c_str());
    }

private:
    void remember(const std::string& name) {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace tvr::testing
