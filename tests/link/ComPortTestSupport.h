#pragma once
// Test doubles and helpers for the port tests: a scripted serial device (line errors,
// modem changes, failures on purpose), a bounded event pump, an error recorder, and
// counts of the process's descriptors and threads.
#include "link/ComPort.h"
#include "link/SerialDevice.h"
#include "platform/ErrorDisplay.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessek::test {

// What a scripted device does and what was done to it. Shared between the test and the
// device (which the port owns and destroys at Close); every member is guarded by `m`.
struct DeviceScript {
    std::mutex m;
    // Failures on purpose: the errno the operation fails with, 0 for none.
    int openErrno = 0;
    int setLineErrno = 0;
    int setTimeoutsErrno = 0;
    int setQueueErrno = 0;
    int writeErrno = 0;
    int abortErrno = 0;
    int modemErrno = 0;
    int errorsErrno = 0;

    std::string input;  // waiting to be read
    std::string written;
    int32_t outputQueued = 0;  // what OutputCount reports
    int32_t inputCapacity = 4096;
    TComErrors errors = 0;      // latched until TakeErrors
    TComEvents lineEvents = 0;  // pending until TakeLineEvents
    TModemSignals modem;

    int opens = 0;
    int destroyed = 0;
    int setLineCalls = 0;
    int setTimeoutsCalls = 0;
    int setQueueCalls = 0;
    TLineSettings line;
    TDeviceTimeouts timeouts;
    int32_t queueInput = 0, queueOutput = 0;
    std::vector<std::string> calls;  // order of the configuring calls

    // The descriptor the event thread waits on: readable while input or line events wait.
    int pipeRead = -1;
    int pipeWrite = -1;
    bool signalled = false;

    DeviceScript()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            pipeRead = fds[0];
            pipeWrite = fds[1];
        }
    }
    ~DeviceScript()
    {
        ::close(pipeRead);
        if (pipeWrite >= 0)
            ::close(pipeWrite);
    }

    // Called with `m` held.
    void UpdateSignal()
    {
        const bool want = !input.empty() || lineEvents != 0;
        char c = 0;
        if (want && !signalled && pipeWrite >= 0)
            signalled = ::write(pipeWrite, &c, 1) == 1;
        else if (!want && signalled)
            signalled = !(::read(pipeRead, &c, 1) == 1);
    }

    // The peer sends bytes.
    void Receive(const std::string& bytes)
    {
        std::lock_guard lock(m);
        input += bytes;
        UpdateSignal();
    }
    // A line event happens (with the error flags it leaves behind).
    void Raise(TComEvents events, TComErrors newErrors = 0)
    {
        std::lock_guard lock(m);
        lineEvents |= events;
        errors |= newErrors;
        UpdateSignal();
    }
    // Both together, as one wake-up of the event thread sees them.
    void ReceiveWith(const std::string& bytes, TComEvents events, TComErrors newErrors = 0)
    {
        std::lock_guard lock(m);
        input += bytes;
        lineEvents |= events;
        errors |= newErrors;
        UpdateSignal();
    }
    // The device vanishes: the waited-on descriptor reports a hang-up.
    void HangUp()
    {
        std::lock_guard lock(m);
        ::close(pipeWrite);
        pipeWrite = -1;
    }
    template <class T>
    T Get(T DeviceScript::*member)
    {
        std::lock_guard lock(m);
        return this->*member;
    }
};

