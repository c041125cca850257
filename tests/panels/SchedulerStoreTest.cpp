// "scheduler.xml": tasks of every kind read back as they were written, with new ids; records
// that cannot be taken now (damaged, a playlist that is gone) are held and written back in their
// places while the others load, and a drive's are put once its medium is offered; an unknown
// loudspeaker stays in its record; a record of another kind is told once across restarts while the
// saved root carries no attribute; a moved message is found in its folder; a file that cannot be
// read as a whole is kept aside; and thousands of mutated files load without a fault and are
// never saved with fewer tasks than they held.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "foundation/SettingKeys.h"
#include "foundation/TextConversion.h"
#include "panels/PlaybackDrive.h"
#include "panels/SchedulerStore.h"
#include "support/TempFolder.h"
#include "tests/panels/SchedulerFixture.h"

namespace {

using boost::property_tree::wptree;
using frm::SchedulerStore;
using frm::SchedulerTasks;
using scheduler::task::BaseTask;
using scheduler::task::DataVault;

class SchedulerStoreTest : public test::SchedulerFixture {
protected:
    void SetUp() override {
        SchedulerFixture::SetUp();
        pref::setString(setting::placePathDirGong.key, folder_.path() + "/gong");
        std::filesystem::create_directories(folder_.path() + "/gong");
        std::ofstream(folder_.file("gong/Колокол.mp3")) << "gong";
        std::ofstream(folder_.file("Обед.mp3")) << "message";

        auto music = frm::PlaybackCollection::create(L"Плейлист", L"playlist");
        music->add(std::make_shared<frm::PlaybackPlaylist>(
            L"Вечер & ночь", std::make_shared<Playlist>(L"Вечер & ночь", true)));
        auto radio = frm::PlaybackCollection::create(L"Радио", L"radio");
        radio->add(
            std::make_shared<frm::PlaybackPlaylist>(L"Эфир", std::make_shared<Playlist>(L"Эфир", true)));
        auto messages = frm::PlaybackCollection::create(L"Служебные сообщения", L"serviceMessage");
        auto lunch = std::make_shared<frm::PlaybackTrack>(L"Обед", 4, false);
        lunch->setMessage(L"Обед", base::fromUtf8(folder_.file("Обед.mp3")));
        messages->add(lunch);
        sources_ = {music, radio, messages};
        devices_ = {loudspeaker(1), loudspeaker(2)};
    }

    SchedulerStore::Lookup lookup() const {
        return [this](const net::HardwareAddress& address) -> frm::ZoneElement::DevicePtr {
            for (const auto& device : devices_) {
                if (device->getHardwareAddress().getLow() == address.getLow() &&
                    device->getHardwareAddress().getHigh() == address.getHigh())
                    return device;
            }
            return nullptr;
        };
    }
    std::shared_ptr<frm::IPlayback> playback(std::size_t source, std::vector<std::size_t> targets) {
        auto copy = sources_[source]->getPlaybacks().front()->clone();
        frm::Targets chosen;
        for (std::size_t target : targets) chosen.insert(devices_[target]);
        copy->setTargets(chosen);
        return copy;
    }
    void put(frm::TaskType type, std::uint32_t id, std::shared_ptr<frm::IPlayback> what,
             const wchar_t* finalDate, const wchar_t* stopTime, bool enabled) {
        const auto ids = frm::SchedulerTasks::Ids{id, id + 1};
        tasks_.put(type, ids,
                   DataVault(what, L"2024-05-02", finalDate, L"22:00", stopTime,
                             frm::SchedulerTasks::targetIds(*what), -1, false),
                   enabled);
    }
    std::wstring path() const { return folder_.widePath() + L"/scheduler.xml"; }
    void write(const std::string& text) const { std::ofstream(folder_.file("scheduler.xml")) << text; }
    static std::size_t taskCount(const wptree& tree) {
        const auto root = tree.get_child_optional(SchedulerStore::kRoot);
        return root ? root->count(L"task") : 0;
    }
    std::vector<std::uint32_t> ids() const {
        std::vector<std::uint32_t> result;
        for (const auto& [id, task] : core_.getTasks()) result.push_back(id);
        return result;
    }

