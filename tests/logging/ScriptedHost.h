#pragma once
// A command host for logging tests: LM memory as a table, a clock that moves only when
// the run exchanges bytes or pauses, a journal of what the run asked for, and hooks that
// run inside the waits (where a real window would handle a click or a port error).
#include "link/ComPort.h"
#include "link/CommandHost.h"

#include <array>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessek::test {

class TScriptedHost : public TCommandHost {
public:
    std::array<uint8_t, 256> Memory{};  // the LM's answer for each address
    bool HandshakeAnswers = true;       // what EstablishHighBaud returns
    uint32_t Now = 0;                   // the tick counter
    uint32_t MsPerExchange = 5;         // clock advance per ReadLmByte
    uint32_t MsPerTickRead = 0;         // clock advance per TickCount
    int RateIndex = 1;                  // "Fastest"
    std::string DateTime = "06.12.2026 10:00:00";
    std::string Folder;  // program folder, with trailing "/"

    // Called inside each ReadLmByte after the request is recorded (n counts from 1),
    // and inside each PumpDelay (n counts the delays from 1).
    std::function<void(int n, uint8_t address)> OnExchange;
    std::function<void(int n)> OnPumpDelay;

    // Journal.
    struct Exchange {
        uint8_t address;
        int replies;
    };
    std::vector<Exchange> Exchanges;
    std::vector<uint32_t> PumpDelays;
    std::vector<uint8_t> EchoWaits;
    std::vector<std::string> Lines;  // the text area, line by line
    std::vector<std::string> Saves;  // paths written
    std::string Status;
    bool ComSetupEnabled = false;
    int BusyChanges = 0;
    TBaudRate RateAtHandshake = br9600;
    int32_t CustomRateAtHandshake = 0;

    TComPort ComPort;

    TCustomComPort& Port() override { return ComPort; }
    bool EstablishHighBaud() override
    {
        RateAtHandshake = ComPort.BaudRate();
        CustomRateAtHandshake = ComPort.CustomBaudRate();
        ComPort.SetCustomBaudRate(7680);
        return HandshakeAnswers;
    }
    uint8_t ReadLmByte(uint8_t address, int replies) override
    {
        Exchanges.push_back({address, replies});
        Now += MsPerExchange;
        last_ = Memory[address];
        if (OnExchange)
            OnExchange(static_cast<int>(Exchanges.size()), address);
        return last_;
    }
    bool WaitForReplies(int) override { throw std::logic_error("the run reads through ReadLmByte"); }
    bool WaitForEcho(uint8_t value) override
    {
        EchoWaits.push_back(value);
        return true;
    }
    uint8_t LastRxByte() override { return last_; }
    void PumpDelay(uint32_t ms) override
    {
        PumpDelays.push_back(ms);
        Now += ms;
        if (OnPumpDelay)
            OnPumpDelay(static_cast<int>(PumpDelays.size()));
    }
    uint32_t TickCount() override
    {
        const uint32_t now = Now;
        Now += MsPerTickRead;
        return now;
    }

    bool Busy() const override { return busy_; }
    void SetBusy(bool flag) override
    {
        busy_ = flag;
        ++BusyChanges;
    }

    void MemoClear() override { Lines.clear(); }
    void MemoAddLine(const std::string& line) override { Lines.push_back(line); }
    void MemoAppend(const std::string& text) override
    {
        if (Lines.empty())
            Lines.emplace_back();
        Lines.back() += text;
    }
    std::string MemoText() const override
    {
        std::string text;
        for (const auto& line : Lines)
            text += line + "\r\n";
        return text;
    }
    void MemoSaveToFile(const std::string& path) override
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << MemoText();
        if (!out)
            throw std::runtime_error("cannot write " + path);
        Saves.push_back(path);
    }

    void SetStatus(const std::string& text) override { Status = text; }
    void SetComSetupEnabled(bool enabled) override { ComSetupEnabled = enabled; }
    int SampleRateIndex() const override { return RateIndex; }
    std::string LocalDateTimeText() override { return DateTime; }
    std::string ProgramFolder() const override { return Folder; }

private:
    bool busy_ = false;
    uint8_t last_ = 0;
};

}  // namespace tessek::test
