#pragma once
// A test that hangs is killed by the test runner without a word on where it stood. The watch
// gives each test a deadline below the runner's: past it, the stacks of every thread of the
// test program go to standard error (through gdb, where it is installed) and the program
// aborts, so the log of a run that hung says where. The program's end after its tests has a
// deadline of its own.

#include <gtest/gtest.h>

#include <chrono>

namespace test {

// Registers the watch with the test program's listeners; call after InitGoogleTest. The
// environment's MELVOX_HANG_SECONDS, where set, replaces the deadline.
void watchForHangs(std::chrono::seconds deadline);

}  // namespace test
