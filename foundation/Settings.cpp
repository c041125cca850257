#include "foundation/Settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "foundation/Checks.h"
#include "foundation/DataFolders.h"
#include "foundation/DebugOutput.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace {

constexpr unsigned short kTabWidth = 4;

std::vector<std::string> splitKey(const std::string& key) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (true) {
        const std::size_t dot = key.find('.', begin);
        parts.push_back(key.substr(begin, dot == std::string::npos ? std::string::npos : dot - begin));
        if (dot == std::string::npos) return parts;
        begin = dot + 1;
    }
}

libconfig::Setting* memberOf(libconfig::Setting& group, const std::string& name) {
    if (!group.isGroup() || !group.exists(name)) return nullptr;
    return &group[name.c_str()];
}

std::string serialise(const libconfig::Config& config) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) throw std::runtime_error("open_memstream failed");
    config.write(stream);
    const bool flushed = std::fclose(stream) == 0;
    std::string text(buffer ? buffer : "", buffer ? size : 0);
    std::free(buffer);
    if (!flushed) throw std::runtime_error("the settings text is incomplete");
    return text;
}

template <class T>
T valueOf(const libconfig::Setting& setting) {
    if constexpr (std::is_same_v<T, std::string>) {
        return setting.c_str();
    } else {
        return static_cast<T>(setting);
    }
}

template <class T>
T getOrCreate(pref& store, const std::string& key, pref::Type type, const T& fallback) {
    auto guard = store.lock();
    if (libconfig::Setting* found = store.find(key, type)) return valueOf<T>(*found);
    store.create(key, type) = fallback;
    return fallback;
}

template <class T>
void assign(const char* place, const std::string& key, pref::Type type, const T& value) {
    base::SingletonSlot<pref>::Use store(pref::instanceSlot());
    debug::terminateIfNull(store.get(), place);
    if constexpr (std::is_same_v<T, std::string>) {
        if (value.size() > setting::longestText(key)) {
            debug::Place(place).warn(L"Настройка '%1%' длиннее %2% байт и не сохранена", base::widen(key),
                                     setting::longestText(key));
            return;
        }
    }
    auto guard = store->lock();
    store->create(key, type) = value;
    store->countSet();
}

template <class T>
T getFromInstance(const char* place, const std::string& key, pref::Type type, const T& fallback) {
    base::SingletonSlot<pref>::Use store(pref::instanceSlot());
    debug::terminateIfNull(store.get(), place);
    return getOrCreate(*store.get(), key, type, fallback);
}

}  // namespace

pref::pref(const std::wstring& path) {
    path_ = base::toUtf8(path);
    if (path_.empty()) return;
    // A save that was killed halfway left its temporary beside the file.
    base::removeStaleTemporaries(base::fromUtf8(std::filesystem::path(path_).parent_path().string()));
    config_.setTabWidth(kTabWidth);
    if (base::pathExists(path)) readFile();
}

// The program's keys lie at most three groups deep. The writer indents each level, so that a file
// nested deeper would be written back larger with the square of its depth.
constexpr int kDeepestGroup = 16;

// Values not to keep, dropped so that the readers take their defaults: numbers beyond the finite,
// which the writer could not write back so that the reader takes them again ("1e999" reads as
// infinity and would be written as "inf.0"), and texts longer than their key can mean. False, with
// the walk stopped, when a group or list lies deeper than kDeepestGroup.
static bool dropValuesNotToKeep(libconfig::Setting& group, const std::string& path, int depth) {
    if (depth > kDeepestGroup) return false;
    const debug::Place place("pref::readFile");
    for (int i = group.getLength() - 1; i >= 0; --i) {
        libconfig::Setting& member = group[i];
        const char* own = member.getName();
        const std::string name = path + (path.empty() ? "" : ".") + (own ? own : std::to_string(i));
        if (member.isAggregate()) {
            if (!dropValuesNotToKeep(member, name, depth + 1)) return false;
        } else if (member.getType() == libconfig::Setting::TypeFloat && !std::isfinite(double(member))) {
            place.warn(L"Настройка '%1%' не является конечным числом и не прочитана", base::fromUtf8(name));
            group.remove(static_cast<unsigned>(i));
        } else if (member.getType() == libconfig::Setting::TypeString &&
                   std::strlen(member.c_str()) > setting::longestText(name)) {
            place.warn(L"Настройка '%1%' длиннее %2% байт и не прочитана", base::fromUtf8(name),
                       setting::longestText(name));
            group.remove(static_cast<unsigned>(i));
        }
    }
    return true;
}

