#pragma once
// What the LM commands (logging run, fault code and adaptives reports) use of the main
// window: the port, the link primitives over the receive ring, the busy mark, the text
// area and a few window details. The main window implements it; tests may script it.
//
// Everything is called on the window thread. The waits pump window events, so other
// handlers (a second press of Log, the port's events) run inside them. A failed write
// raises EComPort out of EstablishHighBaud and ReadLmByte.
#include <cstdint>
#include <string>

namespace tessek {

class TCustomComPort;

class CommandHost {
public:
    virtual ~CommandHost() = default;

    virtual TCustomComPort& Port() = 0;

    // Link primitives (see link/LmLink.h for their rules and time limits).
    virtual bool EstablishHighBaud() = 0;
    virtual uint8_t ReadLmByte(uint8_t address, int replies) = 0;
    virtual bool WaitForReplies(int count) = 0;
    virtual bool WaitForEcho(uint8_t value) = 0;
    virtual uint8_t LastRxByte() = 0;
    virtual void PumpDelay(uint32_t ms) = 0;
    virtual uint32_t TickCount() = 0;  // the link's millisecond clock

    // The busy mark: set while a command runs; SetBusy also enables/disables buttons.
    virtual bool Busy() const = 0;
    virtual void SetBusy(bool flag) = 0;

    // The text area.
    virtual void MemoClear() = 0;
    // Adds `line` as a line of its own at the end (an unfinished last line is ended first).
    virtual void MemoAddLine(const std::string& line) = 0;
    // Appends `text` to the unfinished last line, without a line break; after a finished
    // line (or on an empty text area) it starts a new, unfinished line.
    // After a finished line (or on an empty text area) it starts a new, unfinished line.
    virtual void MemoAppend(const std::string& text) = 0;
    // The whole text: every line followed by CR LF, except an unfinished last line.
    virtual std::string MemoText() const = 0;
    // Writes every line followed by CR LF, one byte per character, to a new file at
    // `path`, never through a link there; false when the name is taken (by anything, a
    // link that points nowhere too); throws on failure.
    virtual bool MemoSaveToNewFile(const std::string& path) = 0;

    // Window details.
    virtual void SetStatus(const std::string& text) = 0;  // the connection label
    virtual void SetComSetupEnabled(bool enabled) = 0;
    virtual int SampleRateIndex() const = 0;  // selected item of the hidden "Sample Rate" group
    // Local date and time: system short date format, a blank, long time format.
    virtual std::string LocalDateTimeText() = 0;
    virtual std::string ProgramFolder() const = 0;  // with trailing "/"
};

}  // namespace tessek
