#pragma once
// The one way a thread of ours hands a call to the thread a QObject lives on (in practice the
// GUI thread): the call runs there from its event loop, after the events already queued, and
// not at all if the object is gone by then. It never waits for that thread.
//
// Qt's event queue is locked inside Qt, where a thread checker does not look (Qt is not built
// for it). So that the order Qt keeps is visible all the same, the call is built and queued
// under a lock of ours that it takes again before it reads anything: whatever the caller wrote
// before handing the call over (its captures and what they point to) is then seen written
// before the call reads it. The lock is held only while the call is queued, never while one
// runs.
#include <QObject>

#include <functional>

namespace tvr::ui {

void queueCall(QObject* context, std::function<void()> call);

}  // namespace tvr::ui
