// Ports known by a name of their own (the program's simulated LM, a test's scripted
// device): the registry, and the open that looks there first.
#include "platform/Text.h"
#include "serial/SerialDevice.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

namespace tessek {

namespace {

struct NamedPort {
    std::string name;
    std::string description;
    SerialDeviceFactory factory;
    uint64_t key = 0;  // the registration that made it (0: for the life of the program)
};

struct NamedPortList {
    std::mutex m;
    std::vector<NamedPort> ports;
    uint64_t lastKey = 0;
};

NamedPortList& Registered()
{
    static NamedPortList list;
    return list;
}

// Adds or replaces `name`'s entry (lock held).
void Put(NamedPortList& list, NamedPort port)
{
    for (NamedPort& known : list.ports) {
        if (SameText(known.name, port.name)) {
            known = std::move(port);
            return;
        }
    }
    list.ports.push_back(std::move(port));
}

}  // namespace

void RegisterNamedPort(const std::string& name, const std::string& description, SerialDeviceFactory factory)
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    Put(list, {name, description, std::move(factory)});
}

NamedPortRegistration::NamedPortRegistration(const std::string& name, const std::string& description,
                                             SerialDeviceFactory factory)
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    key_ = ++list.lastKey;
    Put(list, {name, description, std::move(factory), key_});
}

NamedPortRegistration::~NamedPortRegistration()
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    std::erase_if(list.ports, [this](const NamedPort& port) { return port.key == key_; });
}

std::vector<SerialPortInfo> NamedPorts()
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    std::vector<SerialPortInfo> ports;
    for (const NamedPort& port : list.ports)
        ports.push_back({port.name, port.description.empty() ? port.name : port.name + " \u2014 " + port.description});
    return ports;
}

bool IsNamedPort(const std::string& port)
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    return std::any_of(list.ports.begin(), list.ports.end(),
                       [&](const NamedPort& named) { return SameText(named.name, port); });
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& port)
{
    SerialDeviceFactory factory;
    {
        NamedPortList& list = Registered();
        std::lock_guard lock(list.m);
        for (const NamedPort& named : list.ports) {
            if (SameText(named.name, port))
                factory = named.factory;
        }
    }
    return factory ? factory(port) : OpenLinuxSerialDevice(port);
}

}  // namespace tessek
