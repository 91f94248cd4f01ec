#include "logging/LogRun.h"

#include "link/ComPort.h"
#include "link/CommandHost.h"
#include "link/LmLink.h"
#include "logging/Decoders.h"
#include "logging/LogSettings.h"
#include "logging/Performance.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace tessek {

namespace {

constexpr int SlotCount = 8;

}  // namespace

TLogRun::TLogRun(TCommandHost& host, TLogSettings& settings, TIniFile& settingsIni, TDisplayTextLookup displayText,
                 TLogRunState state)
    : host_(host), settings_(settings), ini_(settingsIni), displayText_(std::move(displayText)), state_(state)
{
}

void TLogRun::btnLogClick()
{
    if (host_.Busy()) {
        host_.SetBusy(false);
        host_.MemoAddLine("Cancel Logging");
        return;
    }
    host_.MemoClear();
    TCustomComPort& port = host_.Port();
    if (!port.Connected()) {
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(kLowBaud);
    }
    host_.SetBusy(true);
    if (!host_.EstablishHighBaud()) {
        // The message has always said 976 although the rate set back is 977.
        host_.MemoAddLine("Failed to establish high baud mode with LM.  Baud set back to 976");
        host_.SetStatus("Not Connected");
        port.SetCustomBaudRate(kLowBaud);
        host_.SetBusy(false);
        host_.SetComSetupEnabled(true);
        return;
    }
    host_.SetStatus("Connected");
    host_.MemoAddLine("Logging  Start at " + host_.LocalDateTimeText());

    try {
        WriteHeader();
        SampleLoop();
    } catch (...) {
        // A port error (cable pulled, port closed by a break) must not lose what was
        // logged: save it under the next number before the error is shown.
        const std::exception_ptr error = std::current_exception();
        try {
            SaveAutomaticLog();
        } catch (...) {
            ShowError(ErrorMessage(std::current_exception()));
        }
        std::rethrow_exception(error);
    }

    host_.SetBusy(false);
    host_.MemoAddLine("Done Logging");
    SaveAutomaticLog();
}

uint8_t TLogRun::Request(uint8_t address)
{
    // The reply count follows the "Sample Rate" choice as it is at this very request.
    return host_.ReadLmByte(address, host_.SampleRateIndex() + 1);
}

void TLogRun::WriteHeader()
{
    state_.BaroRef = Request(BaroAddress);
    std::string baroLine = "BARO = " + BaroText(state_.BaroRef, settings_.MapFunction) + "hg   Coolant Temp = ";
    DecodeCoolant(baroLine);

    // An extra handshake byte after the header reads; its echo and replies are taken off
    // the link and otherwise ignored.
    host_.ReadLmByte(kHandshakeByte, 2);
    host_.WaitForEcho(kHandshakeByte);

    std::string titles = " Time    ";
    for (int i = 1; i <= SlotCount; ++i) {
        const std::string hex = ByteToHex(settings_.LogAddrs[i]);
        const std::string title = displayText_ ? displayText_("$" + hex) : std::string();
        titles += (title.empty() ? "$" + hex : title) + "; ";
    }
    host_.MemoAddLine(baroLine);
    host_.MemoAddLine(titles);
}

void TLogRun::SampleLoop()
{
    const uint32_t startTick = host_.TickCount();
    int32_t t = 0;
    while (host_.Busy()) {
        const int32_t prevT = t;
        t = static_cast<int32_t>(host_.TickCount() - startTick);
        std::string line = SampleTimeText(t);
        bool requested = false;
        for (int i = 1; i <= SlotCount; ++i) {
            const uint8_t address = settings_.LogAddrs[i];
            if (address != SkipAddress) {
                DecodeSlot(address, line);
                requested = true;
            }
            if (!host_.Busy())
                break;
        }
        if (settings_.Performance && host_.Busy()) {
            if (const auto figures = ComputePerformance(t, prevT, state_.SampleMph, state_.PrevMph, state_.SampleRpm,
                                                        state_.PrevRpm, settings_.CarWeight))
                line += PerformanceText(*figures);
            state_.PrevMph = state_.SampleMph;
            state_.PrevRpm = state_.SampleRpm;
        }
        if (host_.Busy())
            host_.MemoAddLine(line);
        if (!requested)
            host_.PumpDelay(IdleSamplePaceMs);
    }
}

