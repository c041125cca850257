#pragma once
// "scheduler.xml": the scheduled playbacks kept across a restart. One "task" element per start
// task under the root "scheduler_v2" (read whatever its name once the root holds a "task", written
// as "task"), with its dates, times, enabled flag and its playback (the kind and name of the
// source, a message's files and gong, the loudspeakers' hardware addresses); a stop task is made
// again from its start task's stop time. A root without a "task" child holds no tasks; what it
// holds is written back as it was.
//
// Nothing of the file is lost by reading it: a record that cannot be taken now (damaged, or
// naming a source, playlist or file that is missing) is held as it was read and written back in
// its place, under its own element name; a loudspeaker address the registry does not know stays in
// its task's record. A file that cannot be read as a whole is kept aside before anything can
// overwrite it.
//
// A record of another name than "task" that cannot be taken (a record of some other kind kept
// beside the tasks) is told at the load that first finds it, not at every start: the setting
// scheduler.toldRecords lists the fingerprints of those that were told, so that a record added
// later is told again. No attribute of the program's own goes into the file, so that a reader that
// takes every child of the root as a task reads its tasks; the root's attribute "told" of a file
// an earlier version wrote is taken over into the setting once and not written again.

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/kit/ZoneElement.h"
#include "audio/PlaybackCollection.h"
#include "foundation/Storage.h"
#include "panels/SchedulerTasks.h"

namespace frm {

class SchedulerStore {
public:
    using Sources = std::vector<std::shared_ptr<PlaybackCollection>>;
    // The loudspeaker of a hardware address, or null.
    using Lookup = std::function<ZoneElement::DevicePtr(const net::HardwareAddress&)>;

    static constexpr const wchar_t* kFileName = L"scheduler.xml";
    static constexpr const wchar_t* kRoot = L"scheduler_v2";
    // 500 tasks to 100 loudspeakers each write 2.1 MB, a thousand tasks to 500 loudspeakers each
    // 18.3 MB. (A thousand tasks each to all of 1000 loudspeakers would write 36.6 MB: such a
    // schedule is not saved.)
    static constexpr std::size_t kMaximumFileSize = 32u << 20;

    // The tasks keep what their elements take, as elementSize tells.
    explicit SchedulerStore(SchedulerTasks& tasks);

    SchedulerTasks& tasks() const { return tasks_; }

    // Reads the file and puts its tasks (see fromTree). A file that does not parse or has
    // another root is kept aside and reported; `unreadable` means it could not even be renamed
    // and must not be saved over.
    storage::StateFileRead load(const std::wstring& path, const Sources& sources, const Lookup& lookup);
    // Whether the last load read the file's tasks: it did not when it skipped the file.
    bool readTasks() const { return readTasks_; }
    // Puts the tasks of the tree, one record at a time; the texts of the records not taken. Those
    // not told at an earlier load are logged as one summary.
    std::vector<std::wstring> fromTree(const boost::property_tree::wptree& tree, const Sources& sources,
                                       const Lookup& lookup);
    // Puts the held records of the source kind that can be taken now (a medium plugged in since
    // they were read); the others stay held. Reported in the log only: the load told of them.
    // How many were put.
    std::size_t takeHeld(const std::wstring& kind, const Sources& sources, const Lookup& lookup);
    // The start tasks of the core in id order, with the held records in their places.
    boost::property_tree::wptree toTree() const { return toTree(keep()); }

    struct Held {
        std::wstring name;
        boost::property_tree::wptree record;
        // What its element takes in the file.
        std::size_t bytes = 0;
    };
    // What the file keeps, taken as it stands: the tasks shared (each reads its own values under
    // its lock), the held records shared until the next load or take replaces them.
    struct Kept {
        std::vector<SchedulerTasks::TaskPtr> tasks;
        std::shared_ptr<const std::multimap<std::uint32_t, Held>> held;
        std::shared_ptr<const boost::property_tree::wptree> unread;
    };
    Kept keep() const { return {tasks_.tasks(), held_, unread_}; }
    // The file's tree of what was kept, on any thread; and its text, as storage::xmlText writes the
    // tree, made without it: it throws storage::TooLarge past kMaximumFileSize.
    static boost::property_tree::wptree toTree(const Kept& kept);
    static std::string xmlText(const Kept& kept);
    // The bytes of the file as toTree writes it now, kept as the tasks change rather than made.
    std::size_t writtenSize() const;
    // The bytes of a start task's element: what save writes of the record, its type and its flag.
    static std::size_t elementSize(const scheduler::task::DataVault& record, TaskType type, bool enabled);
    // Whether the file takes a new task of the record, the tasks of the ids enabled or disabled, or
    // the playbacks of the kind renamed: a change that would take it past kMaximumFileSize could not
    // be saved, so it is refused before it is made, and told.
    bool takes(const scheduler::task::DataVault& record, TaskType type) const;
    bool takesEnabling(const std::vector<std::uint32_t>& ids, bool enabled) const;
    bool takesRename(const std::wstring& kind, const std::wstring& oldName,
                     const std::wstring& newName) const;

private:
    // Writes what a start task holds into its element; `id` names the task in the log.
    static void save(const scheduler::task::DataVault& record, bool enabled, std::uint32_t id,
                     boost::property_tree::wptree& element);
    // A read of the records, one at a time: what is told, held and kept between them.
    struct Reading {
        std::set<std::wstring> toldBefore;
        std::vector<std::wstring> errors;
        std::vector<std::wstring> toldNow;
        std::shared_ptr<std::multimap<std::uint32_t, Held>> held;
    };
    // `told` is the root's attribute "told" of an earlier version.
    Reading beginReading(const std::wstring& told);
    // Puts the record's task, or holds the record.
    void readRecord(Reading& reading, const std::wstring& name, const boost::property_tree::wptree& element,
                    const Sources& sources, const Lookup& lookup);
    // Holds the records not taken and tells of them: their texts.
    std::vector<std::wstring> endReading(Reading& reading);
    // The error text of the record, empty when it was put; loadRecord also turns a failure that
    // ends the record into its text.
    std::wstring loadRecord(const boost::property_tree::wptree& element, const Sources& sources,
                            const Lookup& lookup);
    std::wstring loadTask(const boost::property_tree::wptree& element, const Sources& sources,
                          const Lookup& lookup);
    // Holds the records from now on, and counts what they take.
    void hold(std::shared_ptr<const std::multimap<std::uint32_t, Held>> held);
    // Holds what the root of a file without tasks held, and counts what the root takes.
    void keepUnread(std::shared_ptr<const boost::property_tree::wptree> unread);
    // The file's bytes with `records` bytes of tasks' and held records' elements in its root.
    std::size_t fileSize(std::size_t records) const;
    bool withinBound(std::size_t records, const wchar_t* refused) const;

    SchedulerTasks& tasks_;
    // The records not taken, by the last task id handed out before them; replaced, never changed,
    // since a writer may still read it.
    std::shared_ptr<const std::multimap<std::uint32_t, Held>> held_ =
        std::make_shared<const std::multimap<std::uint32_t, Held>>();
    std::size_t heldBytes_ = 0;
    // What the root of a file without tasks held; replaced likewise.
    std::shared_ptr<const boost::property_tree::wptree> unread_;
    // The file of that root alone, and the same file with the root's end tag apart, to which each
    // record's element is added.
    std::size_t emptyFileBytes_ = 0;
    std::size_t openFileBytes_ = 0;
    // The fingerprints of the records of another kind that were told: those the file held at the
    // last read of its tasks, told then or at an earlier load.
    std::set<std::wstring> told_;
    bool readTasks_ = false;
};

}  // namespace frm
