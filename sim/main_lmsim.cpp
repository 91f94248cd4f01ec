// tessek-lmsim: the simulated LM on a fresh pseudo-terminal, for trying Tessek (or any
// serial program) without a car. Prints the device to use on its first line (and, with a
// simulated wideband controller, that one's on the second), then runs until interrupted.
#include "sim/SimulatedLm.h"
#include "sim/SimulatedWideband.h"

#include <pthread.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using tessek::sim::LmFault;
using tessek::sim::WidebandSimProtocol;

constexpr const char* kUsage =
    "Usage: tessek-lmsim [options] [ADDR=VALUE ...]\n"
    "Runs a simulated engine module (LM) on a new pseudo-terminal and prints its device\n"
    "path on the first line; use that path as the serial port. Runs until interrupted.\n"
    "\n"
    "The LM starts at 977 baud and sends a slow stream of bytes while nobody talks to\n"
    "it. The handshake byte 12 (hex) is echoed and switches it to 7680 baud, where every\n"
    "request byte is echoed and answered with the memory byte at that address. Its memory\n"
    "follows an engine that idles, then drives, in a two-minute cycle.\n"
    "\n"
    "Options:\n"
    "  --quiet             no byte stream while nobody talks to the LM\n"
    "  --no-wire-time      answer at once instead of taking 10 bit times per byte\n"
    "  --answer-delay MS   wait MS milliseconds more before each answer\n"
    "  --timeout MS        fall back from 7680 to 977 baud after MS milliseconds\n"
    "                      without a byte (default: stay at 7680 until the port closes)\n"
    "  --fault MODE        none, silent (sends nothing), echo-only (no answers),\n"
    "                      retry-only (echoes only the repeated handshake),\n"
    "                      garbage (wrong answers), hang-up (closes the line at once)\n"
    "  --miss ADDR:N       leave every Nth request of ADDR (hex) unanswered, only echoed\n"
    "  --log               log every byte in and out on standard error\n"
    "  --wideband PROTOCOL also a wideband O2 controller in the same engine's exhaust on a\n"
    "                      second pseudo-terminal, whose path is printed on the second\n"
    "                      line: mts (Innovate MTS, 19200 baud) or aem (AEM UEGO text,\n"
    "                      9600 baud)\n"
    "  --fuel-error CELL   make the engine run lean (or rich) in one cell, so that the\n"
    "                      wideband reads that much higher (lower) there:\n"
    "                      RPM-RPM:PSI-PSI:PERCENT, boost in psi (vacuum negative),\n"
    "                      e.g. 2500-3500:4-8:10 runs 10 % lean; may be repeated\n"
    "  --help              show this text\n"
    "  ADDR=VALUE          pin the memory byte at ADDR to VALUE (both hexadecimal,\n"
    "                      e.g. 73=5A); the other addresses keep moving\n";

std::optional<long> ParseNumber(const char* text, int base, long low, long high)
{
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, base);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return value;
}

int Fail(const std::string& message)
{
    std::cerr << "tessek-lmsim: " << message << "\nTry 'tessek-lmsim --help'.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool quiet = false;
    bool wire = true;
    bool log = false;
    int answerDelay = 0;
    int timeout = 0;
    LmFault fault = LmFault::None;
    int missAddress = 0, missEvery = 0;
    std::vector<std::pair<uint8_t, uint8_t>> pins;
    std::optional<WidebandSimProtocol> wideband;
    tessek::sim::WidebandSignal exhaust;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--no-wire-time") {
            wire = false;
        } else if (arg == "--log") {
            log = true;
        } else if (arg == "--answer-delay" || arg == "--timeout") {
            const auto ms = ParseNumber(next, 10, 0, 600000);
            if (!ms)
                return Fail(arg + " needs a number of milliseconds (0 to 600000)");
            (arg == "--timeout" ? timeout : answerDelay) = static_cast<int>(*ms);
            ++i;
        } else if (arg == "--miss") {
            unsigned address = 0;
            char end = 0;
            if (next == nullptr || std::sscanf(next, "%2x:%d%c", &address, &missEvery, &end) != 2 || missEvery < 1)
                return Fail("--miss needs ADDR:N, a hexadecimal address and a count of 1 or more");
            missAddress = static_cast<int>(address);
            ++i;
        } else if (arg == "--fault") {
            if (next == nullptr || !tessek::sim::ParseFault(next, fault))
                return Fail("--fault needs one of none, silent, echo-only, retry-only, garbage, hang-up");
            ++i;
        } else if (arg == "--wideband") {
            WidebandSimProtocol protocol{};
            if (next == nullptr || !tessek::sim::ParseWidebandSimProtocol(next, protocol))
                return Fail("--wideband needs mts or aem");
            wideband = protocol;
            ++i;
        } else if (arg == "--fuel-error") {
            const auto cell = next ? tessek::sim::ParseFuelError(next) : std::nullopt;
            if (!cell)
                return Fail("--fuel-error needs RPM-RPM:PSI-PSI:PERCENT, e.g. 2500-3500:4-8:10");
            exhaust.Plant(*cell);
            ++i;
        } else if (const auto eq = arg.find('='); eq != std::string::npos && arg[0] != '-') {
            const auto address = ParseNumber(arg.substr(0, eq).c_str(), 16, 0, 255);
            const auto value = ParseNumber(arg.substr(eq + 1).c_str(), 16, 0, 255);
            if (!address || !value)
                return Fail("'" + arg + "' is not ADDR=VALUE with two hexadecimal bytes");
            pins.emplace_back(static_cast<uint8_t>(*address), static_cast<uint8_t>(*value));
        } else {
            return Fail("unknown argument '" + arg + "'");
        }
    }

    // Blocked before the LM's thread exists, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        tessek::sim::SimulatedLm lm;
        // The wideband's engine counts from the LM's start, so that both follow one engine.
        const auto start = std::chrono::steady_clock::now();
        lm.SetQuiet(quiet);
        lm.SetWireTiming(wire);
        lm.SetAnswerDelay(answerDelay);
        lm.SetHighRateTimeout(timeout);
        for (const auto& [address, value] : pins)
            lm.SetByte(address, value);
        if (log)
            lm.SetLog([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
        lm.SetFault(fault);
        lm.SetMissedAnswers(static_cast<uint8_t>(missAddress), missEvery);

        std::unique_ptr<tessek::sim::SimulatedWideband> controller;
        if (wideband)
            controller = std::make_unique<tessek::sim::SimulatedWideband>(*wideband, start, exhaust);

        std::printf("%s\n", lm.SlavePath().c_str());
        if (controller)
            std::printf("%s\n", controller->SlavePath().c_str());
        std::fflush(stdout);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (controller)
            controller->Stop();
        lm.Stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessek-lmsim: %s\n", error.what());
        return 1;
    }
    return 0;
}
