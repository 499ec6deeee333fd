#pragma once
// Progress events of the client layer: result headings and rows, the end of a command's
// results, informational server messages and error headings, handed to one receiver.
#include <cstdint>
#include <string>

namespace tvr::client {

enum TEventCode : std::int32_t {
    EventRow = 0,           // the values of one row, concatenated
    EventInformation = 2,   // the text of an informational server message
    EventErrorHeading = 3,  // the heading of an error record and the message text
    EventHeadings = 5,      // the headings of a row result, each followed by LF
    EventResultsEnd = 6,    // the end of the results of a command (empty text)
};

struct TEventCT {
    std::int32_t Code = 0;
    std::string Text;
};

class TEventReceiver {
public:
    virtual ~TEventReceiver() = default;
    // Runs on the thread that made the library call; must not throw.
    virtual void ReceiveEvent(const TEventCT& event) = 0;
};

// The process-wide receiver (not owned); none at start. Returns the previous one.
TEventReceiver* EventReceiver();
TEventReceiver* setEventReceiver(TEventReceiver* receiver);

// Hands an event to the receiver, when there is one.
void sendEvent(std::int32_t code, const std::string& text);

}  // namespace tvr::client
