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
    io.SetRxWakeCount = [&port](int32_t count) { port.SetRxWakeCount(count); };
    io.SetWaitingForInput = [&port](bool waiting) { port.SetWaitingForInput(waiting); };
    io.RunOwnEvents = [&port] { port.RunOwnEvents(); };
    return io;
}

}  // namespace tessek
