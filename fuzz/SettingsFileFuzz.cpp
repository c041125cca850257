// The settings file "melvoxd.cfg": a file that reads is saved as a file that reads back and is
// saved again byte for byte the same; one that does not read is kept aside and the run starts
// without it.

#include "FuzzSupport.h"
#include "foundation/Files.h"
#include "foundation/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::clearScratch();
    const std::wstring path = fuzz::scratchFile("melvoxd.cfg");
    base::writeFile(path, fuzz::text(data, size));
    std::string saved;
    {
        pref first(path);
        if (first.isNew()) {
            fuzz::require(!base::pathExists(path), "a settings file that does not read is kept aside");
            return 0;
        }
        fuzz::require(first.save(), "settings that were read are saved");
        saved = base::readFile(path);
    }
    pref second(path);
    fuzz::require(!second.isNew(), "a saved settings file reads back");
    fuzz::require(second.save(), "settings that were read back are saved");
    fuzz::require(base::readFile(path) == saved, "settings read back are saved as they were");
    return 0;
}
