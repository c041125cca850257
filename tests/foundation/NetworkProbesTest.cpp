#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/InternetProbe.h"
#include "foundation/NetworkProbes.h"
#include "foundation/SocketHandle.h"
#include "support/DeviceEmulator.h"
#include "support/LogCapture.h"
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
        msghdr message{};
        message.msg_name = &source;
        message.msg_namelen = sizeof source;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
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

// Sends datagrams to a multicast group over the loopback until it goes.
class StreamPlayer {
public:
    StreamPlayer(const std::string& group, std::uint16_t port, std::size_t size)
        : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const in_addr loopback = endpoint("127.0.0.1", 0).sin_addr;
        check(::setsockopt(socket_.get(), IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) == 0,
              "IP_MULTICAST_IF");
        const sockaddr_in to = endpoint(group, port);
        thread_ = std::thread([this, to, size] {
            const std::string payload(size, 'G');
            while (!stop_) {
                ::sendto(socket_.get(), payload.data(), payload.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
                std::this_thread::sleep_for(20ms);
            }
        });
    }
    ~StreamPlayer() {
        stop_ = true;
        thread_.join();
    }

private:
    os::SocketHandle socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string groupText(const std::string& group, std::uint16_t port) {
    return group + ":" + std::to_string(port);
}

// ---- The multicast stream probe.

TEST(HasStream, FindsAStreamThatPlaysOnTheGroup) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/8 dev lo"));
    // A datagram longer than the probe's buffer still tells of a stream.
    for (const std::size_t size : {std::size_t{188}, std::size_t{1396}, std::size_t{1500}}) {
        test::LogCapture log;
        const std::uint16_t port = test::freeUdpPort();
        StreamPlayer player("224.0.224.1", port, size);
        EXPECT_TRUE(os::hasStream(groupText("224.0.224.1", port).c_str(), "127.0.0.5")) << size;
        EXPECT_TRUE(
            log.contains(L"Сеть с адресом '127.0.0.5' имеет запущенный поток на широковещательном адресе "
                         L"'224.0.224.1'. Адрес источника '127.0.0.1'",
                         L"INFO"))
            << size;
    }
}

TEST(HasStream, QuietGroupGivesFalseAfterTheWait) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/8 dev lo"));
    test::LogCapture log;
    const std::uint16_t port = test::freeUdpPort();
    EXPECT_FALSE(os::hasStream(groupText("224.0.224.1", port).c_str(), "127.0.0.5"));
    EXPECT_TRUE(log.contains(L"Out the waiting time for multicast stream.", L"TRACE"));
}

TEST(HasStream, IgnoresAnotherGroupOnTheSamePort) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/8 dev lo"));
    const std::uint16_t port = test::freeUdpPort();
    // Someone on this machine listens to the other group, so its datagrams are taken in.
    Receiver other("224.0.224.2", port);
    other.join("224.0.224.2", "127.0.0.1");
    StreamPlayer player("224.0.224.2", port, 188);
    ASSERT_TRUE(other.receive().has_value());

    test::LogCapture log;
    EXPECT_FALSE(os::hasStream(groupText("224.0.224.1", port).c_str(), "127.0.0.5"));
    EXPECT_TRUE(log.contains(L"Out the waiting time for multicast stream.", L"TRACE"));
}

TEST(HasStream, RefusesWhatItCannotProbe) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/8 dev lo"));
    const std::string port = std::to_string(test::freeUdpPort());
    struct Case {
        const char* group;
        const char* interfaceIp;
        const wchar_t* logged;
        const wchar_t* level;
    };
    const Case cases[] = {
        {"224.0.224.1:5000", "127.0.0.1", L"Сетевой интерфейс с ip='127.0.0.1' адресом не существует",
         L"INFO"},
        {"224.0.224.1:5000", "10.1.2.3", L"Сетевой интерфейс с ip='10.1.2.3' адресом не существует", L"INFO"},
        {"224.0.224.1-5000", "127.0.0.5", L"Неверный формат мультикаст адреса '224.0.224.1-5000'", L"ERROR"},
        {"group", "127.0.0.5", L"Неверный формат мультикаст адреса 'group'", L"ERROR"},
        // Not a group: joining it fails.
        {"127.0.0.9:5000", "127.0.0.5",
         L"Произошла ошибка во время проверки наличия потока в сети. [code=10022, what='join the group",
         L"ERROR"},
    };
    for (const Case& c : cases) {
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
    std::mutex lock;
    std::condition_variable changed;
    bool released = false;
    bool answer = true;
    int calls = 0;

    static os::InternetProbe::Check of(const std::shared_ptr<HeldCheck>& held) {
        return [held] {
            std::unique_lock<std::mutex> guard(held->lock);
            ++held->calls;
            held->changed.notify_all();
            held->changed.wait(guard, [&] { return held->released; });
            return held->answer;
        };
    }
    void release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        changed.notify_all();
    }
    void waitForCalls(int count) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, 30s, [&] { return calls >= count; });
    }
    int callCount() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
};

