#include "shell/EventLoop.h"

#include <QTimer>

#include <climits>

#include "shell/StopSignals.h"
#include "shell/TfmDEZORiv.h"

namespace shell {

int QtTimerInterval(long long milliseconds) {
    if (milliseconds <= 0) return 0;
    return milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
}

namespace {

void Bind(TfmDEZORiv& form, TTimer& timer, QTimer& qt) {
    qt.setTimerType(Qt::CoarseTimer);
    auto sync = [&timer, &qt] {
        if (timer.Armed())
            qt.start(QtTimerInterval(timer.Interval()));  // (re)starts the period
        else
            qt.stop();
    };
    timer.OnChange = sync;
    QObject::connect(&qt, &QTimer::timeout, [&form, &timer] {
        // Once a stop was asked for, no run starts; the loop is about to quit.
        if (!timer.Armed() || StopRequested()) return;
        form.Dispatch([&timer] {
            if (timer.OnTimer) timer.OnTimer();
        });
    });
    sync();
}

}  // namespace

TEventLoopTimers::TEventLoopTimers(TfmDEZORiv& form)
    : FForm(form), FVerifica(std::make_unique<QTimer>()), FEnvioOP(std::make_unique<QTimer>()) {
    Bind(form, form.tmVerifica, *FVerifica);
    Bind(form, form.tmEnvioOP, *FEnvioOP);
}

TEventLoopTimers::~TEventLoopTimers() {
    FForm.tmVerifica.OnChange = nullptr;
    FForm.tmEnvioOP.OnChange = nullptr;
}

}  // namespace shell
