#pragma once

namespace velquin {

// Shows the busy cursor for as long as it lives, so the normal cursor comes back on every way
// out of the operation it brackets (an early return, an error box, an exception).
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    // The same as a switch, for the list operations that decide themselves when they get busy
    // (lists/eventpump.h BusySwitch): true shows the busy cursor, false takes it back.
    static void set(bool busy);
};

} // namespace velquin
