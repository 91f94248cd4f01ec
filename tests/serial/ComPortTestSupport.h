#pragma once
// A scripted serial device, a bounded event pump and an error recorder for the port tests.
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tessek::test {

// Shared by the test and the device (which the port destroys at Close); guarded by `m`.
struct DeviceScript {
    std::mutex m;
    int openErrno = 0, setLineErrno = 0;  // failures on purpose
    std::string input;                    // waiting to be read
    int32_t outputQueued = 0, inputCapacity = 4096;
    TComErrors errors = 0;      // latched until taken
    TComEvents lineEvents = 0;  // pending until taken
    ModemLines modem;
    int opens = 0, destroyed = 0;
    std::vector<std::string> calls;  // the configuring calls, in order
    int fds[2] = {-1, -1};           // fds[0], polled by the event thread, is readable while anything waits
    bool signalled = false;

    DeviceScript() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    ~DeviceScript()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    // Runs `f` under the lock, then makes the polled descriptor tell whether anything waits.
    template <class F>
    auto Locked(F f)
    {
        std::lock_guard lock(m);
        auto result = f();
        char c = 0;
        const bool want = !input.empty() || lineEvents != 0;
        if (want && !signalled && fds[1] >= 0)
            signalled = ::write(fds[1], &c, 1) == 1;
        else if (!want && signalled)
            signalled = ::read(fds[0], &c, 1) != 1;
        return result;
    }
    void Change(const std::function<void(DeviceScript&)>& f)
    {
        Locked([&] { return f(*this), 0; });
    }
    // Bytes and line events (with the error flags they leave) as one wake-up sees them.
    void ReceiveWith(const std::string& bytes, TComEvents events, TComErrors newErrors = 0)
    {
        Change([&](DeviceScript& s) { s.input += bytes, s.lineEvents |= events, s.errors |= newErrors; });
    }
    void Receive(const std::string& bytes) { ReceiveWith(bytes, 0); }
    template <class T>
    T Get(T DeviceScript::*member)
    {
        return Locked([&] { return this->*member; });
    }
    template <class T>
    T Take(T DeviceScript::*member)
    {
        return Locked([&] { return std::exchange(this->*member, T{}); });
    }
};

class ScriptedDevice final : public ISerialDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<DeviceScript> script) : s_(std::move(script)) { s_->Change(Opened); }
    ~ScriptedDevice() override
    {
        s_->Change([](DeviceScript& s) { ++s.destroyed; });
    }
    void SetLine(const LineSettings&) override
    {
        s_->Change([](DeviceScript& s) { s.calls.push_back("line"); });
        if (const int err = s_->Get(&DeviceScript::setLineErrno))
            throw DeviceError(err);
    }
    void SetTimeouts(const DeviceTimeouts&) override
    {
        s_->Change([](auto& s) { s.calls.push_back("timeouts"); });
    }
    void SetQueueSizes(int32_t, int32_t) override
    {
        s_->Change([](auto& s) { s.calls.push_back("queues"); });
    }
    int32_t Write(const uint8_t*, int32_t count) override { return count; }
    int32_t Read(uint8_t* data, int32_t count) override
    {
        return s_->Locked([&] {
            const auto n = std::min<size_t>(static_cast<size_t>(count), s_->input.size());
            std::copy_n(s_->input.begin(), n, data);
            s_->input.erase(0, n);
            return static_cast<int32_t>(n);
        });
    }
    void AbortPending() override {}
    void Purge(bool, bool) override {}
    int32_t InputCount() override { return static_cast<int32_t>(s_->Get(&DeviceScript::input).size()); }
    int32_t OutputCount() override { return s_->Get(&DeviceScript::outputQueued); }
    TComErrors TakeErrors() override { return s_->Take(&DeviceScript::errors); }
    ModemLines ModemSignals() override { return s_->Get(&DeviceScript::modem); }
    int WaitFd() const override { return s_->fds[0]; }
    TComEvents TakeLineEvents() override { return s_->Take(&DeviceScript::lineEvents); }
    int LineEventInterval() const override { return -1; }
    int32_t InputCapacity() const override { return s_->Get(&DeviceScript::inputCapacity); }

private:
    static void Opened(DeviceScript& s) { ++s.opens; }
    std::shared_ptr<DeviceScript> s_;
};

inline SerialDeviceFactory ScriptedFactory(const std::shared_ptr<DeviceScript>& script)
{
    return [script](const std::string&) -> std::unique_ptr<ISerialDevice> {
        if (const int err = script->Get(&DeviceScript::openErrno))
            throw DeviceError(err);
        return std::make_unique<ScriptedDevice>(script);
    };
}

// The EComPort that `action` raised (Code 0 when none).
template <class F>
EComPort Raised(F&& action)
{
    try {
        action();
    } catch (const EComPort& e) {
        return e;
    }
    return EComPort(0);
}

}  // namespace tessek::test
