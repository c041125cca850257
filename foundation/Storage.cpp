#include "foundation/Storage.h"

#include <algorithm>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <sstream>

#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace storage {
namespace {

// The whole file, or false with errno telling why.
bool readBytes(const std::wstring& path, std::string& bytes) {
    errno = 0;
    std::ifstream in(base::toUtf8(path), std::ios::binary);
    if (!in) return false;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

void dropNulCharacters(boost::property_tree::wptree& tree) {
    std::wstring& data = tree.data();
    data.erase(std::remove(data.begin(), data.end(), L'\0'), data.end());
    // Element names cannot carry a character reference, so only the texts can hold a NUL.
    for (auto& child : tree) dropNulCharacters(child.second);
}

bool holdsNulCharacter(const boost::property_tree::wptree& tree) {
    if (tree.data().find(L'\0') != std::wstring::npos) return true;
    for (const auto& child : tree) {
        if (holdsNulCharacter(child.second)) return true;
    }
    return false;
}

// Renames the file; where it went is for the log only, the operator was told of the damage.
StateFileRead keepAsideLogged(const std::wstring& path) {
    const debug::Place place("storage::readStateFile");
    const std::wstring aside = base::keepAside(path);
    if (aside.empty()) {
        place.external(L"Файл '%1%' повреждён и не может быть переименован; он не будет перезаписан", path);
        return StateFileRead::unreadable;
    }
    place.external(L"Файл '%1%' повреждён и сохранён как '%2%'", path, aside);
    return StateFileRead::keptAside;
}

}  // namespace

StateFileRead readStateFile(const std::wstring& path, boost::property_tree::wptree& tree) {
    tree.clear();
    try {
        if (storage::load(path, tree)) return StateFileRead::loaded;
        if (!base::pathExists(path)) return StateFileRead::missing;
        // It could not be opened: load has told the operator why.
    } catch (const std::exception& error) {
        tree.clear();
        return keepAsideDamaged(path, base::fromUtf8(error.what()));
    }
    tree.clear();
    return keepAsideLogged(path);
}

StateFileRead keepAsideDamaged(const std::wstring& path, const std::wstring& why) {
    debug::Place("storage::readStateFile").error(L"Ошибка открытия настроек '%1%'. (%2%)", path, why);
    return keepAsideLogged(path);
}

int nestingDepth(const std::string& text, int limit) {
    const std::size_t size = text.size();
    std::size_t at = 0;
    const auto skipPast = [&](const char* end) {
        const std::size_t found = text.find(end, at);
        at = found == std::string::npos ? size : found + std::strlen(end);
    };
    int depth = 0;
    int deepest = 0;
    while (at < size) {
        const std::size_t open = text.find('<', at);
        if (open == std::string::npos) break;
        at = open + 1;
        if (text.compare(at, 3, "!--") == 0) {
            skipPast("-->");
        } else if (text.compare(at, 8, "![CDATA[") == 0) {
            skipPast("]]>");
        } else if (at < size && text[at] == '?') {
            skipPast("?>");
        } else if (at < size && text[at] == '!') {
            skipPast(">");
        } else if (at < size && text[at] == '/') {
            if (depth > 0) --depth;
            skipPast(">");
        } else {
            char quote = 0;
            bool selfClosing = false;
            for (; at < size; ++at) {
                const char c = text[at];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    selfClosing = text[at - 1] == '/';
                    ++at;
                    break;
                }
            }
            if (!selfClosing && ++depth > deepest) {
                deepest = depth;
                if (deepest > limit) return limit + 1;
            }
        }
    }
    return deepest;
}

std::string xmlText(const boost::property_tree::wptree& tree) {
    // Nothing goes to the file that the reader would refuse: text outside the root element
    // (written bare) and NUL characters (written raw). Only a tree that holds such text is
    // copied to be cleaned: a state file's tree may be large.
    std::optional<boost::property_tree::wptree> cleaned;
    if (!tree.data().empty() || holdsNulCharacter(tree)) {
        cleaned = tree;
        cleaned->data().clear();
        dropNulCharacters(*cleaned);
    }
    const boost::property_tree::wptree& writable = cleaned ? *cleaned : tree;
    std::wostringstream text;
    boost::property_tree::write_xml(
        text, writable, boost::property_tree::xml_writer_make_settings<std::wstring>(L' ', 0, L"utf-8"));
    return base::toUtf8(text.str());
}

bool save(const std::wstring& path, const boost::property_tree::wptree& tree) {
    const debug::Place place("storage::save");
    place.trace(L"save: '%1%'", path);
    const base::AtomicWriteResult result = base::writeFileAtomically(path, xmlText(tree));
    if (result.failure == base::AtomicWriteResult::cannotOpen) {
        place.error(L"Ошибка сохранения настроек. Неверен путь к файлу настроек %1%", path);
        return false;
    }
    if (result.failure == base::AtomicWriteResult::cannotWrite) {
        throw boost::property_tree::xml_parser::xml_parser_error("write error", base::toUtf8(path), 0);
    }
    return true;
}

bool load(const std::wstring& path, boost::property_tree::wptree& tree) {
    const debug::Place place("storage::load");
    place.trace(L"load: '%1%'", path);
    if (!base::pathExists(path)) {
        place.external(L"Неверен путь к файлу настроек %1%", path);
        return false;
    }
    std::string bytes;
    if (!readBytes(path, bytes)) {
        place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path, errno);
        return false;
    }
    if (nestingDepth(bytes, kMaximumNesting) > kMaximumNesting) {
        throw boost::property_tree::xml_parser::xml_parser_error(
            "elements nested deeper than " + std::to_string(kMaximumNesting) + " levels", base::toUtf8(path),
            0);
    }
    std::wistringstream text(base::fromUtf8(bytes));
    boost::property_tree::read_xml(text, tree);
    // A NUL character ("&#0;") could not be written back so that this reader takes it again.
    dropNulCharacters(tree);
    return true;
}

}  // namespace storage
