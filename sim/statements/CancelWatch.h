#pragma once
// While a statement runs in SQLite, a cancel from the client (or a stop of the server) interrupts
// it between virtual-machine steps, so a long query or copy ends as soon as it is asked to.
#include <sqlite3.h>

#include "sim/statements/ResultSink.h"

namespace tvr::sim {

class CancelWatch {
public:
    CancelWatch(sqlite3* db, ResultSink& sink) : db_(db) {
        sqlite3_progress_handler(
            db_, 2000,
            [](void* watched) {
                return static_cast<ResultSink*>(watched)->cancelRequested() ? 1 : 0;
            },
            &sink);
    }
    ~CancelWatch() { sqlite3_progress_handler(db_, 0, nullptr, nullptr); }
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

private:
    sqlite3* db_;
};

}  // namespace tvr::sim
