#include "support/PrivateNetwork.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace test {
namespace {

bool runQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

bool PrivateNetwork::available() {
    // Tried on a thread of its own, whose namespace goes with it.
    bool made = false;
    std::thread([&made] { made = ::unshare(CLONE_NEWNET) == 0; }).join();
    return made;
}

PrivateNetwork::PrivateNetwork() {
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0)
        throw std::runtime_error(std::string("open the network namespace: ") + std::strerror(errno));
    if (::unshare(CLONE_NEWNET) != 0) {
        const int error = errno;
        ::close(home_);
        throw std::runtime_error(std::string("make a network namespace: ") + std::strerror(error));
    }
    if (!ip("link set lo up") || !ip("route add 224.0.0.0/4 dev lo src 127.0.0.1")) {
        ::setns(home_, CLONE_NEWNET);
        ::close(home_);
        throw std::runtime_error("set up the loopback of the network namespace");
    }
}

PrivateNetwork::~PrivateNetwork() {
    ::setns(home_, CLONE_NEWNET);
    ::close(home_);
}

bool PrivateNetwork::ip(const std::string& arguments) const {
    return runQuietly("ip " + arguments);
}

bool PrivateNetwork::addSilentLink(const std::string& name) const {
    return ip("link add " + name + " type dummy") || ip("link add " + name + " type ifb");
}

bool PrivateNetwork::setSysctl(const std::string& key, const std::string& value) const {
    std::ofstream file("/proc/sys/net/" + key);
    file << value;
    file.close();
    return !file.fail();
}

}  // namespace test
