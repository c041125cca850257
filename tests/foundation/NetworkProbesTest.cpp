#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/InternetProbe.h"
#include "foundation/NetworkProbes.h"
#include "foundation/SocketHandle.h"
#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/GroupSender.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/PrivateNetwork.h"

namespace {

using namespace std::chrono_literals;

sockaddr_in endpoint(const std::string& ip, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) throw std::invalid_argument(ip);
    return address;
}

std::string textOf(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

void check(bool ok, const char* step) {
    if (!ok) throw std::runtime_error(step);
}

struct Datagram {
    std::string payload;
    std::string source;
    std::string destination;
};

// A UDP socket that records the destination address of what it receives.
class Receiver {
public:
    Receiver(const std::string& ip, std::uint16_t port)
        : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        check(::setsockopt(socket_.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0, "IP_PKTINFO");
        // Shares its port the way players do.
        check(::setsockopt(socket_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0, "SO_REUSEADDR");
        const sockaddr_in local = endpoint(ip, port);
        check(::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0, "bind");
    }

    std::optional<Datagram> receive(std::chrono::milliseconds deadline = 10s) const {
        pollfd wanted{socket_.get(), POLLIN, 0};
        if (::poll(&wanted, 1, static_cast<int>(deadline.count())) != 1) return std::nullopt;
        std::vector<char> buffer(70000);
        sockaddr_in source{};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec data{buffer.data(), buffer.size()};
        msghdr message{&source, sizeof source, &data, 1, control, sizeof control, 0};
        const ssize_t received = ::recvmsg(socket_.get(), &message, 0);
        if (received < 0) return std::nullopt;
        Datagram datagram;
        datagram.payload.assign(buffer.data(), static_cast<std::size_t>(received));
        datagram.source = textOf(source.sin_addr);
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(item), sizeof info);
                datagram.destination = textOf(info.ipi_addr);
            }
        }
        return datagram;
    }

    void join(const std::string& group, const std::string& interfaceIp) const {
        ip_mreq membership{};
        membership.imr_multiaddr = endpoint(group, 0).sin_addr;
        membership.imr_interface = endpoint(interfaceIp, 0).sin_addr;
        check(::setsockopt(socket_.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0,
              "join");
    }

private:
    os::SocketHandle socket_;
};

// A network namespace of the test's own whose loopback also has 127.0.0.5/24, the address of the
// interface that the probes and the broadcasts go through.
class OwnNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        MELVOX_REQUIRE_PRIVATE_NETWORK();
        network_.emplace();
        ASSERT_TRUE(network_->ip("addr add 127.0.0.5/24 dev lo"));
    }

    std::optional<test::PrivateNetwork> network_;
    const std::uint16_t port_ = test::freeUdpPort();
};

// ---- The multicast stream probe.

using HasStream = OwnNetwork;

TEST_F(HasStream, FindsAStreamOnItsOwnGroupOnly) {
    // Someone on this machine listens to another group on the same port, so its datagrams are taken in.
    Receiver other("224.0.224.2", port_);
    other.join("224.0.224.2", "127.0.0.1");
    test::GroupSender otherPlayer("224.0.224.2", port_, test::transportStreamPackets(1));
    ASSERT_TRUE(other.receive().has_value());
    const std::string group = "224.0.224.1:" + std::to_string(port_);
    {
        test::LogCapture log;
        EXPECT_FALSE(os::hasStream(group.c_str(), "127.0.0.5"));
        EXPECT_TRUE(log.contains(L"Out the waiting time for multicast stream.", L"TRACE"));
    }
    // A keep-alive packet, the program's own datagrams of seven packets, and larger ones.
    for (const std::size_t packets : {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{300}}) {
        test::LogCapture log;
        test::GroupSender player("224.0.224.1", port_, test::transportStreamPackets(packets));
        EXPECT_TRUE(os::hasStream(group.c_str(), "127.0.0.5")) << packets;
        EXPECT_TRUE(
            log.contains(L"Сеть с адресом '127.0.0.5' имеет запущенный поток на широковещательном адресе "
                         L"'224.0.224.1'. Адрес источника '127.0.0.1'",
                         L"INFO"))
            << packets;
    }
}

