#include "client/SessionRegistry.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace tvr::client {
namespace {
std::unique_ptr<std::vector<TSessionItem>> registry;
}  // namespace

std::mutex& SessionLock() {
    static std::mutex lock;
    return lock;
}

TSybaseConnect* FindSession(CS_CONNECTION* connection) {
    if (connection == nullptr) return nullptr;
    std::lock_guard guard(SessionLock());
    if (!registry) return nullptr;
    for (const TSessionItem& item : *registry)
        if (item.Connection == connection) return item.Owner;
    return nullptr;
}

void registerSession(const TSessionItem& item) {
    std::lock_guard guard(SessionLock());
    if (!registry) registry = std::make_unique<std::vector<TSessionItem>>();
    registry->push_back(item);
}

void unregisterSession(const TSybaseConnect* owner) {
    std::lock_guard guard(SessionLock());
    if (!registry) return;
    const auto it = std::find_if(registry->begin(), registry->end(),
                                 [owner](const TSessionItem& i) { return i.Owner == owner; });
    if (it != registry->end()) registry->erase(it);
    if (registry->empty()) registry.reset();
}

void forgetSessionConnection(const TSybaseConnect* owner) {
    std::lock_guard guard(SessionLock());
    if (!registry) return;
    for (TSessionItem& item : *registry)
        if (item.Owner == owner) item.Connection = nullptr;
}

bool sessionRegistryExists() {
    std::lock_guard guard(SessionLock());
    return registry != nullptr;
}

std::size_t sessionCount() {
    std::lock_guard guard(SessionLock());
    return registry ? registry->size() : 0;
}

}  // namespace tvr::client
