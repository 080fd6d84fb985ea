// A timer of the main object: on/off switch, interval in milliseconds and the
// tick handler. The event loop follows it through OnChange; switching a timer
// off and on again restarts its period. An interval of 0 (or less) never fires.
#pragma once
#include <climits>
#include <cstdint>
#include <functional>

namespace shell {

// Longest period the event loops run a timer with (the window's timers take
// a whole number of milliseconds in an int); a longer interval is cut to it.
inline constexpr int64_t MaxTimerInterval = INT_MAX;

class TTimer {
public:
    static constexpr int64_t DefaultInterval = 300000;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    int64_t Interval() const { return FInterval; }
    void SetInterval(int64_t milliseconds);

    // True when a tick can ever come: on, with a positive interval.
    bool Armed() const { return FEnabled && FInterval > 0; }

    // The tick handler (set by the main object).
    std::function<void()> OnTimer;
    // Called after every change of Enabled or Interval (set by the event loop).
    std::function<void()> OnChange;

private:
    bool FEnabled = false;
    int64_t FInterval = DefaultInterval;
};

}  // namespace shell