TEST(InternetProbe, CallersWhileACheckRunsStartNoOtherAndWaitForItsAnswer) {
    // A caller that comes only after the check has ended rightly starts a new one; such a round
    // proves nothing and is run again.
    for (int round = 0; round < 20; ++round) {
        os::InternetProbe probe;
        const auto running = std::make_shared<HeldCheck>();
        const auto later = std::make_shared<HeldCheck>();
        later->answer = false;
        later->release();

        // The check hangs: its caller gets the answer known before it.
        EXPECT_FALSE(probe.request(HeldCheck::of(running), 0ms));
        running->waitForCalls(1);

        std::atomic<int> trueAnswers{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < 4; ++i) {
            callers.emplace_back([&] {
                if (probe.request(HeldCheck::of(later), 60s)) ++trueAnswers;
            });
        }
        std::thread releaser([&] {
            std::this_thread::sleep_for(50ms);
            running->release();
        });
        releaser.join();
        for (std::thread& caller : callers) caller.join();

        if (later->callCount() > 0) continue;
        EXPECT_EQ(running->callCount(), 1);
        EXPECT_EQ(trueAnswers, 4);
        return;
    }
    FAIL() << "every round started a second check";
}

TEST(InternetProbe, StoresTheAnswerOfACheckThatEndsLate) {
    os::InternetProbe probe;
    const auto held = std::make_shared<HeldCheck>();
    EXPECT_FALSE(probe.request(HeldCheck::of(held), 0ms));
    held->release();

    const auto failing = std::make_shared<HeldCheck>();
    failing->answer = false;
    // The late answer arrives; a call that starts the next check and gives it no time still sees it.
    const auto end = std::chrono::steady_clock::now() + 30s;
    bool sawLateAnswer = false;
    while (!sawLateAnswer && std::chrono::steady_clock::now() < end) {
        sawLateAnswer = probe.request(HeldCheck::of(failing), 0ms);
    }
    EXPECT_TRUE(sawLateAnswer);
    failing->release();
}

// ---- The discovery datagrams.

TEST(SendPackageToUdpAddress, SendsDiscoveryFromTheLocalAddress) {
    const std::uint16_t port = test::freeUdpPort();
    const Receiver device("127.0.0.7", port);
    EXPECT_TRUE(os::sendPackageToUdpAddress("127.0.0.1", "127.0.0.7", port));
    const std::optional<Datagram> datagram = device.receive();
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->payload, "discovery");
    EXPECT_EQ(datagram->source, "127.0.0.1");
}

TEST(SendPackageToUdpAddress, ReportsAFailureWithoutThrowing) {
    const std::uint16_t port = test::freeUdpPort();
    struct Case {
        const char* local;
        const char* remote;
    };
    // Not an address, and an address that is not this machine's.
    const Case cases[] = {
        {"127.0.0.1", "device"}, {"127.0.0.1", ""}, {"local", "127.0.0.7"}, {"10.1.2.3", "127.0.0.7"}};
    for (const Case& c : cases) {
        test::LogCapture log;
        EXPECT_FALSE(os::sendPackageToUdpAddress(c.local, c.remote, port)) << c.local << " " << c.remote;
        EXPECT_TRUE(log.contains(L"failure send to static address, error '", L"IMPOR"))
            << c.local << " " << c.remote;
    }
}

