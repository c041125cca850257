#pragma once
// Checks of texts typed by the operator or read from files; the whole text must match.

#include <string>

namespace base {

// 1 to 64 characters, each printable ASCII, a Cyrillic letter А-Я or а-я, or '№': the names
// that the devices' audio memory can hold.
bool isValidName(const std::wstring& text);
// One or more hexadecimal digits of either case.
bool isHexText(const std::string& text);
// "YYYY-MM-DD" with a year from 2000 to 2100, a month up to 12 and a day up to 31. Month
// and day 0 pass, and the day is not checked against the month.
bool isDateText(const std::wstring& text);
// "H:MM" or "H:MM:SS" (one or two hour digits) with hours below 24, minutes and seconds
// below 60.
bool isTimeText(const std::wstring& text);

}  // namespace base
