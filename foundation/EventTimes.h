#pragma once
// Four process-wide event times and a flag that can explain why a thread slept far longer than
// it asked to: the machine was put to sleep, or has just woken. A sleep that they explain is
// plausible; any other is a fault of the clock or of the system. This program records none of
// them, so the check answers false until something records them.

#include <cstdint>

namespace os {

inline constexpr unsigned kEventCount = 4;

// The time of event 0 to 3 in 100-ns ticks of the system clock (UTC, from 1970-01-01); 0 when
// it was never recorded. Another number is an internal fault (exception::ServerError).
std::int64_t getEventTime(unsigned event);
// True when the flag is set and now is more than 120 s past event 2, or when now is at most
// 180 s past event 3.
bool checkEventTimes();

void setEventTime(unsigned event, std::int64_t ticks);
void setEventFlag(bool set);
// Now, in the ticks of the event times, as the clock seam tells it.
std::int64_t eventTicksNow();

}  // namespace os
