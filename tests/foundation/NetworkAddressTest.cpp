#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/NetworkAddress.h"
#include "foundation/TextConversion.h"
#include "support/LogCapture.h"

namespace {

constexpr std::uint32_t untouchedAddress = 0xDEADBEEF;
constexpr std::uint16_t untouchedPort = 4321;

std::size_t warningsAbout(test::LogCapture& log, const std::wstring& message, const std::string& text) {
    return log.find(message + L" '" + base::widen(text) + L"'", L"WARN").size();
}

struct ParseCase {
    std::string text;
    bool acceptedWithoutPort;
    std::uint32_t address;  // stored whenever the text is accepted without asking for the port
    bool acceptedWithPort;
    std::uint16_t port;  // untouchedPort when none is stored
};

TEST(ParseIpAndPort, AcceptsDottedAddressesWithOptionalPort) {
    const std::vector<ParseCase> cases = {
        {"10.0.0.1", true, 0x0A000001, false, untouchedPort},
        {"10.0.0.1:80", true, 0x0A000001, true, 80},
        {"255.255.255.255:65535", true, 0xFFFFFFFF, true, 65535},
        {"192.168.100.1:", true, 0xC0A86401, false, untouchedPort},
        // Only the leading fields count; whatever follows them is not read.
        {"10.0.0.1:80xyz", true, 0x0A000001, true, 80},
        // Blanks and a sign before a number are read like the C library reads them.
        {" 10. 0.0.1: 80", true, 0x0A000001, true, 80},
        {"-0.0.0.1", true, 1, false, untouchedPort},
        {"256.1.1.1", false, untouchedAddress, false, untouchedPort},
        {"10.0.0.1:65536", false, untouchedAddress, false, untouchedPort},
        {"10.0.0.1:-1", false, untouchedAddress, false, untouchedPort},
        {"10.0.0", false, untouchedAddress, false, untouchedPort},
        {"0x0A.0.0.1", false, untouchedAddress, false, untouchedPort},
        {"", false, untouchedAddress, false, untouchedPort},
        // Numbers that the C library would wrap into range (to 1, 10 and 0) are refused.
        {"-1.0.0.1", false, untouchedAddress, false, untouchedPort},
        {"-4294967295.0.0.1", false, untouchedAddress, false, untouchedPort},
        {"4294967306.0.0.1", false, untouchedAddress, false, untouchedPort},
        {"10.0.0.1:4294967296", false, untouchedAddress, false, untouchedPort},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint32_t address = untouchedAddress;
        EXPECT_EQ(c.acceptedWithoutPort, net::parseIpAndPort(c.text, &address));
        EXPECT_EQ(c.address, address);
        EXPECT_EQ(c.acceptedWithoutPort, net::parseIpAndPort(c.text));

        address = untouchedAddress;
        std::uint16_t port = untouchedPort;
        EXPECT_EQ(c.acceptedWithPort, net::parseIpAndPort(c.text, &address, &port));
        // A text without a port still gives its address when the port is asked.
        EXPECT_EQ(c.address, address);
        EXPECT_EQ(c.port, port);
        port = untouchedPort;
        EXPECT_EQ(c.acceptedWithPort, net::parseIpAndPort(c.text, nullptr, &port));
        EXPECT_EQ(c.port, port);
    }
}

TEST(Ip4Address, ValidTextsAreKeptAndBadOnesWarn) {
    test::LogCapture log;
    const struct {
        std::string text;
        bool valid;
        std::uint32_t address;
        std::string shownText;
        std::size_t warnings;
    } cases[] = {
        {"10.0.0.1:80", true, 0x0A000001, "10.0.0.1:80", 0},
        {"0.0.0.0", false, 0, "0.0.0.0", 0},
        // Only the exact text "0.0.0.0" is the quiet empty address.
        {"0.0.0.0:80", true, 0, "0.0.0.0:80", 0},
        {"", false, 0, "0.0.0.0", 1},
        {"256.1.1.1", false, 0, "0.0.0.0", 1},
        {"10.0.0.1:70000", false, 0, "0.0.0.0", 1},
        {"host.local", false, 0, "0.0.0.0", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const net::Ip4Address address(c.text);
        EXPECT_EQ(c.valid, address.isValid());
        EXPECT_EQ(c.address, address.getAddress());
        EXPECT_EQ(c.shownText, address.getText());
        EXPECT_EQ(c.warnings, warningsAbout(log, L"Некорректный IP адрес", c.text));
    }
}

TEST(IpAndPort, TextFollowsAddressAndPortAndPortZeroIsInvalid) {
    test::LogCapture log;
    EXPECT_EQ(L"0.0.0.0:0", net::IpAndPort().getWideText());

    net::IpAndPort device("127.0.0.7", 0);
    EXPECT_FALSE(device.isValid());
    EXPECT_TRUE(device.Ip4Address::isValid());
    EXPECT_EQ(L"127.0.0.7:0", device.getWideText());
    device.setAddress("127.0.0.8");
    device.setPort(65535);
    EXPECT_TRUE(device.isValid());
    EXPECT_EQ(L"127.0.0.8:65535", device.getWideText());

    const net::IpAndPort bad("127.0.0.300", 5);
    EXPECT_FALSE(bad.isValid());
    EXPECT_EQ(L"0.0.0.0:5", bad.getWideText());
    EXPECT_EQ(1u, warningsAbout(log, L"Некорректный IP адрес", "127.0.0.300"));
}

TEST(HardwareAddress, TextAcceptsSixFieldsOfAtMostTwoDigits) {
    test::LogCapture log;
    const std::vector<std::pair<std::string, std::optional<std::pair<std::uint32_t, std::uint32_t>>>> cases =
        {
            {"aa:bb:cc:dd:ee:ff", {{0xAABBCC, 0xDDEEFF}}},
            {"1:2:3:4:5:6", {{0x010203, 0x040506}}},
            // What follows the sixth field is not part of the address.
            {"aa:bb:cc:dd:ee:ff\r\n", {{0xAABBCC, 0xDDEEFF}}},
            {"aa-bb-cc-dd-ee-ff", std::nullopt},
            {"aa:bb:cc:dd:ee", std::nullopt},
            {"aa:bb:cc:dd:ee:gg", std::nullopt},
            {"", std::nullopt},
            {"0x1:2:3:4:5:6", std::nullopt},
            // A field above 0xFF or a signed field must not turn into another device's address.
            {"aaa:bb:cc:dd:ee:ff", std::nullopt},
            {"aa:bb:cc:dd:ee:100", std::nullopt},
            {"aa:bb:cc:dd:ee:-1", std::nullopt},
            {"aa:bb:cc:dd:ee:+1", std::nullopt},
            {"-1:bb:cc:dd:ee:ff", std::nullopt},
        };
    for (const auto& [text, parts] : cases) {
        SCOPED_TRACE(text);
        const net::HardwareAddress address(text);
        EXPECT_EQ(parts.has_value(), address.isValid());
        EXPECT_EQ(parts ? parts->first : 0u, address.getHigh());
        EXPECT_EQ(parts ? parts->second : 0u, address.getLow());
        // An accepted text is kept exactly as written.
        EXPECT_STREQ(parts ? text.c_str() : "AA:BB:CC:DD:EE:FF", address.toCharArray());
        EXPECT_EQ(parts ? 0u : 1u, warningsAbout(log, L"Получен некорректный аппаратный адрес", text));
    }
    const net::HardwareAddress invalid;
    invalid.toCharArray();
    invalid.toCharArray();
    // Reading the text of an invalid address warns each time, of a valid one never.
    EXPECT_EQ(log.find(L"Запрошен некорректный аппаратный адрес", L"WARN").size(), cases.size() - 3 + 2);
}

TEST(HardwareAddress, DeviceNumbersLieUnderTheVendorPrefix) {
    test::LogCapture log;
    const std::pair<std::uint32_t, const char*> cases[] = {
        {1, "02:7E:41:00:00:01"}, {0xABCDEF, "02:7E:41:AB:CD:EF"}, {0xFFFFFF, "02:7E:41:FF:FF:FF"}};
    for (const auto& [low, text] : cases) {
        SCOPED_TRACE(text);
        // The high part given is not used.
        const net::HardwareAddress address(0x123456, low);
        EXPECT_TRUE(address.isValid());
        EXPECT_EQ(0x027E41u, address.getHigh());
        EXPECT_EQ(low, address.getLow());
        EXPECT_STREQ(text, address.toCharArray());
        // The text reads back as the same device.
        EXPECT_EQ(low, net::HardwareAddress(address.toCharArray()).getLow());
    }
    const net::HardwareAddress tooWide(0, 0x1000000);
    EXPECT_FALSE(tooWide.isValid());
    EXPECT_EQ(0u, tooWide.getHigh());
    EXPECT_EQ(0u, tooWide.getLow());
    EXPECT_STREQ("AA:BB:CC:DD:EE:FF", tooWide.toCharArray());
    EXPECT_TRUE(log.contains(L"Получены неверные части аппаратного адреса '00027E41, 01000000'", L"WARN"));
}

TEST(SplitIpAndPort, SplitsAddressAndPortOrRefusesWhole) {
    const struct {
        std::string text;
        bool accepted;
        std::string address;  // "untouched" when nothing is stored
        std::uint16_t port;
    } cases[] = {
        {"192.168.1.5", true, "192.168.1.5", untouchedPort},
        {"192.168.1.5:11990", true, "192.168.1.5", 11990},
        {"192.168.1.5:65535", true, "192.168.1.5", 65535},
        // The port is read as the check read it; a blank before it does not throw.
        {"192.168.1.5: 80", true, "192.168.1.5", 80},
        {"192.168.1.5:11990x", false, "untouched", untouchedPort},
        {"192.168.1.5:65536", false, "untouched", untouchedPort},
        {"192.168.1.5:70000", false, "untouched", untouchedPort},
        {"192.168.1.5;11990", false, "untouched", untouchedPort},
        {"192.168.1.5:", false, "untouched", untouchedPort},
        {"192.168.1.5 ", false, "untouched", untouchedPort},
        {"192.168.1.256:80", false, "untouched", untouchedPort},
        {"192.168.1.5:-1", false, "untouched", untouchedPort},
        {"", false, "untouched", untouchedPort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string address = "untouched";
        std::uint16_t port = untouchedPort;
        EXPECT_EQ(c.accepted, net::splitIpAndPort(c.text, &address, &port));
        EXPECT_EQ(c.address, address);
        EXPECT_EQ(c.port, port);
        EXPECT_EQ(c.accepted, net::splitIpAndPort(c.text));
    }
}

TEST(IsMulticast, OnlyBareAddressesOfTheMulticastRange) {
    // The first number is read again with its base: a leading zero makes it octal (0224 is 148).
    const std::pair<std::string, bool> cases[] = {
        {"224.0.224.1", true},      {"224.0.0.0", true},   {"239.255.255.255", true}, {"+224.0.0.1", true},
        {"223.255.255.255", false}, {"240.0.0.0", false},  {"0.0.0.0", false},        {"224.0.0", false},
        {"224.0.0.1:5000", false},  {"224.0.0.1 ", false}, {"224.0.0.256", false},    {"", false},
        {"0224.0.0.1", false},      {"0340.0.0.1", false}};
    for (const auto& [text, multicast] : cases) EXPECT_EQ(multicast, net::isMulticast(text)) << text;
}

TEST(IsHttpUrl, SchemeHostWordDotAndWord) {
    const std::wstring longest = L"http://a.b" + std::wstring(245, L'x');
    const std::pair<std::wstring, bool> cases[] = {
        {L"http://a.b", true},   {L"https://my-host.example.org/path?x=1", true},
        {longest, true},         {longest + L"x", false},
        {L"ftp://a.b", false},   {L"HTTP://a.b", false},
        {L"http:/a.b", false},   {L"http://localhost/", false},
        {L"http://a.", false},   {L"http://.b", false},
        {L" http://a.b", false}, {L"", false},
    };
    for (const auto& [text, url] : cases)
        EXPECT_EQ(url, net::isHttpUrl(text)) << base::toUtf8(text.substr(0, 40));
}

}  // namespace
