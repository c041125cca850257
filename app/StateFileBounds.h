#pragma once
// The bound of each state file of the data folder, by the file's name: what its reader takes, and
// so what its writers may write (storage::xmlText, storage::save).

#include <cstddef>
#include <string>

namespace frm {

// The bound its owner chose for the state file of that name (device_collection.xml,
// zone_collection.xml, ...); storage::kLargestStateFile for a name that is no state file.
std::size_t stateFileBound(const std::wstring& name);

}  // namespace frm
