#include "engine/AlertCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <utility>

extern char** environ;

namespace tvr::engine {
namespace {

// Commands still running when their object went: reaped by the next object's ticks.
std::mutex leftoverMutex;
std::vector<pid_t> leftovers;

constexpr const char* kVariables[] = {"TVR_ALERT_LEVEL=", "TVR_LAG_SECONDS=", "TVR_PROFILE="};

std::vector<std::string> childEnvironment(AlertLevel level, std::chrono::seconds lag,
                                          const std::string& profile) {
    std::vector<std::string> variables;
    for (char** v = environ; v && *v; ++v) {
        bool ours = false;
        for (const char* name : kVariables)
            ours = ours || std::strncmp(*v, name, std::strlen(name)) == 0;
        if (!ours) variables.emplace_back(*v);
    }
    variables.push_back(std::string(kVariables[0]) + alertLevelWord(level));
    variables.push_back(std::string(kVariables[1]) + std::to_string(lag.count()));
    variables.push_back(std::string(kVariables[2]) + profile);
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

std::vector<std::string> commandWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

const char* alertLevelWord(AlertLevel level) {
    return level == AlertLevel::None ? "ok" : alertLevelName(level);
}

TAlertCommand::TAlertCommand(std::function<void(const std::string&)> errorEntry)
    : errorEntry_(std::move(errorEntry)) {}

TAlertCommand::~TAlertCommand() {
    reap();
    std::lock_guard lock(leftoverMutex);
    for (const Child& child : children_) leftovers.push_back(child.pid);
}

void TAlertCommand::LevelNow(AlertLevel level, std::chrono::seconds lag, const std::string& command,
                             const std::string& profile) {
    reap();
    if (level == level_) return;
    level_ = level;
    if (!commandWords(command).empty()) start(level, lag, command, profile);
}

void TAlertCommand::start(AlertLevel level, std::chrono::seconds lag, const std::string& command,
                          const std::string& profile) {
    std::vector<std::string> words = commandWords(command);
    std::vector<std::string> variables = childEnvironment(level, lag, profile);
    std::vector<char*> argv = pointers(words);
    std::vector<char*> envp = pointers(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing to read: a command that asks for input ends instead of waiting for it.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    // A word without a folder is looked up in PATH, as a shell would, but no shell runs.
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        errorEntry_("The alert command \"" + command +
                    "\" cannot be started: " + std::strerror(error));
        return;
    }
    children_.push_back({pid, command});
}

void TAlertCommand::reap() {
    {
        std::lock_guard lock(leftoverMutex);
        std::erase_if(leftovers, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
    }
    for (auto it = children_.begin(); it != children_.end();) {
        int status = 0;
        const pid_t done = ::waitpid(it->pid, &status, WNOHANG);
        if (done == 0) {
            ++it;
            continue;
        }
        if (done == it->pid && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            errorEntry_("The alert command \"" + it->command + "\" ended with exit code " +
                        std::to_string(WEXITSTATUS(status)));
        } else if (done == it->pid && WIFSIGNALED(status)) {
            errorEntry_("The alert command \"" + it->command + "\" was ended by signal " +
                        std::to_string(WTERMSIG(status)));
        }
        it = children_.erase(it);
    }
}

}  // namespace tvr::engine
