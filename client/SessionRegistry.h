#pragma once
// The process-wide registry of connections, through which a message handler finds the
// TSybaseConnect a message belongs to. It exists only while at least one connection does.
#include <ctpublic.h>

#include <cstddef>
#include <mutex>

namespace tvr::client {

class TSybaseConnect;

struct TSessionItem {
    CS_CONTEXT* Context = nullptr;
    CS_CONNECTION* Connection = nullptr;  // the key; none after a forced close
    TSybaseConnect* Owner = nullptr;      // not owned
};

// Guards the registry's creation, additions, removals and freeing. Lives as long as the process.
std::mutex& SessionLock();

// The owner of the first entry keyed by `connection`; none for a null handle, when no entry
// matches, or when the registry is absent. Takes SessionLock for the walk, so a connection
// created or destroyed on another thread at the same time is seen whole or not at all.
TSybaseConnect* FindSession(CS_CONNECTION* connection);

// Adds an entry, creating the registry when it is absent.
void registerSession(const TSessionItem& item);
// Removes the entry of `owner`; frees the registry when it was the last.
void unregisterSession(const TSybaseConnect* owner);
// A forced close released the connection of `owner`: its entry keeps the owner but no key,
// so a later connection allocated at the same address is never taken for this one.
void forgetSessionConnection(const TSybaseConnect* owner);

bool sessionRegistryExists();
std::size_t sessionCount();

}  // namespace tvr::client
