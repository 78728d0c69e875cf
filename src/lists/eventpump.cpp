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
    // Away from the window's thread the window runs its events itself.
    if (runEvents_ && !isAway_)
        runEvents_();
    sinceLast_.restart();
}

void EventPump::listing(const QString& folder, qsizetype found) const {
    if (listing_)
        onWindow([&] { listing_(folder, found); });
}

void EventPump::setThreads(Runner away, Runner onWindow) {
    away_ = std::move(away);
    onWindow_ = std::move(onWindow);
}

void EventPump::away(const std::function<void()>& read) {
    if (!away_ || !onWindow_ || isAway_) {
        read();
        return;
    }
    isAway_ = true;
    struct Back {
        bool& flag;
        ~Back() { flag = false; }
    } back{isAway_};
    away_(read);
}

void EventPump::onWindow(const std::function<void()>& touch) const {
    if (isAway_)
        onWindow_(touch);
    else
        touch();
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
