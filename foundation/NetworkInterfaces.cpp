#include "foundation/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>

#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace os {
namespace {

constexpr const char* kLoopbackText = "127.0.0.1";
constexpr const char* kFactorySubnetText = "192.168.100.";
constexpr std::wstring_view kVirtualWord = L"virtual";

std::string dottedText(std::uint32_t hostOrder) {
    in_addr address{};
    address.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::uint32_t hostOrderAddress(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) return 0;
    return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

bool readHex(std::string_view field, std::uint32_t& value) {
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
    return error == std::errc() && end == field.data() + field.size();
}

// The default gateway of each interface, the first that the kernel's main routing table lists
// for it. The table of the calling thread's network namespace, which may differ from the one of
// the process's first thread.
std::map<std::string, std::string> readDefaultGateways() {
    std::map<std::string, std::string> gateways;
    std::ifstream table("/proc/thread-self/net/route");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the addresses are the raw
        // network-order words printed as numbers.
        const std::vector<std::string_view> fields = splitFields(line);
        std::uint32_t destination = 0, gateway = 0, flags = 0, mask = 0;
        if (fields.size() < 8 || !readHex(fields[1], destination) || !readHex(fields[2], gateway) ||
            !readHex(fields[3], flags) || !readHex(fields[7], mask)) {
            continue;
        }
        const bool defaultRoute = destination == 0 && mask == 0;
        if (!defaultRoute || (flags & RTF_UP) == 0 || (flags & RTF_GATEWAY) == 0) continue;
        gateways.emplace(std::string(fields[0]), dottedText(ntohl(gateway)));
    }
    return gateways;
}

// A network adapter backed by a device (a card, a USB adapter) has a device link; bridges,
// tunnels and the links of containers do not.
bool isHardwareAdapter(const std::string& name) {
    std::error_code error;
    return std::filesystem::exists("/sys/class/net/" + name + "/device", error);
}

bool containsVirtualWord(const std::wstring& name) {
    const auto lower = [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    };
    const auto found = std::search(name.begin(), name.end(), kVirtualWord.begin(), kVirtualWord.end(),
                                   [&](wchar_t a, wchar_t b) { return lower(a) == b; });
    return found != name.end();
}

bool isVirtual(const NetworkInterface& record) {
    return record.virtualAdapter || containsVirtualWord(record.name);
}

// Every IPv4 address of every adapter, the loopback's own address too.
std::vector<NetworkInterface> allInterfaces() {
    const debug::Place place("os::getNetworkInterfaceList");
    ifaddrs* addresses = nullptr;
    if (::getifaddrs(&addresses) != 0) {
        place.fatal(L"Получение списка сетевых интерфейсов завершилось ошибкой: %1%", errno);
        return {};
    }
    const std::map<std::string, std::string> gateways = readDefaultGateways();
    std::map<std::string, bool> hardware;

    std::vector<NetworkInterface> list;
    for (const ifaddrs* entry = addresses; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        // A labelled address ("eth0:1") belongs to the adapter before the colon, which a
        // device name can never contain.
        const std::string label = entry->ifa_name ? entry->ifa_name : "";
        const std::string adapter = label.substr(0, label.find(':'));

        NetworkInterface record;
        record.up = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_RUNNING) != 0;
        const std::uint32_t address = record.up ? hostOrderAddress(entry->ifa_addr) : 0;
        // The system builds the mask from the prefix length; a prefix of 0 gives no mask at all.
        const std::uint32_t mask = hostOrderAddress(entry->ifa_netmask);
        record.ip = record.up ? dottedText(address) : std::string();
        record.mask = dottedText(mask);
        record.broadcast = dottedText(address | ~mask);
        record.name = base::fromSystem(adapter);
        const auto gateway = gateways.find(adapter);
        if (gateway != gateways.end()) record.gateway = gateway->second;
        auto known = hardware.find(adapter);
        if (known == hardware.end()) known = hardware.emplace(adapter, isHardwareAdapter(adapter)).first;
        record.virtualAdapter = !known->second;

        list.push_back(std::move(record));
    }
    ::freeifaddrs(addresses);
    return list;
}

}  // namespace

std::vector<NetworkInterface> getNetworkInterfaceList() {
    std::vector<NetworkInterface> list = allInterfaces();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const NetworkInterface& record) { return record.ip == kLoopbackText; }),
               list.end());
    return list;
}

// The loopback is never offered as the interface to work on, but a program put on it (a head-end
// without a network, the tests) has it: the lookups find it.
std::optional<NetworkInterface> getNetworkInterfaceByIp(const std::string& ip) {
    for (NetworkInterface& record : allInterfaces()) {
        if (record.ip == ip) return std::move(record);
    }
    debug::Place("os::getNetworkInterfaceByIp")
        .warn(L"Сетевой интерфейс с запрошенным IP адресом не существует");
    return std::nullopt;
}

bool existNetworkInterface(const std::string& ip) {
    const std::vector<NetworkInterface> list = allInterfaces();
    return std::any_of(list.begin(), list.end(),
                       [&](const NetworkInterface& record) { return record.ip == ip; });
}

std::string nameToIp(const std::string& ip, const std::wstring& name) {
    return nameToIp(ip, name, getNetworkInterfaceList());
}

std::string nameToIp(const std::string& ip, const std::wstring& name,
                     const std::vector<NetworkInterface>& interfaces) {
    const debug::Place place("os::nameToIp");
    if (ip.empty() || name.empty()) place.debug(L"It is not typical values ip='%1%', name='%2%'", ip, name);

    NetworkInterface fallback;
    NetworkInterface nameMatch;
    for (const NetworkInterface& record : interfaces) {
        if (!isVirtual(record) && fallback.ip.empty() && !record.ip.empty() && record.up) {
            fallback = record;
        } else if (record.ip.find(kFactorySubnetText) != std::string::npos && record.up) {
            // The devices leave the factory in this subnet: an adapter there is the best guess.
            fallback = record;
        }
        if (!ip.empty() && ip == record.ip) return ip;
        if (record.name == name) nameMatch = record;
    }
    if (!nameMatch.ip.empty()) return nameMatch.ip;

    place.debug(L"Selected network interface is '%1%' with ip '%2%'. Expected one is '%3%' with ip '%4%'",
                fallback.name, fallback.ip, name, ip);
    return fallback.ip;
}

}  // namespace os
