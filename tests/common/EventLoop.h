#pragma once
// Running the application's event loop from a test until something has happened, and
// acting from inside it (also while a command waits in it) once something has happened.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <functional>

namespace tessek::test {

// Runs the event loop (blocking between events) until `done` holds or `ms` have passed.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000)
{
    const QDeadlineTimer deadline(ms);
    QTimer wake;  // ends each blocking wait within 20 ms
    wake.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// While it lives, checks `when` every millisecond the event loop runs, and runs `action`
// once, the first time it holds.
class Watch {
public:
    Watch(std::function<bool()> when, std::function<void()> action)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, when = std::move(when), action = std::move(action)] {
            if (when()) {
                timer_.stop();
                action();
            }
        });
        timer_.start(1);
    }

private:
    QTimer timer_;
};

}  // namespace tessek::test