std::string TLogRun::TempLogPath(int32_t saveNum) const
{
    return host_.ProgramFolder() + "TempLog" + std::to_string(saveNum) + ".txt";
}

void TLogRun::SaveAutomaticLog()
{
    // Never replace an earlier log, e.g. one written after the counter last reached the
    // settings file: move on to the first free number.
    std::error_code ec;
    while (std::filesystem::exists(TempLogPath(settings_.SaveNum), ec))
        ++settings_.SaveNum;
    host_.MemoSaveToFile(TempLogPath(settings_.SaveNum));
    ++settings_.SaveNum;
    ini_.WriteInteger("AutoSave", "SaveNum", settings_.SaveNum);
}

void TLogRun::DecodeSlot(uint8_t address, std::string& line)
{
    switch (DecoderFor(address)) {
        case TDecoderKind::Skip:
            break;
        case TDecoderKind::ChargeTemp0:
            DecodeChargeTemp(line, 0);
            break;
        case TDecoderKind::Mph:
            DecodeMph(line);
            break;
        case TDecoderKind::Spark:
            DecodeSpark(line);
            break;
        case TDecoderKind::Map:
            DecodeMap(line, state_.BaroRef);
            break;
        case TDecoderKind::Rpm:
            DecodeRpm(line);
            break;
        case TDecoderKind::Tps:
            DecodeTps(line);
            break;
        case TDecoderKind::Coolant:
            DecodeCoolant(line);
            break;
        case TDecoderKind::O2:
            DecodeO2(line);
            break;
        case TDecoderKind::ChargeTemp1:
            DecodeChargeTemp(line, 1);
            break;
        case TDecoderKind::Knock:
            DecodeKnock(line);
            break;
        case TDecoderKind::Retard:
            DecodeRetard(line, address);
            break;
        case TDecoderKind::Raw:
            DecodeRaw(line, address);
            break;
    }
}

void TLogRun::DecodeKnock(std::string& line)
{
    line += KnockText(Request(0xA0));
}

void TLogRun::DecodeMap(std::string& line, float baroRef)
{
    line += MapText(Request(0x86), baroRef, settings_.MapFunction);
}

void TLogRun::DecodeO2(std::string& line)
{
    line += O2Text(Request(0x9C));
}

void TLogRun::DecodeRpm(std::string& line)
{
    const uint8_t lo = Request(RpmLoAddress);
    const uint8_t hi = Request(RpmHiAddress);
    const int32_t rpm = RpmValue(lo, hi);
    state_.SampleRpm = static_cast<float>(rpm);
    line += RpmText(rpm);
}

void TLogRun::DecodeTps(std::string& line)
{
    line += TpsText(Request(0x98));
}

void TLogRun::DecodeMph(std::string& line)
{
    const uint8_t lo = Request(MphLoAddress);
    const uint8_t hi = Request(MphHiAddress);
    const double mph = MphValue(lo, hi);
    state_.SampleMph = static_cast<float>(mph);
    line += MphText(mph);
}

void TLogRun::DecodeRetard(std::string& line, uint8_t address)
{
    line += RetardText(Request(address));
}

void TLogRun::DecodeChargeTemp(std::string& line, int selector)
{
    line += ChargeTempText(Request(selector == 0 ? 0x5D : 0x9D));
}

void TLogRun::DecodeCoolant(std::string& line)
{
    line += CoolantText(Request(CoolantAddress));
}

void TLogRun::DecodeSpark(std::string& line)
{
    line += SparkText(Request(0x72));
}

void TLogRun::DecodeRaw(std::string& line, uint8_t address)
{
    line += RawText(Request(address));
}

}  // namespace tessek