// Datagrams on the group that are no transport stream tell of no other copy's stream; a stream
// among them still does.
TEST_F(HasStream, OnlyATransportStreamCounts) {
    const std::string group = "224.0.224.1:" + std::to_string(port_);
    std::string secondPacketOff = test::transportStreamPackets(2);
    secondPacketOff[188] = 'x';
    std::string cutShort = test::transportStreamPackets(2);
    cutShort.pop_back();
    const struct {
        const char* name;
        std::string payload;
    } junk[] = {
        {"one byte", "x"},
        {"empty", ""},
        {"188 bytes without the sync byte", std::string(188, 'x')},
        {"the second packet without it", secondPacketOff},
        {"a packet and a part", test::transportStreamPackets(1) + "\x47\x1F"},
        {"two packets cut short", cutShort},
    };
    for (const auto& c : junk) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(os::isTransportStreamDatagram(reinterpret_cast<const unsigned char*>(c.payload.data()),
                                                   c.payload.size()));
        test::LogCapture log;
        const test::GroupSender noise("224.0.224.1", port_, c.payload);
        EXPECT_FALSE(os::hasStream(group.c_str(), "127.0.0.5"));
        EXPECT_TRUE(log.contains(L"Datagrams on the group that are no transport stream: ", L"TRACE"));
    }
    const test::GroupSender noise("224.0.224.1", port_, "x");
    const test::GroupSender player("224.0.224.1", port_, test::transportStreamPackets(7));
    EXPECT_TRUE(os::hasStream(group.c_str(), "127.0.0.5"));
}

TEST_F(HasStream, RefusesWhatItCannotProbe) {
    const struct {
        const char* group;
        const char* interfaceIp;
        const wchar_t* logged;
        const wchar_t* level;
    } cases[] = {
        {"224.0.224.1:5000", "10.1.2.3", L"Сетевой интерфейс с ip='10.1.2.3' адресом не существует", L"INFO"},
        {"224.0.224.1-5000", "127.0.0.5", L"Неверный формат мультикаст адреса '224.0.224.1-5000'", L"ERROR"},
        // Not a group: joining it fails.
        {"127.0.0.9:5000", "127.0.0.5",
         L"Произошла ошибка во время проверки наличия потока в сети. [code=10022, what='join the group",
         L"ERROR"},
    };
    for (const auto& c : cases) {
        test::LogCapture log;
        EXPECT_FALSE(os::hasStream(c.group, c.interfaceIp)) << c.group << " " << c.interfaceIp;
        EXPECT_TRUE(log.contains(c.logged, c.level)) << c.group << " " << c.interfaceIp;
    }
}

// ---- The internet probe.

// A TCP port on the loopback that accepts connections, or one that refuses them.
class TcpPort {
public:
    explicit TcpPort(bool listening) : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in local = endpoint("127.0.0.1", 0);
        check(::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0, "bind");
        if (listening) check(::listen(socket_.get(), 16) == 0, "listen");
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&bound), &size);
        port_ = ntohs(bound.sin_port);
    }
    os::InternetTarget target() const { return {"127.0.0.1", std::to_string(port_)}; }

private:
    os::SocketHandle socket_;
    std::uint16_t port_ = 0;
};

// Calls until the answer is `expected`: an answer may be that of the probe before.
bool answersWithin(const os::InternetTarget& target, bool expected, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (os::hasInternet(target) == expected) return true;
    }
    return false;
}

TEST(HasInternet, ConnectsToTheTargetAndReportsABrokenOne) {
    test::LogCapture log;
    const TcpPort open(true);
    const TcpPort closed(false);
    EXPECT_TRUE(answersWithin(open.target(), true, 30s));
    EXPECT_TRUE(log.contains(L"Internet: connected", L"TRACE2"));
    EXPECT_TRUE(answersWithin(closed.target(), false, 30s));
    EXPECT_TRUE(log.contains(L"Internet: broken", L"TRACE2"));
    EXPECT_TRUE(answersWithin(open.target(), true, 30s));
}

// A check that waits until it is let go; shared with the probe's thread, which may outlive the test.
struct HeldCheck {
    explicit HeldCheck(bool answer) : answer(answer) {}

    static os::InternetProbe::Check of(const std::shared_ptr<HeldCheck>& held) {
        return [held, released = held->released] {
            ++held->calls;
            released.wait();
            return held->answer;
        };
    }

    const bool answer;
    std::atomic<int> calls{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

TEST(InternetProbe, CallersWhileACheckRunsStartNoOtherAndWaitForItsAnswer) {
    // A caller reads the clock with the probe's lock held just before it waits, so the check
    // cannot end unseen by a caller that has read it. The clock stands still: no caller's wait
    // ends by itself.
    test::ManualClock clock;
    clock.holdSteady();
    os::InternetProbe probe;
    const auto running = std::make_shared<HeldCheck>(true);
    const auto later = std::make_shared<HeldCheck>(false);
    later->release.set_value();

    // The check hangs: its caller gets the answer known before it.
    EXPECT_FALSE(probe.request(HeldCheck::of(running), 0ms));
    ASSERT_TRUE(test::waitFor([&] { return running->calls > 0; }));

    std::atomic<int> trueAnswers{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&] {
            pthread_setname_np(pthread_self(), "probe caller");
            if (probe.request(HeldCheck::of(later), 60s)) ++trueAnswers;
        });
    }
    const bool waiting = test::waitFor([&] { return clock.steadyReadsOn("probe caller") >= 4; });
    running->release.set_value();
    for (std::thread& caller : callers) caller.join();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(running->calls.load(), 1);
    EXPECT_EQ(later->calls.load(), 0);
    EXPECT_EQ(trueAnswers.load(), 4);
}

