#pragma once
// A network namespace of one test's own. The calling thread enters it (threads started after
// that follow it) and returns to its former namespace when the object goes. It holds only the
// loopback, up, with the multicast route on it; a test may add links, addresses and routes and
// change the namespace's settings without disturbing tests that run at the same time.

#include <string>

namespace test {

class PrivateNetwork {
public:
    // Whether this process may make one: it needs CAP_SYS_ADMIN, which root has, also root
    // in a user namespace.
    static bool available();

    // Throws std::runtime_error when the namespace cannot be made or entered.
    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;

    // Runs `ip <arguments>` in the namespace; false when it failed.
    bool ip(const std::string& arguments) const;
    // Adds a link that no hardware backs and that swallows what is sent through it: a dummy
    // link where the kernel has them, else an ifb link. It starts down.
    bool addSilentLink(const std::string& name) const;
    // Writes `value` to /proc/sys/net/`key` of the namespace ("ipv4/ping_group_range").
    bool setSysctl(const std::string& key, const std::string& value) const;

private:
    int home_ = -1;
};

}  // namespace test

// Skips the test where the process may not make a network namespace.
#define MELVOX_REQUIRE_PRIVATE_NETWORK()                                                          \
    if (!test::PrivateNetwork::available()) {                                                     \
        GTEST_SKIP() << "this process may not make a network namespace (it lacks CAP_SYS_ADMIN)"; \
    }
