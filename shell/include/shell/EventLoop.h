// Runs the form's two timers on the Qt event loop of the calling thread: a
// tick calls the timer's handler through TfmDEZORiv::Dispatch, so an escaping
// error reaches ApplicationEvents1Exception and the loop goes on. A timer that
// is switched off and on restarts its period; an interval of 0 never fires.
#pragma once
#include <functional>
#include <memory>

class QTimer;
class TfmDEZORiv;

namespace shell {

class TEventLoopTimers {
public:
    explicit TEventLoopTimers(TfmDEZORiv& form);
    ~TEventLoopTimers();
    TEventLoopTimers(const TEventLoopTimers&) = delete;
    TEventLoopTimers& operator=(const TEventLoopTimers&) = delete;

private:
    TfmDEZORiv& FForm;
    std::unique_ptr<QTimer> FVerifica, FEnvioOP;
};

// Longest period a Qt timer takes; longer intervals are cut to it.
int QtTimerInterval(long long milliseconds);

}  // namespace shell
