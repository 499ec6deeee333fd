#include "client/Events.h"

#include <atomic>

namespace tvr::client {
namespace {
std::atomic<TEventReceiver*> receiver{nullptr};
}  // namespace

TEventReceiver* EventReceiver() { return receiver.load(); }
TEventReceiver* SetEventReceiver(TEventReceiver* r) { return receiver.exchange(r); }

void SendEvent(std::int32_t code, const std::string& text) {
    if (TEventReceiver* r = receiver.load()) r->ReceiveEvent(TEventCT{code, text});
}

}  // namespace tvr::client