// libconfig opens the file that a line "@include" names, as it is, without a bound: the program
// writes no such line, and a file with one is refused.
static bool includesAnotherFile(const std::string& text) {
    for (std::size_t line = 0; line < text.size();) {
        const std::size_t start = text.find_first_not_of(" \t", line);
        if (start != std::string::npos && text.compare(start, 8, "@include") == 0) return true;
        const std::size_t end = text.find('\n', line);
        if (end == std::string::npos) break;
        line = end + 1;
    }
    return false;
}

void pref::readFile() {
    std::string text;
    errno = 0;
    switch (base::readRegularFile(base::fromUtf8(path_), kLargestFile, text)) {
        case base::RegularFileRead::read:
            break;
        case base::RegularFileRead::notRegular:
            return keepUnreadableFileAside(L"это не обычный файл");
        case base::RegularFileRead::tooLarge:
            return keepUnreadableFileAside(L"файл больше " + std::to_wstring(kLargestFile) + L" байт");
        case base::RegularFileRead::cannotOpen:
        case base::RegularFileRead::failed:
            return keepUnreadableFileAside(base::widen(os::errorText(errno)));
    }
    if (includesAnotherFile(text)) return keepUnreadableFileAside(L"в нём есть строка @include");
    // The library takes the text up to its first NUL byte: what follows must not be lost by a save.
    if (text.find('\0') != std::string::npos) return keepUnreadableFileAside(L"в нём есть нулевой байт");
    std::wstring failure;
    try {
        config_.readString(text);
        if (!dropValuesNotToKeep(config_.getRoot(), std::string(), 0)) {
            failure = L"группы вложены глубже " + std::to_wstring(kDeepestGroup) + L" уровней";
        } else if (serialise(config_).size() > kLargestWrittenBack) {
            failure = L"записанные заново, его настройки заняли бы больше " +
                      std::to_wstring(kLargestWrittenBack) + L" байт";
        } else {
            isNew_ = false;
            return;
        }
    } catch (const libconfig::ParseException& error) {
        failure = base::fromUtf8(std::string(error.getError()) + ", line " + std::to_string(error.getLine()));
    } catch (const std::exception& error) {
        failure = base::fromUtf8(error.what());
    }
    // The library may have kept part of the tree; a first start begins with none.
    libconfig::Setting& root = config_.getRoot();
    while (root.getLength() > 0) root.remove(0u);
    keepUnreadableFileAside(failure);
}

// The file is kept rather than deleted, so that a damaged file (and the passwords in it)
// can still be repaired by hand. The start tells the operator, with what the run lacks.
void pref::keepUnreadableFileAside(const std::wstring& reason) {
    const debug::Place place("pref::pref");
    unreadReason_ = reason;
    keptAs_ = base::keepAside(base::fromUtf8(path_));
    if (!keptAs_.empty()) {
        place.important(L"Файл настроек '%1%' не прочитан (%2%), он сохранён как '%3%'",
                        base::fromUtf8(path_), reason, keptAs_);
    } else {
        place.important(L"Файл настроек '%1%' не прочитан (%2%) и не может быть переименован",
                        base::fromUtf8(path_), reason);
    }
}

std::wstring pref::defaultPath() {
    return os::joinPath(os::getApplicationDataDirectory(), L"melvoxd.cfg");
}

base::SingletonSlot<pref>& pref::instanceSlot() {
    static base::SingletonSlot<pref> slot;
    return slot;
}

libconfig::Setting* pref::find(const std::string& key, Type type) {
    auto guard = lock();
    const std::vector<std::string> parts = splitKey(key);
    libconfig::Setting* current = &config_.getRoot();
    for (const std::string& part : parts) {
        current = memberOf(*current, part);
        if (current == nullptr) return nullptr;
    }
    return current->getType() == type ? current : nullptr;
}

