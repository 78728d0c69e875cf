#include "lists/eventpump.h"

namespace velquin {

EventPump::EventPump(std::function<void()> runEvents, int intervalMs, std::function<bool()> stop)
    : runEvents_(std::move(runEvents)), stop_(std::move(stop)), intervalNs_(qint64(intervalMs) * 1000000) {
    sinceLast_.start();
}

void EventPump::step() {
    if (!runEvents_ || sinceLast_.nsecsElapsed() < intervalNs_)
        return;
    runNow();
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
