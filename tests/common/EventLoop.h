#pragma once
// Running the application's event loop from a test until something has happened.
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

}  // namespace tessek::test
