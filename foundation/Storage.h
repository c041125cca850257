#pragma once
// The XML state files of the data folder (devices, zones, playlists, messages, scheduler
// tasks, playback choices): a wide-text property tree on disk as UTF-8 XML without a byte-
// order mark, all elements on the line after the declaration, without indentation.

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "foundation/Exceptions.h"

namespace storage {

// Deeper than any file the program writes: a file nested deeper is refused before parsing,
// since the parser descends one call per element and a hostile file would exhaust the stack.
constexpr int kMaximumNesting = 64;

// The bound of each state file's size is chosen by its owner, from what a site writes (a
// thousand loudspeakers, five hundred zones, a thousand tasks to 500 loudspeakers each, lists of a
// hundred thousand items) with room to spare, so that a file at its bound still reads within
// seconds and a bounded memory; none is larger than this. Reading a file through its tree costs
// about 5 (long texts) to 36 (short elements) times its size, read from its parsed text (XmlElement)
// a few times; the program's start with a file at its bound, its models, views and saved copy
// included, peaks at 6 (lists, schedule) to 80 (short elements through the tree) times its size
// above an empty start (bench/state_file_bench).
constexpr std::size_t kLargestStateFile = 32u << 20;

// A file's text longer than its bound: its reader would keep such a file aside, so it is never
// written and the file on disk stays as it was.
class TooLarge : public exception::UserError {
public:
    TooLarge(std::size_t size, std::size_t maximumSize);
};

// The file's bytes for the tree, as save writes them; throws TooLarge when they would be more
// than `maximumSize`, the bound its reader takes.
std::string xmlText(const boost::property_tree::wptree& tree, std::size_t maximumSize = kLargestStateFile);

// The bytes the text takes in the file that xmlText writes, as an element's text or an
// attribute's value: its UTF-8 with the characters the writer escapes. A list that grows counts
// what it would add with it, to refuse an addition that would pass its file's bound.
std::size_t writtenSize(const std::wstring& text);
// Appends the text as xmlText writes it (writtenSize bytes): for a file of many small records
// written without a tree.
void appendXmlText(std::string& out, const std::wstring& text);

// Whether a change that makes the file `size` bytes long keeps it within `maximumSize`; when it
// does not, the operator is told that the change (`refused`: "Задание не добавлено") was not made
// because of `file` ("файл заданий"), with `advice` on what to remove.
bool withinBound(std::size_t size, std::size_t maximumSize, const std::wstring& refused,
                 const std::wstring& file, const std::wstring& advice);

// Replaces the file with the tree as a whole (see base::writeFileAtomically). A path that
// cannot be written is logged and gives false; a tree whose text is larger than `maximumSize`
// throws TooLarge, and a write failure after that opening throws
// boost::property_tree::xml_parser::xml_parser_error; the file stays as it was with each.
bool save(const std::wstring& path, const boost::property_tree::wptree& tree,
          std::size_t maximumSize = kLargestStateFile);
// The same with the file's bytes made by its owner, as xmlText makes them.
bool saveText(const std::wstring& path, const std::string& bytes);

// False, with the tree untouched, when the file is missing or cannot be opened, or is no regular
// file (a link to one counts; a pipe or a device is neither waited for nor read) or larger than
// `maximumSize` bytes. A file that is not well-formed XML, or whose elements nest deeper than
// kMaximumNesting, throws boost::property_tree::xml_parser::xml_parser_error.
bool load(const std::wstring& path, boost::property_tree::wptree& tree,
          std::size_t maximumSize = kLargestStateFile);

enum class StateFileRead {
    loaded,
    missing,
    // Could not be read or parsed; renamed to NAME.broken-YYYYMMDD-HHMMSS (base::keepAside), so
    // the next save writes a new file beside it.
    keptAside,
    // Could not be read and not be renamed either: it must not be saved over in this run.
    unreadable,
};

// Reads a state file of the program into `tree` (left empty unless the result is `loaded`),
// so that a damaged file never ends the program and is never overwritten. It reads through `load`,
// which logs the file's absence; damage is an ERROR, which the operator is shown. What is no
// regular file counts as damaged; a file larger than `maximumSize` bytes is kept aside as well,
// and told as too large, with its size and the bound.
StateFileRead readStateFile(const std::wstring& path, boost::property_tree::wptree& tree,
                            std::size_t maximumSize);

// An element of a state file parsed in place, read without a tree: a file of many small records
// is read so within a few times its size, where its tree would take tens of times.
class XmlElement {
public:
    explicit XmlElement(const void* node = nullptr) : node_(node) {}
    explicit operator bool() const { return node_ != nullptr; }
    bool named(const char* name) const;
    std::wstring name() const;
    // The first child element, and the element after this one among its parent's; none at the end.
    XmlElement firstChild() const;
    XmlElement next() const;
    // The first attribute of that name as the tree would hold it; none when there is none.
    std::optional<std::wstring> attribute(const char* name) const;
    // What the element holds as the tree would hold it: its attributes, texts, comments and
    // elements; for a record to keep as it was read.
    boost::property_tree::wptree tree() const;

private:
    const void* node_;
};

// Reads the state file as readStateFile does, but hands its document, parsed in place, to `read`
// (its children are the top elements) instead of making a tree.
StateFileRead readStateFile(const std::wstring& path, std::size_t maximumSize,
                            const std::function<void(const XmlElement& document)>& read);

// Keeps aside a state file that was read but cannot be used (`why` tells the operator what is
// wrong with it), as readStateFile does with one that does not parse: `keptAside`, or
// `unreadable` when it could not be renamed.
StateFileRead keepAsideDamaged(const std::wstring& path, const std::wstring& why);

// The deepest element nesting of the XML text, found by a scan that skips comments, CDATA
// sections, processing instructions and declarations and respects quoted attribute values.
// It stops counting once `limit` is exceeded and then returns limit + 1.
int nestingDepth(const std::string& text, int limit);

}  // namespace storage