TEST(InternetProbe, StoresTheAnswerOfACheckThatEndsLate) {
    os::InternetProbe probe;
    const auto held = std::make_shared<HeldCheck>(true);
    EXPECT_FALSE(probe.request(HeldCheck::of(held), 0ms));
    held->release.set_value();

    // The late answer arrives; a call that starts the next check and gives it no time still sees it.
    const auto failing = std::make_shared<HeldCheck>(false);
    EXPECT_TRUE(test::waitFor([&] { return probe.request(HeldCheck::of(failing), 0ms); }, 30s));
    failing->release.set_value();
}

// ---- The discovery datagrams.

TEST(SendPackageToUdpAddress, ReportsAFailureWithoutThrowing) {
    // Not an address, and an address that is not this machine's.
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1", "device"}, {"local", "127.0.0.7"}, {"10.1.2.3", "127.0.0.7"}};
    for (const auto& [local, remote] : cases) {
        test::LogCapture log;
        EXPECT_FALSE(os::sendPackageToUdpAddress(local, remote, test::freeUdpPort()))
            << local << " " << remote;
        EXPECT_TRUE(log.contains(L"failure send to static address, error '", L"IMPOR"))
            << local << " " << remote;
    }
}

using SendBroadcast = OwnNetwork;

TEST_F(SendBroadcast, StopsAtTheFirstFailedSend) {
    const Receiver devices("0.0.0.0", port_);
    test::LogCapture log;
    // Longer than any datagram can be.
    EXPECT_FALSE(os::sendBroadcast("127.0.0.5", std::string(70000, 'x'), port_, "127.0.0.254"));
    EXPECT_TRUE(log.contains(L"failure send directional broadcast, error '", L"WARN"));
    EXPECT_FALSE(log.contains(L"failure send limited broadcast"));

    EXPECT_FALSE(os::sendBroadcast("127.0.0.5", "x", port_, "limited"));
    EXPECT_TRUE(log.contains(L"failure send limited broadcast, error '", L"WARN"));
    const std::optional<Datagram> directed = devices.receive();
    ASSERT_TRUE(directed.has_value());
    EXPECT_EQ(directed->destination, "127.0.0.255");
    EXPECT_FALSE(devices.receive(200ms).has_value());

    // The loopback's own address is never offered as an interface, but a program on it sends there.
    EXPECT_TRUE(os::sendBroadcast("127.0.0.1", "discovery", port_, "127.0.0.254"));
    const std::optional<Datagram> fromLoopback = devices.receive();
    ASSERT_TRUE(fromLoopback.has_value());
    EXPECT_EQ(fromLoopback->destination, "127.255.255.255");
    EXPECT_FALSE(log.contains(L"не существует"));
}

using FindLostDevices = OwnNetwork;

TEST_F(FindLostDevices, SendsFromTheInterfaceToTheFactoryAddressAndBroadcasts) {
    os::DiscoveryTargets targets;
    targets.factoryAddress = "127.0.0.8";
    targets.factoryPort = test::freeUdpPort();
    targets.limitedBroadcast = "127.0.0.254";
    const Receiver devices("0.0.0.0", port_);
    const Receiver factoryDevice("127.0.0.8", targets.factoryPort);

    EXPECT_TRUE(os::findLostDevices("127.0.0.5", port_, targets));
    // The directed broadcast goes first, then the limited one.
    for (const char* destination : {"127.0.0.255", "127.0.0.254"}) {
        const std::optional<Datagram> datagram = devices.receive();
        ASSERT_TRUE(datagram.has_value()) << destination;
        EXPECT_EQ(datagram->destination, destination);
        EXPECT_EQ(datagram->payload, "discovery");
        EXPECT_EQ(datagram->source, "127.0.0.5");
    }
    const std::optional<Datagram> factory = factoryDevice.receive();
    ASSERT_TRUE(factory.has_value());
    EXPECT_EQ(factory->payload, "discovery");
    EXPECT_EQ(factory->source, "127.0.0.5");
}

}  // namespace
