#pragma once
// What the fuzz programs share: the input as text, its pieces, checks whose failure is a
// finding (libFuzzer keeps the input that broke one), and scratch files for the programs that
// read files.

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The text cut at every `separator`, at most `most` pieces (the last one keeps the rest).
std::vector<std::string> pieces(std::string_view text, char separator, std::size_t most);

// Ends the run as a crash with the broken expectation, so that the input is kept.
[[noreturn]] void fail(const char* expectation);
inline void require(bool condition, const char* expectation) {
    if (!condition) fail(expectation);
}

// A path in a folder of this process that is removed at its end.
std::wstring scratchFile(const char* name);
// Empties that folder, so that what one input left (files kept aside) does not meet the next.
void clearScratch();

// The input as the state file `name` in an emptied folder, read as the program reads its state
// files: true when it was taken; one that was not must have been kept aside.
bool readStateFile(const char* name, const std::uint8_t* data, std::size_t size, std::size_t maximumSize,
                   boost::property_tree::wptree& tree);
// Saves the tree as that state file and reads it back: a saved file that is refused is a finding.
boost::property_tree::wptree saveAndReload(const char* name, const boost::property_tree::wptree& tree);

}  // namespace fuzz
