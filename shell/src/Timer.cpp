#include "shell/Timer.h"

namespace shell {

void TTimer::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    if (OnChange) OnChange();
}

void TTimer::SetInterval(int64_t milliseconds) {
    if (milliseconds == FInterval) return;
    FInterval = milliseconds;
    if (OnChange) OnChange();
}

}  // namespace shell
