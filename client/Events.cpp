#include "client/Events.h"

#include <atomic>

namespace tvr::client {
namespace {
std::atomic<TEventReceiver*> receiver{nullptr};
}  // namespace

TEventReceiver* EventReceiver() { return receiver.load(); }
TEventReceiver* setEventReceiver(TEventReceiver* r) { return receiver.exchange(r); }

void sendEvent(std::int32_t code, const std::string& text) {
    if (TEventReceiver* r = receiver.load()) r->ReceiveEvent(TEventCT{code, text});
}

}  // namespace tvr::client