TEST(SendPackageToFactoryStaticAddress, SendsDiscoveryToTheGivenFactoryAddress) {
    os::DiscoveryTargets targets;
    targets.factoryAddress = "127.0.0.8";
    targets.factoryPort = test::freeUdpPort();
    const Receiver factoryDevice("127.0.0.8", targets.factoryPort);
    os::sendPackageToFactoryStaticAddress("127.0.0.1", targets);
    const std::optional<Datagram> datagram = factoryDevice.receive();
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->payload, "discovery");
}

TEST(SendBroadcast, SendsToTheDirectedThenTheLimitedBroadcastAddress) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/24 dev lo"));
    const std::uint16_t port = test::freeUdpPort();
    const Receiver devices("0.0.0.0", port);

    EXPECT_TRUE(os::sendBroadcast("127.0.0.5", "hello devices", port, "127.0.0.254"));
    const std::optional<Datagram> directed = devices.receive();
    const std::optional<Datagram> limited = devices.receive();
    ASSERT_TRUE(directed.has_value());
    ASSERT_TRUE(limited.has_value());
    EXPECT_EQ(directed->destination, "127.0.0.255");
    EXPECT_EQ(limited->destination, "127.0.0.254");
    for (const Datagram& datagram : {*directed, *limited}) {
        EXPECT_EQ(datagram.payload, "hello devices");
        EXPECT_EQ(datagram.source, "127.0.0.5");
    }
}

TEST(SendBroadcast, StopsAtTheFirstFailedSend) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/24 dev lo"));
    const std::uint16_t port = test::freeUdpPort();
    const Receiver devices("0.0.0.0", port);
    test::LogCapture log;

    // Longer than any datagram can be.
    EXPECT_FALSE(os::sendBroadcast("127.0.0.5", std::string(70000, 'x'), port, "127.0.0.254"));
    EXPECT_TRUE(log.contains(L"failure send directional broadcast, error '", L"WARN"));
    EXPECT_FALSE(log.contains(L"failure send limited broadcast"));

    EXPECT_FALSE(os::sendBroadcast("127.0.0.5", "x", port, "limited"));
    EXPECT_TRUE(log.contains(L"failure send limited broadcast, error '", L"WARN"));
    const std::optional<Datagram> directed = devices.receive();
    ASSERT_TRUE(directed.has_value());
    EXPECT_EQ(directed->destination, "127.0.0.255");
    EXPECT_FALSE(devices.receive(200ms).has_value());
}

TEST(SendBroadcast, RefusesAnAddressThatNoInterfaceHas) {
    test::LogCapture log;
    // The loopback's own address is never an interface of the list.
    EXPECT_FALSE(os::sendBroadcast("127.0.0.1", "discovery", test::freeUdpPort()));
    EXPECT_TRUE(log.contains(
        L"Сетевой интерфейс '127.0.0.1' не существует. Широковещательная отправка не выполнена", L"ERROR"));
}

TEST(FindLostDevices, SendsToTheFactoryAddressAndBroadcasts) {
    MELVOX_REQUIRE_PRIVATE_NETWORK();
    test::PrivateNetwork network;
    ASSERT_TRUE(network.ip("addr add 127.0.0.5/24 dev lo"));
    const std::uint16_t port = test::freeUdpPort();
    os::DiscoveryTargets targets;
    targets.factoryAddress = "127.0.0.8";
    targets.factoryPort = test::freeUdpPort();
    targets.limitedBroadcast = "127.0.0.254";
    const Receiver devices("0.0.0.0", port);
    const Receiver factoryDevice("127.0.0.8", targets.factoryPort);

    EXPECT_TRUE(os::findLostDevices("127.0.0.5", port, targets));
    std::set<std::string> destinations;
    for (int i = 0; i < 2; ++i) {
        const std::optional<Datagram> datagram = devices.receive();
        ASSERT_TRUE(datagram.has_value());
        EXPECT_EQ(datagram->payload, "discovery");
        destinations.insert(datagram->destination);
    }
    EXPECT_EQ(destinations, (std::set<std::string>{"127.0.0.255", "127.0.0.254"}));
    const std::optional<Datagram> factory = factoryDevice.receive();
    ASSERT_TRUE(factory.has_value());
    EXPECT_EQ(factory->payload, "discovery");
    EXPECT_EQ(factory->source, "127.0.0.5");
}

}  // namespace
