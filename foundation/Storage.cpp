#include "foundation/Storage.h"

#include <algorithm>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
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

void readNode(const rapidxml::xml_node<char>& node, Tree& tree);

// What the element holds, as readNode puts it below the element's name.
void readElement(const rapidxml::xml_node<char>& node, Tree& element) {
    if (node.first_attribute()) {
        Tree& attributes =
            element.push_back({boost::property_tree::xml_parser::xmlattr<std::wstring>(), Tree()})->second;
        for (const auto* attribute = node.first_attribute(); attribute;
             attribute = attribute->next_attribute()) {
            attributes.push_back({wide(attribute->name(), attribute->name_size()),
                                  Tree(wide(attribute->value(), attribute->value_size()))});
        }
    }
    for (const auto* child = node.first_node(); child; child = child->next_sibling())
        readNode(*child, element);
}

// As boost::property_tree::xml_parser::read_xml_node builds the tree, from the UTF-8 nodes.
void readNode(const rapidxml::xml_node<char>& node, Tree& tree) {
    switch (node.type()) {
        case rapidxml::node_element:
            readElement(node, tree.push_back({wide(node.name(), node.name_size()), Tree()})->second);
            break;
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

boost::property_tree::xml_parser::xml_parser_error parseError(const std::string& bytes,
                                                              const rapidxml::parse_error& error) {
    const char* const where = error.where<char>();
    const long line = static_cast<long>(std::count(bytes.data(), where, '\n') + 1);
    return boost::property_tree::xml_parser::xml_parser_error(error.what(), "", line);
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
        throw parseError(bytes, error);
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

std::wstring tooLargeText(const std::wstring& path, std::size_t size, std::size_t maximumSize) {
    return L"Файл '" + path + L"' слишком велик: " + std::to_wstring(size) +
           L" байт, а программа читает его при запуске, только пока он не больше " +
           std::to_wstring(maximumSize) + L" байт";
}

// A whole file past its bound is no damage: the operator is told its size, the bound and where
// it went, since what it holds is missing from the window.
StateFileRead keepAsideTooLarge(const std::wstring& path, std::size_t size, std::size_t maximumSize) {
    const debug::Place place("storage::readStateFile");
    const std::wstring aside = base::keepAside(path);
    if (aside.empty()) {
        place.error(L"%1%. Переименовать его не удалось; он не будет перезаписан",
                    tooLargeText(path, size, maximumSize));
        return StateFileRead::unreadable;
    }
    place.error(L"%1%. Он сохранён как '%2%'", tooLargeText(path, size, maximumSize), aside);
    return StateFileRead::keptAside;
}

enum class Bytes {
    read,
    missing,
    tooLarge,
    // Could not be opened or read, or is no regular file: told.
    unreadable,
};

// The file's bytes within the bound, as load reads them; `size` is that of a file too large.
Bytes readBytes(const std::wstring& path, std::size_t maximumSize, std::string& bytes, std::size_t& size) {
    const debug::Place place("storage::load");
    place.trace(L"load: '%1%'", path);
    if (!base::pathExists(path)) {
        place.external(L"Неверен путь к файлу настроек %1%", path);
        return Bytes::missing;
    }
    errno = 0;
    switch (base::readRegularFile(path, maximumSize, bytes)) {
        case base::RegularFileRead::read:
            return Bytes::read;
        case base::RegularFileRead::notRegular:
            place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path, L"это не обычный файл");
            return Bytes::unreadable;
        case base::RegularFileRead::tooLarge: {
            std::error_code error;
            const auto onDisk = std::filesystem::file_size(base::toUtf8(path), error);
            // One that grew past the bound while it was read is past it.
            size = error ? maximumSize + 1 : std::max<std::size_t>(onDisk, maximumSize + 1);
            return Bytes::tooLarge;
        }
        case base::RegularFileRead::cannotOpen:
        case base::RegularFileRead::failed:
            break;
    }
    place.error(L"Ошибка открытия настроек '%1%'. (%2%)", path, errno);
    return Bytes::unreadable;
}

// Refuses, before parsing, what the parser would descend into too deeply.
void checkNesting(const std::string& bytes, const std::wstring& path) {
    if (nestingDepth(bytes, kMaximumNesting) > kMaximumNesting) {
        throw boost::property_tree::xml_parser::xml_parser_error(
            "elements nested deeper than " + std::to_string(kMaximumNesting) + " levels", base::toUtf8(path),
            0);
    }
}

// Reads the bytes of a state file and hands them to `parse`; what does not read is kept aside.
StateFileRead readStateBytes(const std::wstring& path, std::size_t maximumSize,
                             const std::function<void(std::string& bytes)>& parse) {
    std::string bytes;
    std::size_t size = 0;
    try {
        switch (readBytes(path, maximumSize, bytes, size)) {
            case Bytes::read:
                checkNesting(bytes, path);
                parse(bytes);
                return StateFileRead::loaded;
            case Bytes::missing:
                return StateFileRead::missing;
            case Bytes::tooLarge:
                return keepAsideTooLarge(path, size, maximumSize);
            case Bytes::unreadable:
                break;
        }
    } catch (const std::exception& error) {
        return keepAsideDamaged(path, base::fromUtf8(error.what()));
    }
    // It could not be opened: readBytes has told the operator why.
    return keepAsideLogged(path);
}

using Node = rapidxml::xml_node<char>;

const Node* nodeOf(const void* node) {
    return static_cast<const Node*>(node);
}

const Node* elementFrom(const Node* node) {
    while (node && node->type() != rapidxml::node_element) node = node->next_sibling();
    return node;
}

bool sameName(const char* name, std::size_t size, const char* wanted) {
    return std::strlen(wanted) == size && std::memcmp(name, wanted, size) == 0;
}

}  // namespace

StateFileRead readStateFile(const std::wstring& path, boost::property_tree::wptree& tree,
                            std::size_t maximumSize) {
    tree.clear();
    const StateFileRead read = readStateBytes(path, maximumSize, [&](std::string& bytes) {
        parseXml(bytes, tree);
        // A NUL character ("&#0;") could not be written back so that this reader takes it again.
        dropNulCharacters(tree);
    });
    if (read != StateFileRead::loaded) tree.clear();
    return read;
}

StateFileRead readStateFile(const std::wstring& path, std::size_t maximumSize,
                            const std::function<void(const XmlElement& document)>& read) {
    return readStateBytes(path, maximumSize, [&](std::string& bytes) {
        rapidxml::xml_document<char> document;
        try {
            document.parse<rapidxml::parse_comment_nodes>(bytes.data());
        } catch (const rapidxml::parse_error& error) {
            throw parseError(bytes, error);
        }
        read(XmlElement(static_cast<const Node*>(&document)));
    });
}

bool XmlElement::named(const char* name) const {
    return node_ && sameName(nodeOf(node_)->name(), nodeOf(node_)->name_size(), name);
}

std::wstring XmlElement::name() const {
    return node_ ? wide(nodeOf(node_)->name(), nodeOf(node_)->name_size()) : std::wstring();
}

Tree XmlElement::tree() const {
    Tree element;
    if (node_) readElement(*nodeOf(node_), element);
    // As the whole file's tree is read.
    dropNulCharacters(element);
    return element;
}

XmlElement XmlElement::firstChild() const {
    return XmlElement(node_ ? elementFrom(nodeOf(node_)->first_node()) : nullptr);
}

XmlElement XmlElement::next() const {
    return XmlElement(node_ ? elementFrom(nodeOf(node_)->next_sibling()) : nullptr);
}

std::optional<std::wstring> XmlElement::attribute(const char* name) const {
    if (!node_) return std::nullopt;
    for (const auto* found = nodeOf(node_)->first_attribute(); found; found = found->next_attribute()) {
        if (!sameName(found->name(), found->name_size(), name)) continue;
        std::wstring text = wide(found->value(), found->value_size());
        text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
        return text;
    }
    return std::nullopt;
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

namespace {

// The characters that boost::property_tree's writer escapes, and what it writes for each.
const char* escaped(wchar_t c) {
    switch (c) {
        case L'<':
            return "&lt;";
        case L'>':
            return "&gt;";
        case L'&':
            return "&amp;";
        case L'"':
            return "&quot;";
        case L'\'':
            return "&apos;";
        default:
            return nullptr;
    }
}

// A text of spaces alone (NUL characters aside) has its first space written as a reference.
bool spacesAlone(const std::wstring& text) {
    bool spaces = false;
    for (const wchar_t c : text) {
        if (c == L'\0') continue;
        if (c != L' ') return false;
        spaces = true;
    }
    return spaces;
}

// The code point base::toUtf8 writes for the character.
unsigned long codePoint(wchar_t c) {
    const auto point = static_cast<unsigned long>(c);
    return (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF ? 0xFFFD : point;
}

constexpr const char* kSpaceReference = "&#32;";

}  // namespace

// As xmlText writes a text: NUL characters dropped (the tree is cleaned of them first), the
// characters escaped as boost::property_tree's writer escapes them, in UTF-8 as base::toUtf8
// writes it.
std::size_t writtenSize(const std::wstring& text) {
    std::size_t size = 0;
    for (const wchar_t c : text) {
        if (c == L'\0') continue;
        const char* const reference = escaped(c);
        const unsigned long point = codePoint(c);
        size += reference         ? std::strlen(reference)
                : point < 0x80    ? 1
                : point < 0x800   ? 2
                : point < 0x10000 ? 3
                                  : 4;
    }
    if (spacesAlone(text)) size += std::strlen(kSpaceReference) - 1;
    return size;
}

void appendXmlText(std::string& out, const std::wstring& text) {
    // Written through a buffer of the stack: a list's file takes millions of characters a second.
    char buffer[1024];
    char* at = buffer;
    const auto put = [&](unsigned long byte) { *at++ = static_cast<char>(byte); };
    bool first = spacesAlone(text);
    for (const wchar_t c : text) {
        if (at > buffer + sizeof buffer - 8) {
            out.append(buffer, static_cast<std::size_t>(at - buffer));
            at = buffer;
        }
        if (c == L'\0') continue;
        const unsigned long point = codePoint(c);
        const char* const reference = first ? kSpaceReference : point < 0x80 ? escaped(c) : nullptr;
        first = false;
        if (reference) {
            for (const char* byte = reference; *byte; ++byte) put(static_cast<unsigned char>(*byte));
        } else if (point < 0x80) {
            put(point);
        } else if (point < 0x800) {
            put(0xC0 | (point >> 6));
            put(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            put(0xE0 | (point >> 12));
            put(0x80 | ((point >> 6) & 0x3F));
            put(0x80 | (point & 0x3F));
        } else {
            put(0xF0 | (point >> 18));
            put(0x80 | ((point >> 12) & 0x3F));
            put(0x80 | ((point >> 6) & 0x3F));
            put(0x80 | (point & 0x3F));
        }
    }
    out.append(buffer, static_cast<std::size_t>(at - buffer));
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
    return saveText(path, xmlText(tree, maximumSize));
}

bool saveText(const std::wstring& path, const std::string& bytes) {
    const debug::Place place("storage::save");
    place.trace(L"save: '%1%'", path);
    const base::AtomicWriteResult result = base::writeFileAtomically(path, bytes);
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
    std::string bytes;
    std::size_t size = 0;
    switch (readBytes(path, maximumSize, bytes, size)) {
        case Bytes::read:
            break;
        case Bytes::tooLarge:
            debug::Place("storage::load").error(L"%1%", tooLargeText(path, size, maximumSize));
            return false;
        case Bytes::missing:
        case Bytes::unreadable:
            return false;
    }
    checkNesting(bytes, path);
    parseXml(bytes, tree);
    // A NUL character ("&#0;") could not be written back so that this reader takes it again.
    dropNulCharacters(tree);
    return true;
}

}  // namespace storage
