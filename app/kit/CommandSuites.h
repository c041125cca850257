#pragma once
// The saved command suites of the direct command exchange: one UTF-8 text file per suite, one
// command a line, named after the suite, in a folder of the data folder.

#include <string>
#include <vector>

namespace frm::suites {

// "<data folder>/commands".
std::wstring folder();

// A name that is a file name of its own: 1 to 64 printable characters, none of \ / : * ? " < > |,
// not beginning with a dot.
bool validName(const std::wstring& name);
// The suites of the folder, in name order.
std::vector<std::wstring> names(const std::wstring& folder);
// Writes the suite (the folder is made when missing); exception::ExternalError when it cannot.
void save(const std::wstring& folder, const std::wstring& name, const std::vector<std::wstring>& commands);
// The commands of a suite, empty lines left out; exception::ExternalError when it cannot be read.
std::vector<std::wstring> load(const std::wstring& folder, const std::wstring& name);
void remove(const std::wstring& folder, const std::wstring& name);

}  // namespace frm::suites
