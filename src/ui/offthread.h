#pragma once

#include "engine/runhost.h"

#include <functional>

class QWidget;

namespace velquin {

// Runs `work` (a run, an undo, the planning of a preview) on a worker thread and returns once it
// is over; meanwhile this thread, the window's, goes on drawing, answering and showing the boxes
// the work asks for. The work talks to a stand-in for `host` that carries each call over to
// this thread: checks, questions, the lock and the closing box wait for their answer, progress
// is posted without waiting, and the options read per item and the stop come from a copy that
// this thread renews after every batch of events and every call it answers, so a change the
// user makes applies from the next item. Runs of the two windows take turns: one started while
// another goes waits for that one's end and says so under its bar. `holdInput`, when given,
// takes no mouse or key input meanwhile (for work that does not lock the window).
// Runs `work` on a thread of its own and lets this thread's events run until it is done;
// `afterEvents` runs after every batch of them. What the work throws is thrown here.
void runAway(const std::function<void()>& work, const std::function<void()>& afterEvents = {});
// From a worker: runs `f` on the window's thread and waits for it.
void onWindowThread(const std::function<void()>& f);

void runOffThread(RunHost& host, const std::function<void(RunHost&)>& work, QWidget* holdInput = nullptr);
void runOffThread(FileRunHost& host, const std::function<void(FileRunHost&)>& work,
                  QWidget* holdInput = nullptr);

} // namespace velquin
