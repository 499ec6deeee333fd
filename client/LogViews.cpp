#include "client/LogSink.h"

#include <atomic>

namespace tvr::client {
namespace {
std::atomic<LogSink*> activityView{nullptr};
std::atomic<LogSink*> errorView{nullptr};
}  // namespace

LogSink* LogView() { return activityView.load(); }
LogSink* setLogView(LogSink* view) { return activityView.exchange(view); }
LogSink* ErrorLogView() { return errorView.load(); }
LogSink* setErrorLogView(LogSink* view) { return errorView.exchange(view); }

}  // namespace tvr::client
