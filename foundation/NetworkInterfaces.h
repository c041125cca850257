#pragma once
// The machine's IPv4 interfaces, and the choice of the one the system works on. The list is
// read anew on every call: adapters come and go while the program runs.

#include <optional>
#include <string>
#include <vector>

namespace os {

// One IPv4 address of one network adapter; an adapter with several addresses gives several.
struct NetworkInterface {
    // The adapter's name as the system reports it; the settings keep it to find the adapter again.
    std::wstring name;
    // Dotted text; empty while the adapter is not operational.
    std::string ip;
    std::string mask;
    // The directed broadcast address: ip OR NOT mask.
    std::string broadcast;
    bool up = false;
    // The adapter's default gateway; empty when it has none.
    std::string gateway;
    // No hardware behind the adapter (a bridge, a tunnel, a container's link): a poor guess for
    // the network of the devices.
    bool virtualAdapter = false;
};

// Every IPv4 address of every adapter, adapters in the system's order; never 127.0.0.1. A
// failed query is logged and gives an empty list.
std::vector<NetworkInterface> getNetworkInterfaceList();

// The first record whose ip equals `ip`, the loopback's 127.0.0.1 included; nullopt (and a
// warning in the log) when no adapter has it, which happens whenever an adapter goes away or
// loses its address.
std::optional<NetworkInterface> getNetworkInterfaceByIp(const std::string& ip);
bool existNetworkInterface(const std::string& ip);

// The address of the interface to work on, given the saved address and adapter name: the saved
// address while some adapter has it, else the address of the adapter with the saved name, else
// a guess (an up adapter in the devices' factory subnet, else the first up hardware adapter).
// Empty when nothing qualifies.
std::string nameToIp(const std::string& ip, const std::wstring& name);
std::string nameToIp(const std::string& ip, const std::wstring& name,
                     const std::vector<NetworkInterface>& interfaces);

}  // namespace os