    test::TempFolder folder_;
    std::vector<std::shared_ptr<device::DeviceBase>> devices_;
    SchedulerStore::Sources sources_;
    frm::SchedulerTasks tasks_{core_, {}};
    SchedulerStore store_{tasks_};
};

TEST_F(SchedulerStoreTest, EveryKindOfTaskReadsBackAsItWasWritten) {
    // What the store counts and writes of its file without a tree follows each change of the tasks.
    const auto counted = [&](const char* change) {
        EXPECT_EQ(SchedulerStore::xmlText(store_.keep()), storage::xmlText(store_.toTree())) << change;
        EXPECT_EQ(store_.writtenSize(), storage::xmlText(store_.toTree()).size()) << change;
    };
    counted("none");
    put(frm::taskOnce, 11, playback(0, {0}), L"2024-05-02", L"", true);
    put(frm::taskDaily, 13, playback(1, {1}), L"", L"", true);
    put(frm::taskDaily, 15, playback(0, {0}), L"2024-06-30", L"02:00", false);
    auto message = std::dynamic_pointer_cast<frm::PlaybackTrack>(playback(2, {0, 1}));
    message->setGong(L"Колокол", base::fromUtf8(folder_.file("gong/Колокол.mp3")));
    put(frm::taskDaily, 17, message, L"", L"", true);
    ASSERT_EQ(core_.getTasks().size(), 5u);

    counted("four tasks put");
    tasks_.enable({11, 17}, false);
    counted("two disabled");
    tasks_.renamePlaylist(L"playlist", L"Вечер & ночь", L"Вечер");
    counted("a playlist renamed");
    tasks_.enable({11, 17}, true);
    tasks_.renamePlaylist(L"playlist", L"Вечер", L"Вечер & ночь");
    counted("all as they were put");

    const wptree written = store_.toTree();
    ASSERT_EQ(taskCount(written), 4u);
    const auto names = [](const wptree& node) {
        std::vector<std::wstring> result;
        for (const auto& [name, child] : node) result.push_back(name);
        return result;
    };
    const wptree& first = written.get_child(L"scheduler_v2").front().second;
    EXPECT_EQ(names(first), (std::vector<std::wstring>{L"type", L"startDate", L"finalDate", L"startTime",
                                                       L"stopTime", L"enable", L"playback"}));
    const wptree& last = written.get_child(L"scheduler_v2").back().second;
    EXPECT_EQ(names(last.get_child(L"playback")),
              (std::vector<std::wstring>{L"placeName", L"subPlaceName", L"messageName", L"messagePath",
                                         L"gongName", L"gongPath", L"devices"}));
    EXPECT_EQ(last.get_child(L"playback.devices").count(L"devices"), 2u);
    EXPECT_EQ(first.get<std::wstring>(L"playback.devices.devices"), L"02:7E:41:00:00:01");
    storage::save(path(), written);
    EXPECT_NE(test::readWholeFile(folder_.file("scheduler.xml")).find("Вечер &amp; ночь"), std::string::npos);

    scheduler::Core core;
    frm::SchedulerTasks tasks(core, {});
    SchedulerStore store(tasks);
    EXPECT_EQ(store.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    std::vector<std::uint32_t> loaded;
    for (const auto& [id, task] : core.getTasks()) loaded.push_back(id);
    // Each record takes the next pair of ids.
    EXPECT_EQ(loaded, (std::vector<std::uint32_t>{1, 3, 5, 6, 7}));
    EXPECT_FALSE(core.getTask(5)->isEnabled() || core.getTask(6)->isEnabled());
    EXPECT_TRUE(store.toTree() == written);
    EXPECT_EQ(store.writtenSize(), storage::xmlText(written).size());
    core.stop();
}

// The second record is damaged, the fourth names a playlist that is gone, and the third plays
// also on a loudspeaker that the registry does not know.
constexpr const char* kMixedFile =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<scheduler_v2>"
    "<task><type>daily</type><startDate>2024-05-02</startDate><finalDate/><startTime>08:00</startTime>"
    "<stopTime>09:00</stopTime><enable>1</enable><playback><placeName>playlist</placeName>"
    "<subPlaceName>Вечер &amp; ночь</subPlaceName><devices><devices>02:7E:41:00:00:01</devices></devices>"
    "</playback></task>"
    "<!-- the second record -->"
    "<task><type>once</type><startDate>2024-05-02</startDate><finalDate>2024-05-02</finalDate>"
    "<startTime>08:00</startTime><stopTime/><enable>yes</enable></task>"
    "<task><type>daily</type><startDate>2024-05-03</startDate><finalDate>2024-05-09</finalDate>"
    "<startTime>10:00</startTime><stopTime/><enable>false</enable><playback><placeName>radio</placeName>"
    "<subPlaceName>Эфир</subPlaceName><devices><devices>02:7E:41:00:00:02</devices>"
    "<devices>02:7E:41:00:00:63</devices><devices>zz</devices></devices></playback></task>"
    "<task><type>daily</type><startDate>2024-05-03</startDate><finalDate/><startTime>11:00</startTime>"
    "<stopTime/><enable>true</enable><playback><placeName>playlist</placeName>"
    "<subPlaceName>Нет такого</subPlaceName><devices/></playback></task>"
    "<task><type>once</type><startDate>2024-02-30</startDate><finalDate/><startTime>08:00</startTime>"
    "<stopTime/><enable>true</enable><playback><placeName>radio</placeName><subPlaceName>Эфир</subPlaceName>"
    "<devices/></playback></task>"
    "</scheduler_v2>";

TEST_F(SchedulerStoreTest, AChangeThatWouldTakeTheFilePastItsBoundIsNotMade) {
    // Loudspeakers the registry does not know are written as their texts were read: long ones fill
    // the file with few elements, and one of a length to choose leaves it short of its bound by
    // what a new task of one loudspeaker takes, and a byte.
    const auto record = [&](std::size_t entries, const std::wstring& entry) {
        DataVault made(playback(0, {0}), L"2024-05-02", L"", L"22:00", L"", {}, -1, false);
        made.unknownDevices.assign(entries, entry);
        return made;
    };
    // What the store counts is checked against the file's text at the bound and at the end: each
    // text of 32 MB takes seconds.
    const auto fileSize = [&] { return storage::xmlText(store_.toTree()).size(); };
    const auto growth = [&](const DataVault& made) {
        const std::size_t before = store_.writtenSize();
        const SchedulerTasks::Ids ids = tasks_.takeIds();
        tasks_.put(frm::taskDaily, ids, made, true);
        const std::size_t grown = store_.writtenSize() - before;
        tasks_.erase({ids.start});
        return grown;
    };
    const std::size_t perEntry = 16384;
    const std::wstring longEntry(perEntry - std::strlen("<devices></devices>"), L'A');
    tasks_.put(frm::taskDaily, tasks_.takeIds(),
               record(SchedulerStore::kMaximumFileSize / perEntry - 2, longEntry), true);
    const DataVault small = record(0, L"");
    const std::size_t room = growth(small) + 1;
    const std::size_t entry =
        SchedulerStore::kMaximumFileSize - store_.writtenSize() - room - growth(record(1, L"A")) + 1;
    tasks_.put(frm::taskDaily, tasks_.takeIds(), record(1, std::wstring(entry, L'A')), true);
    ASSERT_EQ(SchedulerStore::kMaximumFileSize - fileSize(), room);
    const std::uint32_t added = tasks_.lastId() + 1;
    const std::wstring playlist = L"Вечер & ночь";
    struct Row {
        const char* change;
        std::function<bool()> takes;
        std::function<void()> make;
        bool taken;
    };
    const Row rows[] = {
        {"a task of a long unknown loudspeaker",
         [&] { return store_.takes(record(1, longEntry), frm::taskDaily); }, nullptr, false},
        {"a task of one loudspeaker", [&] { return store_.takes(small, frm::taskDaily); },
         [&] { tasks_.put(frm::taskDaily, tasks_.takeIds(), small, true); }, true},
        {"that task disabled: the last byte", [&] { return store_.takesEnabling({added}, false); },
         [&] { tasks_.enable({added}, false); }, true},
        {"the first task disabled too", [&] { return store_.takesEnabling({1}, false); }, nullptr, false},
        {"the playlist a letter longer",
         [&] { return store_.takesRename(L"playlist", playlist, playlist + L"!"); }, nullptr, false},
        {"the playlist without its spaces",
         [&] { return store_.takesRename(L"playlist", playlist, L"Вечер&ночь"); },
         [&] { tasks_.renamePlaylist(L"playlist", playlist, L"Вечер&ночь"); }, true},
        {"the new task enabled again", [&] { return store_.takesEnabling({added}, true); },
         [&] { tasks_.enable({added}, true); }, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.takes(), row.taken) << row.change;
        if (row.taken) row.make();
    }
    // The rename gave back two bytes in each of three tasks, the task enabled again one.
    EXPECT_EQ(store_.writtenSize(), SchedulerStore::kMaximumFileSize - 7);
    EXPECT_EQ(fileSize(), SchedulerStore::kMaximumFileSize - 7);
    for (const std::wstring refused :
         {L"Задание не добавлено", L"Задания не выключены", L"Плейлист не переименован"})
        EXPECT_TRUE(capture_.contains(refused + L": с этим файл заданий занял бы 33 МБ", L"WARN"));
}

TEST_F(SchedulerStoreTest, RecordsThatCannotBeTakenAreHeldInTheirPlacesAndTheOthersLoad) {
    write(kMixedFile);
    wptree file;
    ASSERT_TRUE(storage::load(path(), file));
    ASSERT_EQ(store_.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_TRUE(capture_.contains(
        L"Неверный формат данных. Задания планировщика не удалось загрузить, кол-во: 3", L"ERROR"));
    for (const wchar_t* entry :
         {L"1. Ошибка загрузки заданий планировщика (enable 'yes')",
          L"2. Ошибка загрузки настроек. Объект 'Плейлист', контент 'Нет такого'",
          L"3. Ошибка загрузки заданий планировщика (Получен неверный формат данных / task "})
        EXPECT_TRUE(capture_.contains(entry, L"ERROR")) << base::toUtf8(entry);
    const DataVault radio = std::dynamic_pointer_cast<BaseTask>(core_.getTask(3))->getClientData();
    EXPECT_EQ(radio.deviceEntries, std::vector<std::uint32_t>{devices_[1]->getId()});
    EXPECT_EQ(radio.unknownDevices, std::vector<std::wstring>{L"02:7E:41:00:00:63"});

    const wptree saved = store_.toTree();
    ASSERT_EQ(taskCount(saved), 5u);
    EXPECT_EQ(store_.writtenSize(), storage::xmlText(saved).size());
    EXPECT_EQ(SchedulerStore::xmlText(store_.keep()), storage::xmlText(saved));
    std::vector<const wptree*> original;
    for (const auto& [name, task] : file.get_child(L"scheduler_v2"))
        if (name == L"task") original.push_back(&task);
    std::vector<const wptree*> written;
    for (const auto& [name, task] : saved.get_child(L"scheduler_v2")) written.push_back(&task);
    EXPECT_TRUE(*written[1] == *original[1]);
    EXPECT_TRUE(*written[3] == *original[3]);
    EXPECT_EQ(written[2]->get_child(L"playback.devices").size(), 2u);
    EXPECT_EQ(written[2]->get_child(L"playback.devices").back().second.data(), L"02:7E:41:00:00:63");
}

// Every element below a root that holds a "task" is read as a task, whatever its name: a complete
// one loads and is written back as a "task", one that cannot be taken is held and written back as
// it was, under its own name, as is one of a type the program does not know.
TEST_F(SchedulerStoreTest, TasksUnderOtherNamesAreReadAndWrittenBackAsTasks) {
    const auto task = [](const char* name, const char* type, const char* enable) {
        return std::string("<") + name + "><type>" + type +
               "</type><startDate>2024-05-02</startDate><finalDate/><startTime>08:00</startTime>"
               "<stopTime/><enable>" +
               enable +
               "</enable><playback><placeName>radio</placeName><subPlaceName>Эфир</subPlaceName><devices>"
               "<devices>02:7E:41:00:00:01</devices></devices></playback></" +
               name + ">";
    };
    write("<scheduler_v2>" + task("job", "daily", "true") + task("record", "once", "yes") +
          task("task", "weekly", "true") + task("task", "once", "false") + "</scheduler_v2>");
    wptree file;
    ASSERT_TRUE(storage::load(path(), file));
    ASSERT_EQ(store_.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    // The unknown type took its pair of ids as a task that reached its type does.
    ASSERT_EQ(ids(), (std::vector<std::uint32_t>{1, 5}));
    EXPECT_EQ(std::dynamic_pointer_cast<BaseTask>(core_.getTask(1))->getClientData().playback->getName(),
              L"Эфир");
    EXPECT_TRUE(capture_.contains(L"Internal error. Unknown task. Failed load the task", L"ERROR"));
    EXPECT_TRUE(capture_.contains(
        L"Неверный формат данных. Задания планировщика не удалось загрузить, кол-во: 2", L"ERROR"));

    const wptree saved = store_.toTree();
    ASSERT_EQ(taskCount(saved), 3u);
    std::vector<const wptree*> original;
    for (const auto& [name, element] : file.get_child(L"scheduler_v2")) original.push_back(&element);
    std::vector<const wptree*> written;
    std::vector<std::wstring> names;
    for (const auto& [name, element] : saved.get_child(L"scheduler_v2")) {
        if (name.front() == L'<') continue;
        written.push_back(&element);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"task", L"record", L"task", L"task"}));
    EXPECT_EQ(written[0]->get<std::wstring>(L"type"), L"daily");
    EXPECT_EQ(written[0]->get<std::wstring>(L"playback.subPlaceName"), L"Эфир");
    EXPECT_TRUE(*written[1] == *original[1]);
    EXPECT_TRUE(*written[2] == *original[2]);

    // Without a "task" beside them, such elements are no tasks: the file holds none.
    scheduler::Core core;
    frm::SchedulerTasks tasks(core, {});
    SchedulerStore store(tasks);
    write("<scheduler_v2>" + task("job", "once", "true") + "</scheduler_v2>");
    ASSERT_EQ(store.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    EXPECT_TRUE(core.getTasks().empty());
    EXPECT_EQ(store.writtenSize(), storage::xmlText(store.toTree()).size());
    EXPECT_EQ(SchedulerStore::xmlText(store.keep()), storage::xmlText(store.toTree()));
    EXPECT_TRUE(capture_.contains(L"Skip load scheduler settings", L"EXTERN"));
    core.stop();
}

// Records of another kind kept after a task, over four starts and stops: each start reads the
// task, each stop writes the records back as they were read, names too, under a root without
// attributes (a reader that takes every child of the root as a task, in order, and ends at one that
// lacks an element reads the task), and only the start that first finds a record tells of it (the
// third finds one added by hand since; the fourth a file as an earlier version wrote it, with what
// was told in the root's attribute "told" and not in the settings).
TEST_F(SchedulerStoreTest, RecordsOfAnotherKindBesideATaskAreWrittenBackAsReadAndToldOnce) {
    write(
        "<scheduler_v2>"
        "<task><type>daily</type><startDate>2024-05-02</startDate><finalDate/><startTime>08:00</startTime>"
        "<stopTime/><enable>true</enable><playback><placeName>radio</placeName><subPlaceName>Эфир</"
        "subPlaceName>"
        "<devices><devices>02:7E:41:00:00:01</devices></devices></playback></task>"
        "<job><name>Резерв</name><at>03:00</at></job><job.night><at>04:00</at></job.night><job/>"
        "</scheduler_v2>");
    const auto others = [](const wptree& tree) {
        std::vector<std::pair<std::wstring, wptree>> records;
        for (const auto& [name, record] : tree.get_child(L"scheduler_v2"))
            if (name != L"task" && name.front() != L'<') records.emplace_back(name, record);
        return records;
    };
    wptree file;
    ASSERT_TRUE(storage::load(path(), file));
    auto expected = others(file);
    const auto readInOrder = [](const wptree& tree) {
        std::size_t read = 0;
        for (const auto& [name, child] : tree.get_child(L"scheduler_v2")) {
            for (const wchar_t* element : {L"type", L"startDate", L"startTime", L"finalDate", L"stopTime"})
                if (!child.get_child_optional(element)) return read;
            ++read;
        }
        return read;
    };
    const std::size_t told[] = {3, 0, 1, 0};
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE(start);
        if (start >= 2) {
            ASSERT_TRUE(storage::load(path(), file));
        }
        if (start == 2) {
            file.get_child(L"scheduler_v2").add(L"job", L"05:00");
            expected.emplace_back(L"job", wptree(L"05:00"));
        } else if (start == 3) {
            file.put(L"scheduler_v2.<xmlattr>.told",
                     base::widen(pref::getString(setting::schedulerToldRecords)));
            pref::setString(setting::schedulerToldRecords.key, "");
        }
        if (start >= 2) storage::save(path(), file);
        const auto summaries = [&] { return capture_.find(L"Неверный формат данных", L"ERROR"); };
        const std::size_t before = summaries().size();
        scheduler::Core core;
        frm::SchedulerTasks tasks(core, {});
        SchedulerStore store(tasks);
        ASSERT_EQ(store.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
        EXPECT_EQ(core.getTasks().size(), 1u);
        const auto lines = summaries();
        ASSERT_EQ(lines.size(), before + (told[start] ? 1 : 0));
        if (told[start]) {
            EXPECT_NE(lines.back().message.find(L"кол-во: " + std::to_wstring(told[start])),
                      std::wstring::npos);
        }
        storage::save(path(), store.toTree());
        core.stop();
        wptree saved;
        ASSERT_TRUE(storage::load(path(), saved));
        EXPECT_EQ(taskCount(saved), 1u);
        EXPECT_TRUE(others(saved) == expected);
        EXPECT_FALSE(saved.get_child_optional(L"scheduler_v2.<xmlattr>"));
        EXPECT_EQ(readInOrder(saved), 1u);
    }
}

TEST_F(SchedulerStoreTest, AMessageMovedIntoItsFolderIsFoundAndWrittenWithItsNewPath) {
    std::filesystem::create_directories(folder_.file("service"));
    pref::setString(setting::placePathDirServiceMessage.key, folder_.file("service"));
    std::filesystem::rename(folder_.file("Обед.mp3"), folder_.file("service/Обед.mp3"));
    write(
        "<scheduler_v2><task><type>once</type><startDate>2024-05-02</startDate><finalDate/>"
        "<startTime>12:00</startTime><stopTime/><enable>true</enable><playback>"
        "<placeName>serviceMessage</placeName><subPlaceName>Обед</subPlaceName><messageName>Обед</"
        "messageName>"
        "<messagePath>" +
        folder_.file("Обед.mp3") +
        "</messagePath><gongName/><gongPath/>"
        "<devices/></playback></task></scheduler_v2>");
    ASSERT_EQ(store_.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    ASSERT_EQ(ids(), std::vector<std::uint32_t>{1});
    const wptree saved = store_.toTree();
    EXPECT_EQ(saved.get<std::wstring>(L"scheduler_v2.task.playback.messagePath"),
              base::fromUtf8(folder_.file("service/Обед.mp3")));
    // A once task keeps its start date as its final date, whatever the file said.
    EXPECT_EQ(saved.get<std::wstring>(L"scheduler_v2.task.finalDate"), L"2024-05-02");
}

TEST_F(SchedulerStoreTest, ADrivesTaskIsHeldUntilItsMediumIsOfferedAndThenPut) {
    const auto task = [](const char* place, const char* name, const char* time) {
        return std::string(
                   "<task><type>daily</type><startDate>2024-05-02</startDate><finalDate/><startTime>") +
               time + "</startTime><stopTime>23:00</stopTime><enable>true</enable><playback><placeName>" +
               place + "</placeName><subPlaceName>" + name +
               "</subPlaceName><devices><devices>02:7E:41:00:00:01</devices></devices></playback></task>";
    };
    write("<scheduler_v2>" + task("device", "/media/u/STICK", "08:00") +
          task("playlist", "Нет такого", "09:00") + task("device", "/media/u/CD", "10:00") +
          "</scheduler_v2>");
    // No medium is mounted at start-up.
    sources_.push_back(frm::PlaybackCollection::create(L"Накопители", frm::PlaybackDrive::kSourceKind));
    ASSERT_EQ(store_.load(path(), sources_, lookup()), storage::StateFileRead::loaded);
    EXPECT_TRUE(ids().empty());
    const wptree file = store_.toTree();
    ASSERT_EQ(taskCount(file), 3u);

    // The stick is plugged in, and a playlist of the missing name made: only the stick's task comes.
    auto drives = frm::PlaybackCollection::create(L"Накопители", frm::PlaybackDrive::kSourceKind);
    drives->add(std::make_shared<frm::PlaybackDrive>(L"/media/u/STICK"));
    sources_.back() = drives;
    sources_.front()->add(std::make_shared<frm::PlaybackPlaylist>(
        L"Нет такого", std::make_shared<Playlist>(L"Нет такого", true)));
    EXPECT_EQ(store_.takeHeld(frm::PlaybackDrive::kSourceKind, sources_, lookup()), 1u);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2}));
    const DataVault stick = std::dynamic_pointer_cast<BaseTask>(core_.getTask(1))->getClientData();
    ASSERT_TRUE(std::dynamic_pointer_cast<frm::PlaybackDrive>(stick.playback));
    EXPECT_EQ(stick.playback->getName(), L"/media/u/STICK");
    EXPECT_EQ(stick.deviceEntries, std::vector<std::uint32_t>{devices_[0]->getId()});
    EXPECT_EQ(stick.playback->getCollection(), drives);
    EXPECT_EQ(store_.takeHeld(frm::PlaybackDrive::kSourceKind, sources_, lookup()), 0u);

    // Nothing of the file is lost: the held records and the task make the same three.
    const wptree saved = store_.toTree();
    ASSERT_EQ(taskCount(saved), 3u);
    for (const auto& [name, original] : file.get_child(L"scheduler_v2")) {
        bool found = false;
        for (const auto& [other, written] : saved.get_child(L"scheduler_v2"))
            found = found || written == original;
        EXPECT_TRUE(found) << base::toUtf8(original.get<std::wstring>(L"playback.subPlaceName"));
    }
}

TEST_F(SchedulerStoreTest, AFileThatCannotBeReadAsAWholeIsKeptAside) {
    // A file without a "task" is read as a file without tasks, whatever else its root holds, and
    // the next save writes that back.
    const struct {
        const char* text;
        storage::StateFileRead read;
        // Told as a file whose tasks are not read.
        bool skipped;
    } cases[] = {
        {"<scheduler_v2><task>", storage::StateFileRead::keptAside, true},
        {"<scheduler><task/></scheduler>", storage::StateFileRead::keptAside, false},
        {"<scheduler_v2><!-- no task --></scheduler_v2>", storage::StateFileRead::loaded, true},
        {"<scheduler_v2><note>x</note></scheduler_v2>", storage::StateFileRead::loaded, true},
        {"<scheduler_v2><job><type>once</type><startTime>08:00</startTime></job>"
         "<!-- c --><job/></scheduler_v2>",
         storage::StateFileRead::loaded, true},
    };
    for (const auto& c : cases) {
        write(c.text);
        const auto skips = [&] { return capture_.find(L"Skip load scheduler settings", L"EXTERN").size(); };
        const std::size_t before = skips();
        EXPECT_EQ(store_.load(path(), sources_, lookup()), c.read) << c.text;
        if (c.read == storage::StateFileRead::loaded) {
            // What the skipped root held is written back by the next save.
            wptree file;
            ASSERT_TRUE(storage::load(path(), file));
            storage::save(path(), store_.toTree());
            wptree saved;
            ASSERT_TRUE(storage::load(path(), saved));
            EXPECT_TRUE(saved == file) << c.text;
        }
        EXPECT_EQ(std::filesystem::exists(folder_.file("scheduler.xml")),
                  c.read == storage::StateFileRead::loaded)
            << c.text;
        EXPECT_EQ(skips(), before + (c.skipped ? 1 : 0)) << c.text;
        EXPECT_EQ(taskCount(store_.toTree()), 0u) << c.text;
        std::filesystem::remove(folder_.file("scheduler.xml"));
    }
    EXPECT_TRUE(capture_.contains(L"прежнего формата сохранён как", L"WARN"));
    EXPECT_TRUE(core_.getTasks().empty());
    EXPECT_EQ(store_.load(path(), sources_, lookup()), storage::StateFileRead::missing);
}

TEST_F(SchedulerStoreTest, MutatedFilesLoadAndAreNeverSavedWithFewerTasks) {
    const std::string seed = kMixedFile;
    const char* const snippets[] = {"<task>",
                                    "</task>",
                                    "<!-- c -->",
                                    "<devices>zz</devices>",
                                    "&amp;",
                                    "<enable>1</enable>",
                                    "<type>once</type>",
                                    "<",
                                    ">",
                                    "/",
                                    "\xD0",
                                    "0"};
    std::mt19937 random(20240502);
    const auto pick = [&](std::size_t size) {
        return std::uniform_int_distribution<std::size_t>(0, size)(random);
    };
    const std::string inner = folder_.file("fuzz");
    const std::wstring file = base::fromUtf8(inner + "/scheduler.xml");
    std::size_t parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = seed;
        for (std::size_t edits = 1 + pick(2); edits > 0; --edits) {
            const std::size_t at = pick(text.size());
            switch (pick(3)) {
                case 0:
                    text.erase(at, 1 + pick(20));
                    break;
                case 1:
                    text.insert(at, text.substr(pick(text.size()), 1 + pick(40)));
                    break;
                default:
                    text.insert(at, snippets[pick(std::size(snippets) - 1)]);
            }
        }
        std::filesystem::remove_all(inner);
        std::filesystem::create_directories(inner);
        std::ofstream(inner + "/scheduler.xml") << text;
        std::size_t held = 0;
        try {
            wptree tree;
            if (storage::load(file, tree)) held = taskCount(tree);
        } catch (const std::exception&) {
        }
        parsed += held > 0 ? 1 : 0;
        core_.clear();
        frm::SchedulerTasks tasks(core_, {});
        SchedulerStore store(tasks);
        store.load(file, sources_, lookup());
        ASSERT_GE(taskCount(store.toTree()), held) << text;
    }
    // The mutations leave enough files readable to reach the records.
    EXPECT_GT(parsed, 300u);
}

}  // namespace
