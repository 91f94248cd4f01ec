#include "link/ComPort.h"
#include "link/LmLink.h"

namespace tessek {

TLinkIo PortLinkIo(TCustomComPort& port)
{
    TLinkIo io;
    io.Write = [&port](const std::string& bytes) { port.WriteBytes(bytes); };
    io.Read = [&port](int32_t count) {
        std::string bytes;
        port.ReadBytes(bytes, count);
        return bytes;
    };
    io.SetCustomBaudRate = [&port](int32_t baud) { port.SetCustomBaudRate(baud); };
    return io;
}

}  // namespace tessek
