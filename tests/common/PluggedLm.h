#pragma once
// A simulated LM behind a symbolic link, as a USB adapter is behind its /dev/serial/by-id
// name: plugged (a new LM, the link made anew, as udev does) and unplugged (the LM's
// pseudo-terminal closes and the link goes with it).
#include "sim/SimulatedLm.h"

#include <filesystem>
#include <memory>
#include <string>

namespace tessek::test {

struct PluggedLm {
    explicit PluggedLm(std::string linkPath) : link(std::move(linkPath)) {}
    void Plug()
    {
        lm = std::make_unique<sim::SimulatedLm>();
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(lm->SlavePath(), link);
    }
    void Unplug()
    {
        lm->Stop();
        std::filesystem::remove(link);
    }
    std::string link;
    std::unique_ptr<sim::SimulatedLm> lm;
};

}  // namespace tessek::test
