#pragma once
// Runs an action when the scope ends, however it ends: the one way our code undoes a temporary
// change or releases what a step took, instead of a local struct or a catch that rethrows.
//
//     const auto restore = tvr::onScopeExit([&] { context.redirectSink(previous); });
#include <utility>

namespace tvr {

template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action action_;
};

template <typename Action>
[[nodiscard]] ScopeExit<Action> onScopeExit(Action action) {
    return ScopeExit<Action>(std::move(action));
}

}  // namespace tvr
