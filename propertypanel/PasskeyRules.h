#pragma once
// What the access-key page shows, decided without the window: a key's row and the access-control
// switch.

#include <cstddef>
#include <string>

namespace frm::passkey {

struct KeyRow {
    std::wstring number;
    std::wstring key;
    std::wstring name;
};
// The key at `position` of the console's list, counted from 1.
KeyRow keyRow(std::size_t position, const std::string& key);

// Access control is on only while the setting is on and keys are stored: without keys nobody
// could unlock the console.
bool accessControl(bool setting, std::size_t keys);
std::wstring accessLabel(bool on);

}  // namespace frm::passkey
