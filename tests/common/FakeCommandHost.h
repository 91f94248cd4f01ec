#pragma once
// The one command host the command tests use in place of the main window: the LM answers
// from a table, the clock moves only with the exchanges, the text area is a MemoLines,
// and hooks let a test act inside an exchange (where a click or a port error lands).
//
// The port stays closed at its declared rate, and the handshake succeeds only when the
// command has set a closed port to the low custom rate, as every command must.
#include "lm/CommandHost.h"
#include "lm/LmLink.h"
#include "platform/MemoLines.h"
#include "serial/ComPort.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tessek::test {

class FakeCommandHost : public CommandHost {
public:
    std::array<uint8_t, 256> Memory{};  // the LM's bytes by address
    uint32_t Now = 0;                   // the clock (ms)
    uint32_t MsPerExchange = 5;         // added by every ReadLmByte
    uint32_t MsPerTickRead = 0;         // added by every TickCount
    int SampleRate = 1;                 // the "Sample Rate" item
    std::string Folder = "/nonexistent/";
    // Runs inside every exchange, after the request was counted; n counts from 1.
    std::function<void(int n)> OnExchange;
    // Whether request n (from 1) is answered; an unanswered one leaves its echo behind.
    std::function<bool(int n)> Answers;

    // What happened.
    std::vector<uint8_t> Asked;  // every address requested, in order
    std::vector<int> Replies;    // the reply count of each request
    MemoLines Memo;
    std::string Status;

    TCustomComPort& Port() override { return port_; }
    bool EstablishHighBaud() override
    {
        lastRx_ = kHandshakeByte;  // the echo
        return port_.BaudRate() == brCustom && port_.CustomBaudRate() == kLowBaud;
    }
    std::optional<LmAnswer> ReadLmByte(uint8_t address, int replies) override
    {
        Asked.push_back(address);
        Replies.push_back(replies);
        Now += MsPerExchange;
        const int n = static_cast<int>(Asked.size());
        const bool answered = !Answers || Answers(n);
        lastRx_ = answered ? Memory[address] : address;
        if (OnExchange)
            OnExchange(n);
        return answered ? std::optional<LmAnswer>(LmAnswer{lastRx_, Now}) : std::nullopt;
    }
    bool WaitForReplies(int) override { return true; }
    bool WaitForEcho(uint8_t) override { return true; }
    uint8_t LastRxByte() const override { return lastRx_; }
    void PumpDelay(uint32_t ms) override { Now += ms; }
    uint32_t TickCount() override { return Now += MsPerTickRead; }
    bool Busy() const override { return busy_; }
    void SetBusy(bool flag) override { busy_ = flag; }
    void MemoClear() override { Memo.Clear(); }
    void MemoAddLine(const std::string& line) override { Memo.AddLine(line); }
    void MemoAppend(const std::string& text) override { Memo.Append(text); }
    std::string MemoText() const override { return Memo.Text(); }
    bool MemoSaveToNewFile(const std::string& path) override { return Memo.SaveToNewFile(path); }
    void SetStatus(const std::string& text) override { Status = text; }
    int SampleRateIndex() const override { return SampleRate; }
    std::string LocalDateTimeText() override { return "5/12/2026 13:07:24"; }
    std::string ProgramFolder() const override { return Folder; }

private:
    TComPort port_;
    uint8_t lastRx_ = 0;
    bool busy_ = false;
};

}  // namespace tessek::test