class ScriptedDevice final : public ISerialDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<DeviceScript> script) : s_(std::move(script))
    {
        std::lock_guard lock(s_->m);
        ++s_->opens;
    }
    ~ScriptedDevice() override
    {
        std::lock_guard lock(s_->m);
        ++s_->destroyed;
    }

    void SetLine(const TLineSettings& line) override
    {
        std::lock_guard lock(s_->m);
        s_->calls.push_back("line");
        ++s_->setLineCalls;
        if (s_->setLineErrno)
            throw TDeviceError(s_->setLineErrno);
        s_->line = line;
    }
    void SetTimeouts(const TDeviceTimeouts& timeouts) override
    {
        std::lock_guard lock(s_->m);
        s_->calls.push_back("timeouts");
        ++s_->setTimeoutsCalls;
        if (s_->setTimeoutsErrno)
            throw TDeviceError(s_->setTimeoutsErrno);
        s_->timeouts = timeouts;
    }
    void SetQueueSizes(int32_t input, int32_t output) override
    {
        std::lock_guard lock(s_->m);
        s_->calls.push_back("queues");
        ++s_->setQueueCalls;
        if (s_->setQueueErrno)
            throw TDeviceError(s_->setQueueErrno);
        s_->queueInput = input;
        s_->queueOutput = output;
    }
    int32_t Write(const uint8_t* data, int32_t count) override
    {
        std::lock_guard lock(s_->m);
        if (s_->writeErrno)
            throw TDeviceError(s_->writeErrno);
        s_->written.append(reinterpret_cast<const char*>(data), static_cast<size_t>(count));
        return count;
    }
    int32_t Read(uint8_t* data, int32_t count) override
    {
        std::lock_guard lock(s_->m);
        const auto n = std::min<size_t>(static_cast<size_t>(count), s_->input.size());
        std::copy_n(s_->input.begin(), n, data);
        s_->input.erase(0, n);
        s_->UpdateSignal();
        return static_cast<int32_t>(n);
    }
    void AbortPending() override
    {
        std::lock_guard lock(s_->m);
        if (s_->abortErrno)
            throw TDeviceError(s_->abortErrno);
    }
    void Purge(bool input, bool output) override
    {
        std::lock_guard lock(s_->m);
        if (input)
            s_->input.clear();
        if (output)
            s_->outputQueued = 0;
        s_->UpdateSignal();
    }
    int32_t InputCount() override
    {
        std::lock_guard lock(s_->m);
        return static_cast<int32_t>(s_->input.size());
    }
    int32_t OutputCount() override
    {
        std::lock_guard lock(s_->m);
        return s_->outputQueued;
    }
    TComErrors TakeErrors() override
    {
        std::lock_guard lock(s_->m);
        if (s_->errorsErrno)
            throw TDeviceError(s_->errorsErrno);
        const TComErrors e = s_->errors;
        s_->errors = 0;
        return e;
    }
    TModemSignals ModemSignals() override
    {
        std::lock_guard lock(s_->m);
        if (s_->modemErrno)
            throw TDeviceError(s_->modemErrno);
        return s_->modem;
    }
    int WaitFd() const override { return s_->pipeRead; }
    TComEvents TakeLineEvents() override
    {
        std::lock_guard lock(s_->m);
        const TComEvents e = s_->lineEvents;
        s_->lineEvents = 0;
        s_->UpdateSignal();
        return e;
    }
    int LineEventInterval() const override { return -1; }
    int32_t InputCapacity() const override
    {
        std::lock_guard lock(s_->m);
        return s_->inputCapacity;
    }

private:
    std::shared_ptr<DeviceScript> s_;
};

inline TSerialDeviceFactory ScriptedFactory(const std::shared_ptr<DeviceScript>& script)
{
    return [script](const std::string&) -> std::unique_ptr<ISerialDevice> {
        int err = 0;
        {
            std::lock_guard lock(script->m);
            err = script->openErrno;
        }
        if (err)
            throw TDeviceError(err);
        return std::make_unique<ScriptedDevice>(script);
    };
}

// Runs the window thread's event loop until `done` holds or `ms` have passed; blocks in
// the event loop between events, so it does not spin.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 20)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Pumps for `ms` (for "nothing more happens" checks).
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// Collects what reaches the application's error display while it lives.
class ErrorRecorder {
public:
    ErrorRecorder()
    {
        previous_ = SetErrorDisplay([this](const std::string& message) { messages.push_back(message); });
    }
    ~ErrorRecorder() { SetErrorDisplay(std::move(previous_)); }
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;

    std::vector<std::string> messages;

private:
    ErrorDisplay previous_;
};

inline size_t CountEntries(const char* dir)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}
inline size_t OpenDescriptors()
{
    return CountEntries("/proc/self/fd");
}
inline size_t ProcessThreads()
{
    return CountEntries("/proc/self/task");
}

}  // namespace tessek::test
