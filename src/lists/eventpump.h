#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>

namespace velquin {

// Lets pending window events run in the middle of a long operation (a folder walk), so the
// window repaints and answers while it grows its list. Running the events after every single
// entry would slow a walk of a large tree down many times, so they run at most once per interval.
class EventPump {
public:
    // `runEvents` is what the window supplies (QCoreApplication::processEvents); empty: nothing.
    // `stop` tells whether the user asked the operation to stop (empty: never).
    explicit EventPump(std::function<void()> runEvents = {}, int intervalMs = 15,
                       std::function<bool()> stop = {});

    // Called after each entry: runs the events when the interval has passed since the last time.
    void step();
    // True when the interval has passed, so that the next step() would run the events.
    bool due() const;
    // Runs the events now.
    void runNow();
    // True once the user asked the operation to stop: it ends, keeping what it has done.
    bool stopped() const { return stop_ && stop_(); }
    // Where a walk is and what it has found, for the window to show (empty: nothing shows it).
    using Listing = std::function<void(const QString& folder, qsizetype found)>;
    void setListing(Listing listing) { listing_ = std::move(listing); }
    void listing(const QString& folder, qsizetype found) const;

    // A window that keeps answering while the disk is read supplies two ways: `away` runs the
    // reading on a thread of its own and returns when it is done, `onWindow` runs a piece back
    // on the window's thread (the list takes what was found there) and waits for it. Without
    // them both run here, and the pump lets events run itself.
    using Runner = std::function<void(const std::function<void()>&)>;
    void setThreads(Runner away, Runner onWindow);
    // Runs `read` (listing folders, nothing of the window) away from the window's thread.
    void away(const std::function<void()>& read);
    // Runs `touch` (what changes the list or shows something) on the window's thread.
    void onWindow(const std::function<void()>& touch) const;

private:
    Listing listing_;
    Runner away_;
    Runner onWindow_;
    bool isAway_ = false;
    std::function<void()> runEvents_;
    std::function<bool()> stop_;
    qint64 intervalNs_;
    QElapsedTimer sinceLast_;
};

// Shows the busy cursor for as long as it lives, through the window's switch (true: busy,
// false: back to normal), so the cursor comes back on every way out of an operation.
using BusySwitch = std::function<void(bool busy)>;

class BusyScope {
public:
    explicit BusyScope(BusySwitch busySwitch);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    BusySwitch switch_;
};

} // namespace velquin
