#include "lists/eventpump.h"

namespace velquin {

EventPump::EventPump(std::function<void()> runEvents, int intervalMs, std::function<bool()> stop)
    : runEvents_(std::move(runEvents)), stop_(std::move(stop)), intervalNs_(qint64(intervalMs) * 1000000) {
    sinceLast_.start();
}

void EventPump::step() {
    if (due())
        runNow();
}

bool EventPump::due() const {
    return runEvents_ && sinceLast_.nsecsElapsed() >= intervalNs_;
}

void EventPump::runNow() {
    if (runEvents_)
        runEvents_();
    sinceLast_.restart();
}

BusyScope::BusyScope(BusySwitch busySwitch) : switch_(std::move(busySwitch)) {
    if (switch_)
        switch_(true);
}

BusyScope::~BusyScope() {
    if (switch_)
        switch_(false);
}

} // namespace velquin
