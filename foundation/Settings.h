#pragma once
// The settings store: the settings file "melvoxd.cfg" (libconfig syntax, narrow text in the
// "Russian" code page) held in memory for the whole run. Every reader names its key as a
// dotted path, the type it expects and its default; a key that is missing, or present with
// another type, is created with that default. The file is read once by pref_init and
// written back by pref::save and pref_free, and while the program runs by its state saver.
//
// One lock guards the store: every operation takes it. Code that keeps a setting returned
// by find or create and reads or assigns it holds pref::lock() for as long as it uses it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <libconfig.h++>
#include <mutex>
#include <string>

#include "foundation/ChangeMark.h"
#include "foundation/SettingKeys.h"
#include "foundation/SingletonSlot.h"

class pref {
public:
    using Type = libconfig::Setting::Type;

    // A site's settings take under 2 KB. libconfig adds each setting after a search of its group,
    // so a file of short settings costs the square of their count: at this bound, 0.35 s.
    static constexpr std::size_t kLargestFile = 64 * 1024;
    // The settings read must take at most this much as the program writes them (one to a line,
    // indented), so that with what a run sets beside them the next start reads them again.
    static constexpr std::size_t kLargestWrittenBack = kLargestFile / 2;

    // Reads the file at the path when it exists. A file that cannot be read or parsed, or is no
    // regular file (a pipe is not waited for), is larger than kLargestFile, holds a NUL byte,
    // names another file to include, nests its groups deeper than the program's keys by far or
    // would be written back larger than kLargestWrittenBack, is renamed aside (with a time stamp)
    // and the run goes on default settings. A text longer than setting::longestText of its key is
    // dropped, so that its reader takes the default.
    explicit pref(const std::wstring& path);
    pref(const pref&) = delete;
    pref& operator=(const pref&) = delete;

    // The file "melvoxd.cfg" in the per-user data folder.
    static std::wstring defaultPath();
    // The process-wide store, installed by start-up with the result of pref_init.
    static base::SingletonSlot<pref>& instanceSlot();

    // True until a settings file has been read successfully: a first start, or a file not read.
    bool isNew() const { return isNew_; }
    // Why the file at the path was not read; empty when it was read or was not there.
    const std::wstring& unreadReason() const { return unreadReason_; }
    // The name the file not read was kept under; empty when it could not be renamed.
    const std::wstring& keptAs() const { return keptAs_; }
    // A file that was neither read nor kept aside stays as it is: nothing is written over it, so
    // that what it holds can still be repaired by hand, and the run's settings are not saved.
    bool keepsFileAsIs() const { return !unreadReason_.empty() && keptAs_.empty(); }
    const std::string& path() const { return path_; }
    std::unique_lock<std::recursive_mutex> lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

    // Null when a group on the way or the leaf is missing, or the leaf has another type.
    libconfig::Setting* find(const std::string& key, Type type);
    // Makes the groups of the path exist and returns a leaf of the type. A member of
    // another type in its place, or a non-group on the way, is replaced.
    libconfig::Setting& create(const std::string& key, Type type);
    // Writes the whole tree to the path; false (told on the debugger output) on failure, or when
    // the file is kept as it is.
    bool save();
    // The file's bytes for the tree as it stands, as save writes them.
    std::string text();
    // Counts the values set through the setters, by the operator's choices and the program's:
    // a change of it tells that the tree holds something worth writing, while a default that a
    // reader created does not move it.
    std::uint64_t revision() const { return changes_.revision(); }
    // Counts one value set through a setter.
    void countSet() { changes_.mark(); }
    const base::ChangeMark& changes() const { return changes_; }

    static std::string getString(pref* store, const std::string& key, const std::string& fallback);

    // The accessors below work on the process-wide store.
    static std::wstring getWString(const std::string& key);
    static int getInt(const std::string& key, int fallback);
    static bool getBool(const std::string& key, bool fallback);

    static void setString(const std::string& key, const std::string& value);
    static void setWString(const std::string& key, const std::wstring& value);
    static void setInt(const std::string& key, int value);
    static void setBool(const std::string& key, bool value);

    static std::string getString(const setting::Text& key);
    static std::wstring getWString(const setting::WideText& key) { return getWString(key.key); }
    static int getInt(const setting::Int& key) { return getInt(key.key, key.fallback); }
    static bool getBool(const setting::Bool& key) { return getBool(key.key, key.fallback); }

private:
    void readFile();
    void keepUnreadableFileAside(const std::wstring& reason);

    std::recursive_mutex mutex_;
    base::ChangeMark changes_;
    libconfig::Config config_;
    bool isNew_ = true;
    std::wstring unreadReason_;
    std::wstring keptAs_;
    // UTF-8, as the file system takes it.
    std::string path_;
};

// Logs its entry, builds the store on the path and returns it; throws
// exception::StopProgram when it cannot be allocated.
pref* pref_init(const std::wstring& path);
// Takes the process-wide store out of its slot, writes the file and deletes the store; whether
// the file was written. Throws exception::StopProgram when there is none.
bool pref_free();
