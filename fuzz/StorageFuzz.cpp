// The XML state files: a file that reads is saved as a file that reads back and is saved again
// byte for byte the same; one that does not read is kept aside.

#include "FuzzSupport.h"
#include "foundation/Files.h"
#include "foundation/Storage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr const char* name = "zone_collection.xml";
    boost::property_tree::wptree tree;
    if (!fuzz::readStateFile(name, data, size, storage::kLargestStateFile, tree)) return 0;
    const boost::property_tree::wptree first = fuzz::saveAndReload(name, tree);
    const std::string saved = base::readFile(fuzz::scratchFile(name));
    fuzz::saveAndReload(name, first);
    fuzz::require(base::readFile(fuzz::scratchFile(name)) == saved,
                  "a state file read back is saved as it was");
    return 0;
}