libconfig::Setting& pref::create(const std::string& key, Type type) {
    auto guard = lock();
    const std::vector<std::string> parts = splitKey(key);
    libconfig::Setting* group = &config_.getRoot();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        libconfig::Setting* member = memberOf(*group, parts[i]);
        if (member != nullptr && member->isGroup()) {
            group = member;
            continue;
        }
        if (member != nullptr) {
            // A hand-edited file may hold a value where the key needs a group.
            debug::Place("pref::create")
                .warn(L"Настройка '%1%' заменена группой", base::widen(member->getPath()));
            group->remove(parts[i]);
        }
        group = &group->add(parts[i], Type::TypeGroup);
    }
    const std::string& name = parts.back();
    if (libconfig::Setting* leaf = memberOf(*group, name)) {
        if (leaf->getType() == type) return *leaf;
        group->remove(name);
    }
    return group->add(name, type);
}

bool pref::save() {
    auto guard = lock();
    if (keepsFileAsIs()) {
        debug::Place("pref::save")
            .error(L"Настройки не сохранены: файл '%1%' не прочитан и оставлен как есть",
                   base::fromUtf8(path_));
        return false;
    }
    std::wstring failure = L"unknown exception";
    try {
        const base::AtomicWriteResult result = base::writeFileAtomically(base::fromUtf8(path_), text());
        if (result.ok()) return true;
        debug::outputLine("pref::save(). Caught exception in pref::save()");
        debug::outputLine(std::string("FileIOException: ") + std::strerror(result.systemError));
        failure = base::widen(os::errorText(result.systemError));
    } catch (const std::exception& error) {
        debug::outputLine("pref::save(). Caught exception in pref::save()");
        debug::outputLine(error.what());
        failure = exception::textOf(error);
    } catch (...) {
        debug::outputLine("pref::save(). Caught unknown exception in pref::save()");
    }
    // The settings of the run are lost: as for the state files, the operator learns it.
    debug::Place("pref::save")
        .error(L"Ошибка сохранения настроек в файл '%1%': %2%", base::fromUtf8(path_), failure);
    return false;
}

std::string pref::text() {
    auto guard = lock();
    return serialise(config_);
}

std::string pref::getString(pref* store, const std::string& key, const std::string& fallback) {
    debug::terminateIfNull(store, "pref::getString");
    return getOrCreate(*store, key, Type::TypeString, fallback);
}

std::string pref::getString(const setting::Text& key) {
    return getFromInstance<std::string>("pref::getString", key.key, Type::TypeString, key.fallback);
}

std::wstring pref::getWString(const std::string& key) {
    return base::widen(
        getFromInstance<std::string>("pref::getWString", key, Type::TypeString, std::string()));
}

int pref::getInt(const std::string& key, int fallback) {
    return getFromInstance("pref::getInt", key, Type::TypeInt, fallback);
}

bool pref::getBool(const std::string& key, bool fallback) {
    return getFromInstance("pref::getBool", key, Type::TypeBoolean, fallback);
}

void pref::setString(const std::string& key, const std::string& value) {
    assign("pref::setString", key, Type::TypeString, value);
}

void pref::setWString(const std::string& key, const std::wstring& value) {
    assign("pref::setWString", key, Type::TypeString, base::narrow(value));
}

void pref::setInt(const std::string& key, int value) {
    assign("pref::setInt", key, Type::TypeInt, value);
}

void pref::setBool(const std::string& key, bool value) {
    assign("pref::setBool", key, Type::TypeBoolean, value);
}

pref* pref_init(const std::wstring& path) {
    const debug::Place place("pref_init");
    place.trace(L"");
    pref* store = new (std::nothrow) pref(path);
    if (store == nullptr) {
        place.fatal(L"malloc(sizeof(pref)) == NULL");
        throw exception::StopProgram();
    }
    return store;
}

bool pref_free() {
    const debug::Place place("pref_free");
    place.trace(L"");
    pref* store = pref::instanceSlot().release();
    if (store == nullptr) {
        place.fatal(L"p == NULL");
        throw exception::StopProgram();
    }
    // Settings the file holds already are not written again: a stalled disk holds no stop for them.
    std::string onDisk;
    const bool unchanged = !store->path().empty() &&
                           base::readRegularFile(base::fromUtf8(store->path()),
                                                 static_cast<std::size_t>(base::kMaximumReadFileSize),
                                                 onDisk) == base::RegularFileRead::read &&
                           onDisk == store->text();
    const bool written = unchanged || store->save();
    delete store;
    return written;
}
