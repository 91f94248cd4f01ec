#pragma once
// What the LM commands (logging run, fault code and adaptives reports) use, in two parts:
// LinkCommands, the exchanges with the LM over the port (LmLink implements them), and
// CommandOutput, where a command's results go and what a front end shows (the busy mark,
// the text area, the connection label, the sample rate). A front end implements only
// the output part; CommandHost joins the two for a command.
//
// Everything is called on the window thread. The waits pump window events, so other
// handlers (a second press of Log, the port's events) run inside them. A failed write
// raises EComPort out of EstablishHighBaud and ReadLmByte.
#include <cstdint>
#include <optional>
#include <string>

namespace tessek {

class TCustomComPort;

// The LM's answer to one request: the byte after the request's echo, and the link's tick
// (ms) when it arrived.
struct LmAnswer {
    uint8_t Byte = 0;
    uint32_t Tick = 0;
};

class LinkCommands {
public:
    virtual ~LinkCommands() = default;

    virtual TCustomComPort& Port() = 0;

    // Link primitives (see lm/LmLink.h for their rules and time limits).
    virtual bool EstablishHighBaud() = 0;
    // The answer when the echo and a byte after it came before the reply wait ended;
    // nothing otherwise (LastRxByte still holds whatever was received last).
    virtual std::optional<LmAnswer> ReadLmByte(uint8_t address, int replies) = 0;
    virtual bool WaitForReplies(int count) = 0;
    virtual bool WaitForEcho(uint8_t value) = 0;
    virtual uint8_t LastRxByte() const = 0;
    virtual void PumpDelay(uint32_t ms) = 0;
    virtual uint32_t TickCount() = 0;  // the link's millisecond clock
};

class CommandOutput {
public:
    virtual ~CommandOutput() = default;

    // The busy mark: set while a command runs; SetBusy also enables/disables buttons.
    virtual bool Busy() const = 0;
    virtual void SetBusy(bool flag) = 0;

    // The text area.
    virtual void MemoClear() = 0;
    // Adds `line` as a line of its own at the end (an unfinished last line is ended first).
    virtual void MemoAddLine(const std::string& line) = 0;
    // Appends `text` to the unfinished last line, without a line break; after a finished
    // line (or on an empty text area) it starts a new, unfinished line.
    virtual void MemoAppend(const std::string& text) = 0;
    // The whole text: every line followed by CR LF, except an unfinished last line.
    virtual std::string MemoText() const = 0;
    // Writes every line followed by CR LF, one byte per character, to a new file at
    // `path`, never through a link there; false when the name is taken (by anything, a
    // link that points nowhere too); throws on failure.
    virtual bool MemoSaveToNewFile(const std::string& path) = 0;

    // The connection label, the reply count choice, the clock text and the folder.
    virtual void SetStatus(const std::string& text) = 0;  // the connection label
    virtual int SampleRateIndex() const = 0;              // selected item of the hidden "Sample Rate" group
    // Local date and time: system short date format, a blank, long time format.
    virtual std::string LocalDateTimeText() = 0;
    virtual std::string ProgramFolder() const = 0;  // with trailing "/"
};

// Both parts, as a command sees them.
class CommandHost : public LinkCommands, public CommandOutput {};

// A command host made of a link and an output that live elsewhere (both must outlive it).
class JoinedCommandHost final : public CommandHost {
public:
    JoinedCommandHost(LinkCommands& link, CommandOutput& output) : link_(link), output_(output) {}

    TCustomComPort& Port() override { return link_.Port(); }
    bool EstablishHighBaud() override { return link_.EstablishHighBaud(); }
    std::optional<LmAnswer> ReadLmByte(uint8_t address, int replies) override
    {
        return link_.ReadLmByte(address, replies);
    }
    bool WaitForReplies(int count) override { return link_.WaitForReplies(count); }
    bool WaitForEcho(uint8_t value) override { return link_.WaitForEcho(value); }
    uint8_t LastRxByte() const override { return link_.LastRxByte(); }
    void PumpDelay(uint32_t ms) override { link_.PumpDelay(ms); }
    uint32_t TickCount() override { return link_.TickCount(); }

    bool Busy() const override { return output_.Busy(); }
    void SetBusy(bool flag) override { output_.SetBusy(flag); }
    void MemoClear() override { output_.MemoClear(); }
    void MemoAddLine(const std::string& line) override { output_.MemoAddLine(line); }
    void MemoAppend(const std::string& text) override { output_.MemoAppend(text); }
    std::string MemoText() const override { return output_.MemoText(); }
    bool MemoSaveToNewFile(const std::string& path) override { return output_.MemoSaveToNewFile(path); }
    void SetStatus(const std::string& text) override { output_.SetStatus(text); }
    int SampleRateIndex() const override { return output_.SampleRateIndex(); }
    std::string LocalDateTimeText() override { return output_.LocalDateTimeText(); }
    std::string ProgramFolder() const override { return output_.ProgramFolder(); }

private:
    LinkCommands& link_;
    CommandOutput& output_;
};

}  // namespace tessek
