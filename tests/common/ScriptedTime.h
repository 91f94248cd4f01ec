#pragma once
// Time for the main window's link that runs ahead when nothing happens: a clock the test
// owns, and an event pump whose waits end as soon as events come, and otherwise, after a
// short real wait, move the clock on to the wait's deadline. A handshake that the LM
// never answers then fails in a few real milliseconds while the window still sees its
// 2.2 s pass; an LM that answers is waited for as it really answers.
#include "lm/LmLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace tessek::test {

class ScriptedTime : public EventPump {
public:
    // `realWaitMs`: how long a wait really blocks before the clock jumps.
    explicit ScriptedTime(uint32_t realWaitMs = 20) : realWaitMs_(realWaitMs)
    {
        wake_.setSingleShot(true);
        QObject::connect(&wake_, &QTimer::timeout, [this] { timedOut_ = true; });
    }

    uint32_t Now() const { return now_; }

    void ProcessPending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void WaitForMore(uint32_t ms) override
    {
        timedOut_ = false;
        QElapsedTimer real;
        real.start();
        wake_.start(static_cast<int>(std::min(ms, realWaitMs_)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        wake_.stop();
        now_ += timedOut_ ? ms : std::min<uint32_t>(ms, static_cast<uint32_t>(real.elapsed()));
    }

private:
    uint32_t realWaitMs_;
    uint32_t now_ = 1000;
    QTimer wake_;
    bool timedOut_ = false;
};

}  // namespace tessek::test
