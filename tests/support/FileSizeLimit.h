#pragma once
// Makes writes of this process fail past a file size, the way a full disk makes them fail.
// Meant for a child process of a death test (EXPECT_EXIT), since it cannot be undone for
// the threads of the test program.

#include <cstddef>

namespace test {

enum class OnExcess {
    // The kernel kills the process in the middle of the write, as a crash or a power cut
    // would end it.
    kill,
    // The write fails with EFBIG and the process goes on.
    fail,
};

void limitFileSize(std::size_t bytes, OnExcess onExcess);

}  // namespace test
