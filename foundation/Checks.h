#pragma once
// Consistency checks. `place` is the calling function's qualified name.

#include <cstdint>
#include <vector>

namespace debug {

// Throws exception::ServerError when the condition is false.
void throwIfFalse(bool condition, const char* place);
// Logs a warning when the condition is false.
void warnIfFalse(bool condition, const char* place);

// The terminating checks log at FATAL, write out the log and throw exception::StopProgram.
[[noreturn]] void terminateNull(const char* place);
[[noreturn]] void terminateOutOfRange(std::int64_t size, std::int64_t index, const char* place);

template <class Pointer>
void terminateIfNull(const Pointer& pointer, const char* place) {
    if (pointer == nullptr) terminateNull(place);
}

template <class T, class A>
void terminateIfOutOfRange(const std::vector<T, A>& container, std::uint32_t index, const char* place) {
    if (index >= container.size()) terminateOutOfRange(static_cast<std::int64_t>(container.size()), index, place);
}

void terminateIfOutOfRange(std::int32_t count, std::int32_t index, const char* place);

}  // namespace debug

namespace error {

enum class LegacyFault { nullPointer, empty, outOfRange };
[[noreturn]] void legacyTerminate(LegacyFault fault, std::uint64_t size, std::uint64_t index, const char* place);

template <class Pointer>
void legacy_terminateIfNull(const Pointer& pointer, const char* place) {
    if (pointer == nullptr) legacyTerminate(LegacyFault::nullPointer, 0, 0, place);
}

template <class Container>
void legacy_terminateIfEmpty(const Container& container, const char* place) {
    if (container.empty()) legacyTerminate(LegacyFault::empty, 0, 0, place);
}

template <class T, class A>
void legacy_terminateIfOutOfRange(const std::vector<T, A>& container, std::uint32_t index, const char* place) {
    if (index >= container.size()) legacyTerminate(LegacyFault::outOfRange, container.size(), index, place);
}

}  // namespace error
