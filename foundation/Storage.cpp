#include "foundation/Storage.h"

#include <algorithm>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <sstream>

#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace storage {
namespace {

namespace rapidxml = boost::property_tree::detail::rapidxml;
using Tree = boost::property_tree::wptree;

std::wstring wide(const char* text, std::size_t size) {
    return base::fromUtf8(std::string(text, size));
}

// As boost::property_tree::xml_parser::read_xml_node builds the tree, from the UTF-8 nodes.
void readNode(const rapidxml::xml_node<char>& node, Tree& tree) {
    switch (node.type()) {
        case rapidxml::node_element: {
            Tree& element = tree.push_back({wide(node.name(), node.name_size()), Tree()})->second;
            if (node.first_attribute()) {
                Tree& attributes =
                    element.push_back({boost::property_tree::xml_parser::xmlattr<std::wstring>(), Tree()})
                        ->second;
                for (const auto* attribute = node.first_attribute(); attribute;
                     attribute = attribute->next_attribute()) {
                    attributes.push_back({wide(attribute->name(), attribute->name_size()),
                                          Tree(wide(attribute->value(), attribute->value_size()))});
                }
            }
            for (const auto* child = node.first_node(); child; child = child->next_sibling())
                readNode(*child, element);
            break;
        }
        case rapidxml::node_data:
        case rapidxml::node_cdata:
            tree.data() += wide(node.value(), node.value_size());
            break;
        case rapidxml::node_comment:
            tree.push_back({boost::property_tree::xml_parser::xmlcomment<std::wstring>(),
                            Tree(wide(node.value(), node.value_size()))});
            break;
        default:
            break;
    }
}

// Parses the UTF-8 text in place, as boost::property_tree::read_xml does with a wide stream, but
// without the stream's copies of the whole text (wide text, stream buffer, parser buffer): reading
// costs the bytes, the parser's nodes and the tree.
void parseXml(std::string& bytes, Tree& tree) {
    try {
        rapidxml::xml_document<char> document;
        document.parse<rapidxml::parse_comment_nodes>(bytes.data());
        Tree read;
        for (const auto* child = document.first_node(); child; child = child->next_sibling())
            readNode(*child, read);
        tree.swap(read);
    } catch (const rapidxml::parse_error& error) {
        const long line = static_cast<long>(std::count(bytes.data(), error.where<char>(), '\n') + 1);
        throw boost::property_tree::xml_parser::xml_parser_error(error.what(), "", line);
    }
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

StateFileRead readStateFile(const std::wstring& path, boost::property_tree::wptree& tree,
                            std::size_t maximumSize) {
    tree.clear();
    try {
        if (storage::load(path, tree, maximumSize)) return StateFileRead::loaded;
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

TooLarge::TooLarge(std::size_t size, std::size_t maximumSize)
    : UserError(L"Файл слишком велик",
                L"его текст в " + std::to_wstring(size) + L" байт больше " + std::to_wstring(maximumSize) +
                    L", которые программа читает при запуске; на диске остался прежний файл. "
                    L"Сократите список, чтобы изменения сохранились") {}

std::string xmlText(const boost::property_tree::wptree& tree, std::size_t maximumSize) {
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
    std::string bytes = base::toUtf8(text.str());
    if (bytes.size() > maximumSize) throw TooLarge(bytes.size(), maximumSize);
    return bytes;
}

std::size_t writtenSize(const std::wstring& text) {
    // As boost::property_tree's writer escapes: a text of spaces alone has its first one written
    // as a character reference.
    if (!text.empty() && text.find_first_not_of(L' ') == std::wstring::npos) return text.size() + 4;
    std::size_t size = 0;
    for (const wchar_t c : text) {
        switch (c) {
            case L'\0':
                break;
            case L'<':
            case L'>':
                size += 4;
                break;
            case L'&':
                size += 5;
                break;
            case L'"':
            case L'\'':
                size += 6;
                break;
            default:
                size += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        }
    }
    return size;
}

bool withinBound(std::size_t size, std::size_t maximumSize, const std::wstring& refused,
                 const std::wstring& file, const std::wstring& advice) {
    if (size <= maximumSize) return true;
    const auto megabytes = [](std::size_t bytes) {
        return (bytes >> 20) + ((bytes & ((1u << 20) - 1)) != 0);
    };
    debug::Place("storage::withinBound")
        .warn(
            L"%1%: с этим %2% занял бы %3% МБ, а программа читает его при запуске, только пока он не больше "
            L"%4% МБ. %5%",
            refused, file, megabytes(size), megabytes(maximumSize), advice);
    return false;
}

bool save(const std::wstring& path, const boost::property_tree::wptree& tree, std::size_t maximumSize) {
    const debug::Place place("storage::save");
    place.trace(L"save: '%1%'", path);
    const base::AtomicWriteResult result = base::writeFileAtomically(path, xmlText(tree, maximumSize));
    if (result.failure == base::AtomicWriteResult::cannotOpen) {
        place.error(L"Ошибка сохранения настроек. Неверен путь к файлу настроек %1%", path);
        return false;
    }
    if (result.failure == base::AtomicWriteResult::cannotWrite) {
        throw boost::property_tree::xml_parser::xml_parser_error("write error", base::toUtf8(path), 0);
    }
    return true;
}

bool load(const std::wstring& path, boost::property_tree::wptree& tree, std::size_t maximumSize) {
    const debug::Place place("storage::load");
    place.trace(L"load: '%1%'", path);
    if (!base::pathExists(path)) {
        place.external(L"Неверен путь к файлу настроек %1%", path);
        return false;
    }
    std::string bytes;
    errno = 0;
    switch (base::readRegularFile(path, maximumSize, bytes)) {
        case base::RegularFileRead::read:
            break;
        case base::RegularFileRead::notRegular:
            place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path, L"это не обычный файл");
            return false;
        case base::RegularFileRead::tooLarge:
            place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path,
                        L"файл больше " + std::to_wstring(maximumSize) + L" байт");
            return false;
        case base::RegularFileRead::cannotOpen:
        case base::RegularFileRead::failed:
            place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path, errno);
            return false;
    }
    if (nestingDepth(bytes, kMaximumNesting) > kMaximumNesting) {
        throw boost::property_tree::xml_parser::xml_parser_error(
            "elements nested deeper than " + std::to_string(kMaximumNesting) + " levels", base::toUtf8(path),
            0);
    }
    parseXml(bytes, tree);
    // A NUL character ("&#0;") could not be written back so that this reader takes it again.
    dropNulCharacters(tree);
    return true;
}

}  // namespace storage
