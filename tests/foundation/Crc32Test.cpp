#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/Crc32.h"

namespace {

TEST(Crc32, KnownVectors) {
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string(32, '\0'), 0x190A55ADu},
    };
    for (const auto& [bytes, crc] : cases) {
        EXPECT_EQ(base::crc32(bytes), crc) << bytes;
        // Taken in two pieces, the second from the CRC of the first.
        const std::size_t half = bytes.size() / 2;
        EXPECT_EQ(base::crc32(bytes.data() + half, bytes.size() - half, base::crc32(bytes.data(), half)), crc)
            << bytes;
    }
}

// Each test runs in a process of its own, so here the threads meet an unbuilt table.
TEST(Crc32, ConcurrentFirstUseSeesACompleteTable) {
    constexpr int kThreads = 8;
    std::atomic<int> waiting{kThreads};
    std::vector<std::uint32_t> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            if (i % 2 == 0) crc32_init();
            results[i] = base::crc32("123456789", 9);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::uint32_t result : results) EXPECT_EQ(result, 0xCBF43926u);
}

}  // namespace
