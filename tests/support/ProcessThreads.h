#pragma once
// The threads of the test program as the system shows them: by the name a thread gave itself,
// and what it waits for.

#include <set>
#include <string>

namespace test {

// The ids of the program's threads of that name (as the system keeps it: 15 characters at most).
std::set<std::string> threadsNamed(const std::string& name);

// Whether the thread of that id is blocked in the system waiting for a descriptor (poll); a
// thread that runs is not.
bool blockedInPoll(const std::string& thread);
// Whether the thread of that id is blocked in the system on a lock or a condition (a futex).
bool blockedOnLock(const std::string& thread);
// The id of the calling thread, as threadsNamed gives it.
std::string currentThread();

}  // namespace test
