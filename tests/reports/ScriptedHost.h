#pragma once
// A command host for the report commands that answers from a scripted LM and records
// every call in order, so tests can see what a command did and when.
#include "app/MemoText.h"
#include "link/ComPort.h"
#include "link/CommandHost.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tessek::test {

class ScriptedHost : public TCommandHost {
public:
    // The scripted LM: whether it confirms the handshake, whether it answers requests,
    // and its memory (addresses not listed hold 00).
    bool HandshakeSucceeds = true;
    bool Answers = true;
    std::map<uint8_t, uint8_t> Memory;
    std::string DateTime = "5/12/2026 13:07:24";
    // Called after each read, before the command goes on (e.g. to look at the text area
    // or to raise a port error).
    std::function<void(uint8_t address)> AfterRead;

    // Every call, in order: "SetBusy(1)", "MemoClear", "Handshake", "Read 46",
    // "AddLine <text>", "Append <text>", "DateTime".
    std::vector<std::string> Calls;
    TMemoText Memo;  // the text area, with the main window's line rules
    bool BusyMark = false;
    int32_t RateAtHandshake = 0;

    TCustomComPort& Port() override { return port_; }
    bool EstablishHighBaud() override
    {
        Calls.push_back("Handshake");
        RateAtHandshake = port_.CustomBaudRate();
        lastRx_ = 0x12;  // the handshake byte goes out and comes back as its echo
        port_.SetCustomBaudRate(7680);
        return HandshakeSucceeds;
    }
    uint8_t ReadLmByte(uint8_t address, int replies) override
    {
        Calls.push_back("Read " + Hex(address) + (replies == 2 ? "" : " replies " + std::to_string(replies)));
        if (Answers)
            lastRx_ = Memory.count(address) ? Memory[address] : 0;
        if (AfterRead)
            AfterRead(address);
        return lastRx_;
    }
    bool WaitForReplies(int) override { return Answers; }
    bool WaitForEcho(uint8_t) override { return HandshakeSucceeds; }
    uint8_t LastRxByte() override { return lastRx_; }
    void PumpDelay(uint32_t) override {}
    uint32_t TickCount() override { return 0; }

    bool Busy() const override { return BusyMark; }
    void SetBusy(bool flag) override
    {
        Calls.push_back(flag ? "SetBusy(1)" : "SetBusy(0)");
        BusyMark = flag;
    }

    void MemoClear() override
    {
        Calls.push_back("MemoClear");
        Memo.Clear();
    }
    void MemoAddLine(const std::string& line) override
    {
        Calls.push_back("AddLine " + line);
        Memo.AddLine(line);
    }
    void MemoAppend(const std::string& text) override
    {
        Calls.push_back("Append " + text);
        Memo.Append(text);
    }
    std::string MemoText() const override { return Memo.Text(); }
    void MemoSaveToFile(const std::string&) override {}

    void SetStatus(const std::string& text) override { Calls.push_back("SetStatus " + text); }
    void SetComSetupEnabled(bool) override { Calls.push_back("SetComSetupEnabled"); }
    int SampleRateIndex() const override { return 1; }
    std::string LocalDateTimeText() override
    {
        Calls.push_back("DateTime");
        return DateTime;
    }
    std::string ProgramFolder() const override { return "/nonexistent/"; }

    static std::string Hex(uint8_t value)
    {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return {kDigits[value >> 4], kDigits[value & 0x0F]};
    }

private:
    TComPort port_;
    uint8_t lastRx_ = 0;
};

}  // namespace tessek::test
