#include "FuzzSupport.h"

#include <boost/property_tree/xml_parser.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "foundation/Files.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "support/TempFolder.h"

namespace fuzz {

std::vector<std::string> pieces(std::string_view text, char separator, std::size_t most) {
    std::vector<std::string> result;
    while (result.size() + 1 < most) {
        const std::size_t end = text.find(separator);
        if (end == std::string_view::npos) break;
        result.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    result.emplace_back(text);
    return result;
}

void fail(const char* expectation) {
    std::fprintf(stderr, "fuzz check failed: %s\n", expectation);
    std::abort();
}

namespace {

const test::TempFolder& scratchFolder() {
    // Destroyed at exit, which removes the folder with everything in it.
    static const test::TempFolder folder;
    return folder;
}

}  // namespace

std::wstring scratchFile(const char* name) {
    return base::fromUtf8(scratchFolder().file(name));
}

void clearScratch() {
    for (const auto& entry : std::filesystem::directory_iterator(scratchFolder().path()))
        std::filesystem::remove_all(entry.path());
}

bool readStateFile(const char* name, const std::uint8_t* data, std::size_t size, std::size_t maximumSize,
                   boost::property_tree::wptree& tree) {
    clearScratch();
    const std::wstring path = scratchFile(name);
    base::writeFile(path, text(data, size));
    const storage::StateFileRead read = storage::readStateFile(path, tree, maximumSize);
    if (read == storage::StateFileRead::loaded) return true;
    require(read == storage::StateFileRead::keptAside && !base::pathExists(path),
            "a state file that does not read is kept aside");
    return false;
}

boost::property_tree::wptree saveAndReload(const char* name, const boost::property_tree::wptree& tree) {
    const std::wstring path = scratchFile(name);
    storage::save(path, tree);
    boost::property_tree::wptree again;
    try {
        require(storage::load(path, again), "a saved state file opens");
    } catch (const boost::property_tree::xml_parser::xml_parser_error&) {
        fail("a saved state file reads back");
    }
    return again;
}

}  // namespace fuzz
