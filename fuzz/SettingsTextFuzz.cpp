// The stored port settings' texts: every text reads as some setting, and that setting's
// own text reads back as the same setting.
#include "platform/TextNumbers.h"
#include "serial/SettingsText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <class T, class Read, class Write>
void RoundTrip(const std::string& text, Read read, Write write)
{
    const T value = read(text);
    if (read(write(value)) != value)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string text(reinterpret_cast<const char*>(data), size);

    RoundTrip<TBaudRate>(text, TextToBaudRate, BaudRateToText);
    RoundTrip<TStopBits>(text, TextToStopBits, StopBitsToText);
    RoundTrip<TDataBits>(text, TextToDataBits, DataBitsToText);
    RoundTrip<TParityBits>(text, TextToParity, ParityToText);
    RoundTrip<TFlowControl>(text, TextToFlowControl, FlowControlToText);
    RoundTrip<TRTSFlowControl>(text, TextToRTS, RTSToText);
    RoundTrip<TDTRFlowControl>(text, TextToDTR, DTRToText);
    RoundTrip<bool>(text, TextToBool, BoolToText);
    RoundTrip<uint8_t>(text, TextToChar, CharToText);

    const int32_t number = TextToInt(text, -7);
    if (number != -7 && TextToInt(IntToText(number), -7) != number)
        std::abort();
    if (!ParseInteger(text) && (TextToInt(text, 1) != 1 || TextToInt(text, 2) != 2))
        std::abort();  // a text that is no number gives the default

    for (size_t i = 0; i < size && i < 4; ++i) {
        if (TextToChar(CharToText(data[i])) != data[i])
            std::abort();
    }
    return 0;
}
