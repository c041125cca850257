#pragma once
// The network identities of the system: an IPv4 address, an address with a UDP port, and a
// device's six-byte hardware address (the key of the device registry), with the text checks
// on addresses and URLs. Bad texts never throw: they give an invalid value, a warning in the
// log and a fixed placeholder text.

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// An IPv4 address with the text it was built from.
class Ip4Address {
public:
    Ip4Address() = default;
    // Accepts what parseIpAndPort accepts without asking for the port; a port suffix stays in
    // the text. "0.0.0.0" gives the invalid value quietly, any other bad text with a warning.
    explicit Ip4Address(const std::string& text);
    virtual ~Ip4Address() = default;

    Ip4Address(const Ip4Address&) = default;
    Ip4Address& operator=(const Ip4Address&) = default;

    bool isValid() const { return valid_; }
    // Host order: the first octet is the top byte.
    std::uint32_t getAddress() const { return address_; }
    // The text as given when valid, otherwise "0.0.0.0".
    const std::string& getText() const { return text_; }

protected:
    void assign(const std::string& text);
    // The address in host order; 0 gives the invalid value quietly.
    void assign(std::uint32_t address);

private:
    bool valid_ = false;
    std::uint32_t address_ = 0;
    std::string text_ = "0.0.0.0";
};

// An address and a UDP port with their wide text "address:port" for display and logs.
class IpAndPort : public Ip4Address {
public:
    IpAndPort() { updateText(); }
    IpAndPort(const std::string& address, std::uint16_t port);
    // From the numbers a socket gives, in host order.
    IpAndPort(std::uint32_t address, std::uint16_t port);

    IpAndPort(const IpAndPort&) = default;
    IpAndPort& operator=(const IpAndPort&) = default;

    // True when the address is valid and the port is not 0.
    bool isValid() const { return Ip4Address::isValid() && port_ != 0; }
    std::uint16_t getPort() const { return port_; }
    const std::wstring& getWideText() const { return wideText_; }

    void setAddress(const std::string& address);
    void setPort(std::uint16_t port);
    void updateText();

private:
    std::uint16_t port_ = 0;
    std::wstring wideText_;
};

// A device's hardware address: the vendor prefix (bytes 1-3) and the device number (bytes 4-6).
class HardwareAddress {
public:
    // The high part of every address built from a device number.
    static constexpr std::uint32_t vendorPrefix = 0x027E41;

    // The invalid address, without a warning.
    HardwareAddress() = default;
    // Six hexadecimal fields of one or two digits separated by ':'. The text is kept exactly as
    // written; a text that does not parse gives the invalid address and a warning.
    explicit HardwareAddress(const std::string& text);
    // The same without the warning, for texts from the network: the invalid address when the text
    // does not parse.
    static HardwareAddress parse(std::string_view text);
    // The address of device number `low` under the vendor prefix; `high` is not used. A number
    // wider than 24 bits gives the invalid address and a warning.
    HardwareAddress(std::uint32_t high, std::uint32_t low);

    bool isValid() const { return valid_; }
    std::uint32_t getHigh() const { return high_; }
    std::uint32_t getLow() const { return low_; }
    // The text; asking for the text of an invalid address is logged as a warning.
    const char* toCharArray() const;
    // Six upper-case fields of two digits, whatever way the text was written (and whatever followed
    // its sixth field): the form the state files keep, which reads back as the same address.
    std::string canonicalText() const;

private:
    bool valid_ = false;
    std::uint32_t high_ = 0;
    std::uint32_t low_ = 0;
    std::string text_ = "AA:BB:CC:DD:EE:FF";
};

// Reads "a.b.c.d" or "a.b.c.d:port". With `port` asked, a text without a port stores the
// address and gives false; without it, a port is checked and dropped.
bool parseIpAndPort(const std::string& text, std::uint32_t* address = nullptr, std::uint16_t* port = nullptr);
// Splits "a.b.c.d" (the port is left as it is) or "a.b.c.d:port" with nothing behind the port.
// Stores nothing when it gives false.
bool splitIpAndPort(const std::string& text, std::string* address = nullptr, std::uint16_t* port = nullptr);
// A bare dotted address whose first octet is 224 to 239.
bool isMulticast(const std::string& text);
// "http://" or "https://", a host word, a dot and a word; at most 255 characters.
bool isHttpUrl(const std::wstring& text);

}  // namespace net
