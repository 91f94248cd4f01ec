#include "lm/LmLink.h"
#include "serial/ComPort.h"

namespace tessek {

LinkIo PortLinkIo(TCustomComPort& port)
{
    LinkIo io;
    io.Write = [&port](const std::string& bytes) { port.WriteBytes(bytes); };
    io.Read = [&port](int32_t count) {
        std::string bytes;
        port.ReadBytes(bytes, count);
        return bytes;
    };
    io.SetCustomBaudRate = [&port](int32_t baud) { port.SetCustomBaudRate(baud); };
    const PortWaitHints hints(port);
    io.SetRxWakeCount = [hints](int32_t count) { hints.SetRxWakeCount(count); };
    io.SetWaitingForInput = [hints](bool waiting) { hints.SetWaitingForInput(waiting); };
    io.RunOwnEvents = [hints] { hints.RunOwnEvents(); };
    return io;
}

}  // namespace tessek
