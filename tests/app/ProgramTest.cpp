// The program started as the operator starts it, under a private X server: it comes up with
// its loudspeakers, refuses a second copy, asks before it joins another copy's stream (and only
// for a stream), ends on "--quit" and on the stop signals with its files written, at any moment of
// its start too, starts again after a crash and gives back the loudspeakers a crash left on a
// message (while the disk stalled, and beside a damaged device collection), keeps a damaged zone
// file aside, shows a flood of warnings one box at a time, skips plug-ins that crash or hang, and
// prints no warning of the window toolkit.

#include <X11/keysym.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <thread>

#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/GroupSender.h"
#include "support/PrivateMounts.h"
#include "support/ProgramUnderTest.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// Before main and any thread: the read-only folders of these tests are mounted where only this
// process and the programs it starts see them.
[[maybe_unused]] const bool g_privateMounts = test::enterPrivateMountNamespace();

// A first start has no settings file and so takes the default command port: the tests that make
// one, run side by side in one network namespace, take turns at it.
class DefaultPortTurn {
public:
    DefaultPortTurn()
        : fd_(::open("/tmp/melvox-tests-default-port.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~DefaultPortTurn() {
        if (fd_ >= 0) ::close(fd_);
    }
    DefaultPortTurn(const DefaultPortTurn&) = delete;
    DefaultPortTurn& operator=(const DefaultPortTurn&) = delete;

private:
    const int fd_;
};

TEST(Program, ComesUpWithItsLoudspeakersAndQuitsWritingItsFiles) {
    test::ProgramUnderTest program;
    // Zones of loudspeakers the program has not met yet: they join them when they appear.
    std::ofstream(program.dataFile("zone_collection.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<zone_collection version=\"1\"><zone name=\"Все "
           "зоны\" "
           "volume=\"-1\"><zone name=\"Зал\" volume=\"70\"><device address=\"02:7E:41:00:00:01\"/><zone "
           "name=\"Сцена\" volume=\"-1\"><device address=\"02:7E:41:00:00:02\"/></zone></zone></zone>"
           "</zone_collection>";
    std::ofstream(program.dataFile("list_of_playlist_music.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<listOfPlaylist name=\"music\"><playlist "
           "name=\"Утро\" repeat=\"true\" current=\"1\"><item title=\"Тон\" path=\"sine://1000\"/><item "
           "title=\"Тон 2\" path=\"sine://2000\"/></playlist></listOfPlaylist>";
    program.loudspeakers().add(2);
    auto run = program.start();
    ASSERT_NE(program.screen().waitForWindow(run->pid()), 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    // Seen by the operator once the two are in service.
    for (const wchar_t* address : {L"02:7E:41:00:00:01", L"02:7E:41:00:00:02"})
        ASSERT_TRUE(
            program.waitForLog(L"Устройство подключено: 'Устройство " + std::wstring(address) + L"'"));
    EXPECT_FALSE(program.screenshot(*run, "main_window").empty());

    EXPECT_EQ(program.quit(), 0);  // once the running copy confirmed its stop
    EXPECT_EQ(run->wait(), 0);
    const std::string devices = test::readWholeFile(program.dataFile("device_collection.xml"));
    EXPECT_NE(devices.find("02:7E:41:00:00:01"), std::string::npos);
    EXPECT_NE(devices.find("127.0.0.3"), std::string::npos);
    const std::string zones = test::readWholeFile(program.dataFile("zone_collection.xml"));
    EXPECT_NE(zones.find("name=\"Сцена\" volume=\"-1\"><device address=\"02:7E:41:00:00:02\"/>"),
              std::string::npos);
    EXPECT_NE(test::readWholeFile(program.dataFile("melvoxd.cfg")).find("hight"), std::string::npos);
    const std::string music = test::readWholeFile(program.dataFile("list_of_playlist_music.xml"));
    EXPECT_NE(music.find("name=\"Утро\" repeat=\"true\" current=\"1\""), std::string::npos);
    EXPECT_NE(music.find("path=\"sine://2000\""), std::string::npos);
    EXPECT_NE(test::readWholeFile(program.dataFile("list_of_playlist_radio.xml")).find("<listOfPlaylist"),
              std::string::npos);
    EXPECT_EQ(program.countInLog(L"Melvox v1 - Exit."), 1u);
}

// Each of the loudspeakers numbered is given back once it answers: the common channel, and the
// level `level` less its number.
void expectGivenBack(test::ProgramUnderTest& program, const std::vector<int>& numbers, std::int32_t level) {
    for (int n : numbers) {
        test::LoudspeakerEmulator& emulator = program.loudspeakers().loudspeaker(n);
        ASSERT_TRUE(program.waitForLog(L"give-back of 'Устройство 02:7E:41:00:00:0" + std::to_wstring(n + 1) +
                                       L"' is done"));
        EXPECT_EQ(emulator.status().channel, 0u) << n;
        EXPECT_EQ(emulator.decibels(), level - n) << n;
    }
}

// Closes the run's message boxes as the operator does, one after another, until `done` holds;
// false when it did not within a minute.
bool closeBoxesUntil(test::ProgramUnderTest& program, const test::ProgramRun& run,
                     const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        const unsigned long top = program.screen().findWindow(run.pid());
        const std::wstring title = top != 0 ? program.screen().title(top) : std::wstring();
        if (title == L"Сообщение" || title == L"Предупреждение" || title == L"Ошибка")
            program.screen().closeWindow(top);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A run killed during a scheduled service message, which the alarm channel plays, the moment its
// first switch reaches a loudspeaker, while the disk's flushes of the give-back journal stall,
// leaves loudspeakers on the alarm channel: the next start gives every one back, as they are heard,
// with the level each had, and names them as the collection does, until the operator has closed
// the box that tells it; a start killed before passes it on.
TEST(Program, LoudspeakersLeftOnAMessageByAKilledRunAreGivenBackAtTheNextStart) {
    test::ProgramUnderTest program;
    constexpr int kLoudspeakers = 3;
    program.loudspeakers().add(kLoudspeakers);
    std::string devices;
    std::string targets;
    for (int n = 0; n < kLoudspeakers; ++n) {
        const std::string address = "02:7E:41:00:00:0" + std::to_string(n + 1);
        devices += "<device id=\"" + std::to_string(n + 1) + "\" type=\"Vokar-B\" address=\"" + address +
                   "\" ip=\"127.0.0." + std::to_string(n + 2) + "\" title=\"\"/>";
        targets += "<devices>" + address + "</devices>";
        program.loudspeakers().loudspeaker(n).setDecibels(-20 - n);
    }
    std::ofstream(program.dataFile("device_collection.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<device_collection>" << devices
        << "</device_collection>";
    const std::string message = program.dataFile("Обед.mp3");
    ASSERT_TRUE(test::writeSineMp3(message, 700, 60));
    std::ofstream(program.dataFile("service_message.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<tree><group><name>Дневные</name><message><name>Обед"
           "</name><message>"
        << message << "</message><gong/></message></group></tree>";
    // Once, at a minute that the program's wall clock, set for it, reaches 20 s from now: one that
    // passes while the program starts is not run.
    const boost::posix_time::ptime now = boost::posix_time::microsec_clock::local_time();
    const boost::posix_time::ptime at(now.date(), boost::posix_time::hours(now.time_of_day().hours()) +
                                                      boost::posix_time::minutes(now.time_of_day().minutes() + 1));
    program.shiftWallClock(std::chrono::microseconds(
        (at - boost::posix_time::seconds(20) - now).total_microseconds()));
    const std::string date = boost::gregorian::to_iso_extended_string(at.date());
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d", static_cast<int>(at.time_of_day().hours()),
                  static_cast<int>(at.time_of_day().minutes()));
    std::ofstream(program.dataFile("scheduler.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<scheduler_v2><task><type>once</type><startDate>"
        << date << "</startDate><finalDate/><startTime>" << time
        << "</startTime><stopTime/><enable>true</enable><playback><placeName>serviceMessage</placeName>"
           "<subPlaceName>Дневные: Обед</subPlaceName><messageName>Обед</messageName><messagePath>"
        << message << "</messagePath><gongName/><gongPath/><devices>" << targets
        << "</devices></playback></task></scheduler_v2>";

    program.stallFlushesOf("alarm_give_back.xml");
    auto killed = program.start();
    program.stallFlushesOf("");
    const pid_t pid = killed->pid();
    program.loudspeakers().loudspeaker(0).onArrival([pid](const std::string& command) {
        if (command == "set ch 1") ::kill(pid, SIGKILL);
    });
    const std::optional<int> status = killed->wait(std::chrono::seconds(150));
    program.loudspeakers().loudspeaker(0).onArrival(nullptr);
    ASSERT_EQ(status, 128 + SIGKILL) << "the task at " << time << ", run "
                                     << program.countInLog(L"scheduler: run task") << " times";
    std::vector<int> left;
    for (int n = 0; n < kLoudspeakers; ++n)
        if (program.loudspeakers().loudspeaker(n).status().channel == 1) left.push_back(n);
    ASSERT_FALSE(left.empty());

    const std::wstring told = L"Программа завершилась во время оповещения, не вернув громкоговорители";
    auto run = program.start();
    expectGivenBack(program, left, -20);
    for (int n = 0; n < kLoudspeakers; ++n) {
        EXPECT_EQ(program.loudspeakers().loudspeaker(n).status().channel, 0u) << n;
        EXPECT_EQ(program.loudspeakers().loudspeaker(n).decibels(), -20 - n) << n;
    }
    EXPECT_TRUE(program.waitForLog(told));
    EXPECT_TRUE(program.waitForLog(L"\\AУстройство 02:7E:41:00:00:01"));
    // Killed before its box was closed: the next start tells it again.
    run->kill(SIGKILL);
    EXPECT_EQ(run->wait(), 128 + SIGKILL);
    run = program.start();
    EXPECT_TRUE(program.waitForLog(told, 2));
    EXPECT_TRUE(program.waitForLog(L"Уже возвращены:\\AУстройство 02:7E:41:00:00:01"));
    EXPECT_TRUE(
        closeBoxesUntil(program, *run, [&] { return !fs::exists(program.dataFile("alarm_give_back.xml")); }));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
}

// A journal beside a device collection that does not read keeps its records: each loudspeaker is
// given back once it is heard.
TEST(Program, AJournalBesideADamagedCollectionGivesBackAsItsLoudspeakersAreHeard) {
    test::ProgramUnderTest program;
    constexpr int kLoudspeakers = 2;
    program.loudspeakers().add(kLoudspeakers);
    std::string records;
    for (int n = 0; n < kLoudspeakers; ++n) {
        test::LoudspeakerEmulator& emulator = program.loudspeakers().loudspeaker(n);
        auto status = emulator.status();
        status.channel = 1;
        emulator.setStatus(status);
        emulator.setDecibels(-11);
        records += "<loudspeaker><hardwareAddress>02:7E:41:00:00:0" + std::to_string(n + 1) +
                   "</hardwareAddress><switched>true</switched><scale>dB</scale><level>" +
                   std::to_string(-30 - n) + "</level><percent>40</percent></loudspeaker>";
    }
    std::ofstream(program.dataFile("device_collection.xml")) << "<device_collection><device";
    std::ofstream(program.dataFile("alarm_give_back.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<alarm_give_back>" << records << "</alarm_give_back>";
    auto run = program.start();
    expectGivenBack(program, {0, 1}, -30);
    // Once the operator has closed the box that tells of them.
    EXPECT_TRUE(
        closeBoxesUntil(program, *run, [&] { return !fs::exists(program.dataFile("alarm_give_back.xml")); }));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
}

TEST(Program, TellsItsThreadsAtStartAndAtExit) {
    test::ProgramUnderTest program;
    auto run = program.start({"--trace"});
    ASSERT_NE(program.screen().waitForWindow(run->pid()), 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
    EXPECT_EQ(program.countInLog(L"Create thread dispatcher. Threads: ["), 1u);
    EXPECT_EQ(program.countInLog(L"Exit. Threads: ["), 1u);
    // At least the thread that writes the log is left to count.
    EXPECT_EQ(program.countInLog(L"Exit. Threads: []"), 0u);
}

TEST(Program, SecondCopyIsRefusedAndAKilledCopyBlocksNothing) {
    test::ProgramUnderTest program;
    auto first = program.start();
    ASSERT_NE(program.screen().waitForWindow(first->pid()), 0u);

    auto second = program.start();
    const unsigned long notice = program.screen().waitForWindow(second->pid());
    ASSERT_NE(notice, 0u);
    EXPECT_TRUE(program.waitForLog(L"Копия программы уже запущена."));
    program.screen().closeWindow(notice);
    EXPECT_NE(second->wait(), 0);
    EXPECT_FALSE(first->wait(std::chrono::milliseconds(0)).has_value());

    first->kill(SIGKILL);
    EXPECT_EQ(first->wait(), 128 + SIGKILL);
    auto third = program.start();
    ASSERT_NE(program.screen().waitForWindow(third->pid()), 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(third->wait(), 0);
}

TEST(Program, AStreamAlreadyOnItsGroupIsAskedAboutAndANoLeavesItsFilesAsTheyAre) {
    test::ProgramUnderTest program;
    const std::string zones =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<zone_collection version=\"1\"><zone name=\"Все зоны\" "
        "volume=\"-1\"><zone name=\"Зал\" volume=\"70\"/></zone></zone_collection>";
    std::ofstream(program.dataFile("zone_collection.xml")) << zones;
    const test::GroupSender otherCopy("224.0.224.1", static_cast<std::uint16_t>(program.basePort() + 1),
                                      test::transportStreamPackets(7));

    // The window is built while the probe listens, and shown only after the answer: the first
    // window on the screen is the question.
    auto refused = program.start();
    const unsigned long question = program.screen().waitForWindow(refused->pid());
    ASSERT_NE(question, 0u);
    program.screen().closeWindow(question);  // as "Нет"
    EXPECT_NE(refused->wait(), 0);
    EXPECT_EQ(program.countInLog(L"The start ends: a stream already plays on '224.0.224.1:" +
                                 std::to_wstring(program.basePort() + 1) + L"'"),
              1u);
    EXPECT_EQ(program.countInLog(L"The main window is shown"), 0u);
    EXPECT_EQ(test::readWholeFile(program.dataFile("zone_collection.xml")), zones);
    for (const char* unwritten : {"device_collection.xml", "scheduler.xml", "list_of_playlist_music.xml"})
        EXPECT_FALSE(fs::exists(program.dataFile(unwritten))) << unwritten;

    // "Да" (after the default "Нет"): the window built meanwhile comes up with the zone.
    auto accepted = program.start();
    const unsigned long again = program.screen().waitForWindow(accepted->pid());
    ASSERT_NE(again, 0u);
    ASSERT_TRUE(program.screen().pressKey(XK_Tab));
    ASSERT_TRUE(program.screen().pressKey(XK_space));
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(accepted->wait(), 0);
    EXPECT_NE(test::readWholeFile(program.dataFile("zone_collection.xml")).find("name=\"Зал\""),
              std::string::npos);
}

// A host that sends bytes to the group sends no stream: the start asks nothing and goes on.
TEST(Program, DatagramsOnItsGroupThatAreNoStreamRaiseNoQuestion) {
    test::ProgramUnderTest program;
    const test::GroupSender noise("224.0.224.1", static_cast<std::uint16_t>(program.basePort() + 1), "x");
    auto run = program.start();
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    EXPECT_EQ(program.countInLog(L"имеет запущенный поток"), 0u);
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
}

TEST(Program, DamagedZoneFileIsKeptAsideAndTheProgramStarts) {
    test::ProgramUnderTest program;
    std::string damaged = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    for (int i = 0; i < 33000; ++i) damaged += "<zone>";
    std::ofstream(program.dataFile("zone_collection.xml")) << damaged;

    auto run = program.start();
    ASSERT_NE(program.screen().waitForWindow(run->pid()), 0u);
    ASSERT_TRUE(program.waitForLog(L"zone_collection.xml' повреждён"));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);  // the warning box open at the time is closed with the window

    std::vector<fs::path> kept;
    for (const auto& entry :
         fs::directory_iterator(fs::path(program.dataFile("zone_collection.xml")).parent_path())) {
        if (entry.path().filename().string().rfind("zone_collection.xml.broken-", 0) == 0)
            kept.push_back(entry.path());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readWholeFile(kept[0].string()), damaged);
    EXPECT_NE(test::readWholeFile(program.dataFile("zone_collection.xml")).find("Все зоны"),
              std::string::npos);
}

// Waits until `done` holds, counting the run's windows meanwhile: the most it showed at once, or
// nothing when `done` did not come within the deadline.
std::optional<std::size_t> mostWindowsUntil(test::ProgramUnderTest& program, const test::ProgramRun& run,
                                            const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::size_t most = 0;
    while (std::chrono::steady_clock::now() < end) {
        most = std::max(most, program.screen().windowCount(run.pid()));
        if (done()) return most;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

// A flood of `count` warnings containing `warning` at the start: the main window comes up with one
// message box above it, never more, and a stop request ends the program in order.
void expectOneBoxAtATimeAndAStop(test::ProgramUnderTest& program, const std::wstring& warning,
                                 std::size_t count) {
    auto run = program.start();
    const std::optional<std::size_t> most = mostWindowsUntil(program, *run, [&] {
        return program.countInLog(warning) >= count && program.countInLog(L"The main window is shown") == 1 &&
               program.screen().windowCount(run->pid()) >= 2;
    });
    ASSERT_TRUE(most.has_value()) << program.countInLog(warning) << " of " << count << " warnings";
    EXPECT_EQ(program.countInLog(warning), count);
    // A box that opens inside the first comes a moment after it, and the texts logged before the
    // window showed are all waiting by then: the windows are counted on until the program ended.
    auto quit = std::async(std::launch::async, [&] { return program.quit(); });
    const std::optional<std::size_t> mostUntilTheEnd =
        mostWindowsUntil(program, *run, [&] { return run->wait(std::chrono::milliseconds(0)).has_value(); });
    ASSERT_TRUE(mostUntilTheEnd.has_value()) << "the program did not end";
    EXPECT_EQ(std::max(*most, *mostUntilTheEnd), 2u);
    EXPECT_EQ(quit.get(), 0);
    EXPECT_EQ(run->wait(), 0);
    EXPECT_EQ(program.countInLog(L"Melvox v1 - Exit."), 1u);
}

// Files named as plug-ins that are none: damaged ones, and FIFOs that no trial may open.
TEST(Program, AFolderOfJunkPluginsShowsOneBoxAtATimeAndQuits) {
    test::ProgramUnderTest program;
    const std::string plugins = program.pluginFolder();
    std::mt19937 random(42);
    for (int i = 0; i < 100; ++i) {
        std::string junk(64, '\0');
        for (char& byte : junk) byte = static_cast<char>(random());
        std::ofstream(plugins + "/in_junk_" + std::to_string(i) + ".so", std::ios::binary) << junk;
    }
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(::mkfifo((plugins + "/in_fifo_" + std::to_string(i) + ".so").c_str(), 0600), 0);
    expectOneBoxAtATimeAndAStop(program, L"' пропущен", 110);
}

// The saved drive holds files named in the old Cyrillic code page, which cannot be played by
// their names: every one is warned of as the drive is listed at the start.
TEST(Program, ACrowdedDriveShowsOneBoxAtATimeAndQuits) {
    test::ProgramUnderTest program;
    const std::string drive = program.dataRoot() + "/stick";
    fs::create_directory(drive);
    for (int i = 0; i < 100; ++i)
        std::ofstream(drive + "/\xcf\xe5\xf1\xed\xff_" + std::to_string(i) + ".mp3") << "not audio";
    std::ofstream(program.dataFile("device_playback.xml"))
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<device><disk>" << drive << "</disk></device>";
    expectOneBoxAtATimeAndAStop(program, L"Путь некорректный", 100);
}

TEST(Program, PluginsWhoseStartCrashesOrHangsAreSkippedAndTheWindowShows) {
    test::ProgramUnderTest program;
    const std::string plugins = program.pluginFolder();
    fs::copy_file(MELVOX_CRASH_IN_INIT_PLUGIN, plugins + "/in_crash.so");
    fs::copy_file(MELVOX_HANG_IN_INIT_PLUGIN, plugins + "/in_hang.so");
    auto run = program.start();
    ASSERT_NE(program.screen().waitForWindow(run->pid(), std::chrono::seconds(60)), 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown", 1, std::chrono::seconds(60)));
    EXPECT_EQ(program.countInLog(L"in_crash.so' пропущен"), 1u);
    EXPECT_EQ(program.countInLog(L"in_hang.so' пропущен"), 1u);
    EXPECT_EQ(program.countInLog(L"Input plug-ins loaded: 1"), 1u);
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
}

// The data folder as sites have it. Its "temp" linked to a scratch folder elsewhere (a RAM disk, a
// shared folder): the start removes only the program's own file there. The whole folder read-only
// (a failing disk remounted so): the copy still refuses a second one and stops on "--quit", and a
// box tells the operator at once that the changes of the run cannot be saved. No data folder in a
// read-only profile: a box says so and the start ends, and "--quit" finds no copy. One state file
// read-only in a folder that takes the settings, or one whose write the full disk cut short:
// "--quit" tells that the state was not saved, and the file keeps what it held.
TEST(Program, DataFolderLinkedReadOnlyOrImpossible) {
    enum Kind { linkedTemp, readOnly, stateFileReadOnly, diskFull, cannotBeMade };
    const std::pair<Kind, const char*> cases[] = {{linkedTemp, "temp linked to a scratch folder"},
                                                  {readOnly, "read-only data folder"},
                                                  {stateFileReadOnly, "one read-only state file"},
                                                  {diskFull, "a state file written part-way on a full disk"},
                                                  {cannotBeMade, "no data folder in a read-only profile"}};
    for (const auto& [kind, name] : cases) {
        SCOPED_TRACE(name);
        test::ProgramUnderTest program;
        const std::string dataFolder = fs::path(program.dataFile("melvoxd.cfg")).parent_path().string();
        test::TempFolder scratch;
        std::optional<test::ReadOnlyMount> mount;
        std::optional<test::TmpfsMount> disk;
        std::string playlists;
        if (kind == linkedTemp) {
            fs::create_directory(scratch.file("sub"));
            for (const char* file : {"keep.txt", "sub/keep.txt", "melvox_record.mp3"})
                std::ofstream(scratch.file(file)) << file;
            fs::create_directory_symlink(scratch.path(), program.dataFile("temp"));
        } else if (kind == diskFull) {
            MELVOX_REQUIRE_PRIVATE_MOUNTS();
            // The data folder on a disk of its own, with the settings and a long playlist as an
            // earlier version wrote it, without the XML declaration: the stop writes it again.
            const std::string settings = test::readWholeFile(program.dataFile("melvoxd.cfg"));
            ASSERT_TRUE(disk.emplace(dataFolder, "4m").mounted());
            std::ofstream(program.dataFile("melvoxd.cfg")) << settings;
            playlists =
                "<listOfPlaylist name=\"music\"><playlist "
                "name=\"Длинный\" repeat=\"true\" current=\"1\">";
            for (int item = 0; item < 1000; ++item)
                playlists += "<item title=\"Звуковой сигнал номер " + std::to_string(item) +
                             " для проверки записи\" path=\"sine://" + std::to_string(100 + item) + "\"/>";
            playlists += "</playlist></listOfPlaylist>";
            std::ofstream(program.dataFile("list_of_playlist_music.xml")) << playlists;
        } else {
            MELVOX_REQUIRE_PRIVATE_MOUNTS();
            // The maker's folder, empty and read-only, stands for the profile.
            const std::string maker = program.dataRoot() + "/KORVA Security Systems";
            if (kind == cannotBeMade) {
                fs::remove_all(maker);
                fs::create_directory(maker);
            }
            std::string readOnlyPath = kind == readOnly ? dataFolder : maker;
            if (kind == stateFileReadOnly) {
                readOnlyPath = program.dataFile("list_of_playlist_music.xml");
                std::ofstream(readOnlyPath) << "<listOfPlaylist name=\"music\"/>";
            }
            ASSERT_TRUE(mount.emplace(readOnlyPath).mounted());
        }
        auto run = program.start({}, true);
        const unsigned long window = program.screen().waitForWindow(run->pid());
        ASSERT_NE(window, 0u) << run->errorOutput();
        if (kind == cannotBeMade) {
            program.screen().closeWindow(window);
            EXPECT_NE(run->wait(), 0);
            EXPECT_NE(run->errorOutput().find("Папка данных программы не может быть создана"),
                      std::string::npos)
                << run->errorOutput();
            auto asking = program.start({"--quit"}, true);
            EXPECT_EQ(asking->wait(), 1);
            EXPECT_NE(asking->errorOutput().find("Копия программы не запущена"), std::string::npos)
                << asking->errorOutput();
            continue;
        }
        if (kind == readOnly) {
            // The box above the main window.
            ASSERT_TRUE(test::waitFor([&] { return program.screen().windowCount(run->pid()) == 2; }));
            EXPECT_FALSE(program.screenshot(*run, "read_only_data_folder").empty());
            auto second = program.start({}, true);
            const unsigned long notice = program.screen().waitForWindow(second->pid());
            ASSERT_NE(notice, 0u);
            program.screen().closeWindow(notice);
            EXPECT_NE(second->wait(), 0);
            EXPECT_NE(second->errorOutput().find("Копия программы уже запущена."), std::string::npos)
                << second->errorOutput();
        } else {
            ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
        }
        if (kind == diskFull) {
            // The disk fills up, leaving less room than the playlist takes.
            struct statvfs space {};
            ASSERT_EQ(::statvfs(dataFolder.c_str(), &space), 0);
            const std::uintmax_t left = std::uintmax_t{space.f_bavail} * space.f_frsize;
            ASSERT_GT(left, std::uintmax_t{64 * 1024});
            std::ofstream(dataFolder + "/filler") << std::string(left - 64 * 1024, 'x');
            ASSERT_EQ(::statvfs(dataFolder.c_str(), &space), 0);
            ASSERT_LT(std::uintmax_t{space.f_bavail} * space.f_frsize, playlists.size());
        }
        // "--quit" tells whether the stopped copy could save its state.
        const bool unsaved = kind == readOnly || kind == stateFileReadOnly || kind == diskFull;
        auto asking = program.start({"--quit"}, true);
        EXPECT_EQ(asking->wait(), unsaved ? 4 : 0);
        EXPECT_NE(asking->errorOutput().find(unsaved ? "остановлена, но её состояние сохранить не удалось"
                                                     : "остановлена, её состояние сохранено"),
                  std::string::npos)
            << asking->errorOutput();
        EXPECT_EQ(run->wait(), 0);
        if (kind == readOnly) {
            // Its log, on the standard output.
            const std::string log = run->errorOutput();
            EXPECT_NE(log.find("В папку данных '" + dataFolder + "' нельзя записать"), std::string::npos)
                << log;
            EXPECT_NE(log.find("Melvox v1 - Exit."), std::string::npos);
        } else if (kind == diskFull) {
            EXPECT_EQ(test::readWholeFile(program.dataFile("list_of_playlist_music.xml")), playlists);
        } else if (kind == linkedTemp) {
            EXPECT_TRUE(fs::is_symlink(program.dataFile("temp")));
            EXPECT_EQ(test::readWholeFile(scratch.file("keep.txt")), "keep.txt");
            EXPECT_EQ(test::readWholeFile(scratch.file("sub/keep.txt")), "sub/keep.txt");
            EXPECT_FALSE(fs::exists(scratch.file("melvox_record.mp3")));
        }
    }
}

// A start that ends before its window says why: the command port taken by another program. It
// leaves the data folder as it found it: no settings file and no state file are written, so a first
// start stays one.
TEST(Program, ATakenCommandPortEndsTheStartWithItsReasonOnTheStandardError) {
    for (const bool firstStart : {false, true}) {
        SCOPED_TRACE(firstStart ? "a first start" : "a start with settings");
        std::optional<DefaultPortTurn> turn;
        if (firstStart) turn.emplace();
        test::ProgramUnderTest program;
        std::uint16_t port = program.basePort();
        if (firstStart) {
            fs::remove(program.dataFile("melvoxd.cfg"));
            port = 11990;  // the default
        }
        const std::string settings =
            firstStart ? std::string() : test::readWholeFile(program.dataFile("melvoxd.cfg"));
        std::optional<test::EmulatedDevice> holder(std::in_place, "127.0.0.1", port);
        auto run = program.start({}, true);
        unsigned long box = 0;
        ASSERT_TRUE(test::waitFor([&] {
            box = program.screen().findWindow(run->pid());
            return box != 0 || run->wait(std::chrono::milliseconds(0)).has_value();
        }));
        ASSERT_NE(box, 0u) << run->errorOutput();
        program.screen().closeWindow(box);
        EXPECT_NE(run->wait(), 0);
        EXPECT_NE(run->errorOutput().find("Командный порт занят"), std::string::npos) << run->errorOutput();
        EXPECT_EQ(program.countInLog(L"Командный порт занят"), 1u);
        if (firstStart) {
            EXPECT_FALSE(fs::exists(program.dataFile("melvoxd.cfg")));
        } else {
            EXPECT_EQ(test::readWholeFile(program.dataFile("melvoxd.cfg")), settings);
        }
        for (const auto& entry :
             fs::directory_iterator(fs::path(program.dataFile("melvoxd.cfg")).parent_path()))
            EXPECT_NE(entry.path().extension(), ".xml") << entry.path();
        if (!firstStart) continue;

        // With the port free, the next start is the first start it was to be.
        holder.reset();
        auto next = program.start();
        ASSERT_NE(program.screen().waitForWindow(next->pid()), 0u);
        EXPECT_TRUE(program.waitForLog(L"Это первый запуск программы"));
        EXPECT_EQ(program.quit(), 0);
        EXPECT_EQ(next->wait(), 0);
    }
}

TEST(Program, QuitWithoutARunningCopyFailsWithItsLine) {
    test::ProgramUnderTest program;
    auto asking = program.start({"--quit"}, true);
    EXPECT_EQ(asking->wait(), 1);
    EXPECT_NE(asking->errorOutput().find("Копия программы не запущена"), std::string::npos)
        << asking->errorOutput();
}

// The operator's clicks and keys, on the window of a running copy.
class Operator {
public:
    Operator(test::ProgramUnderTest& program, const test::ProgramRun& run, unsigned long window)
        : program_(program), run_(run), window_(window) {}

    test::XServer& screen() { return program_.screen(); }
    unsigned long window() const { return window_; }
    test::XServer::Area area() {
        test::XServer::Area area;
        EXPECT_TRUE(screen().area(window_, area));
        return area;
    }
    // A dialog of the program above its window (with a title, one of that title); 0 when none came.
    unsigned long waitForDialog(const std::wstring& title = std::wstring()) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            const unsigned long top = screen().findWindow(run_.pid());
            if (top != 0 && top != window_ && (title.empty() || screen().title(top) == title)) return top;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }
    bool waitUntilNoDialog() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (screen().findWindow(run_.pid()) != window_) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // Closes the message boxes that the start shows, whose texts are logged already, once the start
    // has ended. They come one at a time, each a moment after its text was logged: the first, and
    // then one that shows the texts that came while it was open, after a moment in which the
    // window is on top.
    void closeMessages() {
        ASSERT_TRUE(program_.waitForLog(L"The main window is shown"));
        std::size_t texts = 0;
        for (const wchar_t* level : {L" NOTICE\t", L" WARN\t", L" ERROR\t"})
            texts += program_.countInLog(level);
        for (std::size_t closed = 0;; ++closed) {
            unsigned long top = screen().findWindow(run_.pid());
            if (top == window_ && closed < std::min<std::size_t>(texts, 2)) top = waitForDialog();
            if (top == 0 || top == window_) return;
            screen().closeWindow(top);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (screen().findWindow(run_.pid()) == top && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // Answers the question of the dialog of the title that the last action opened with the text;
    // types nothing while another dialog is on top.
    bool answer(const std::wstring& title, const std::wstring& text) {
        return waitForDialog(title) != 0 && screen().type(text + L"\n") && waitUntilNoDialog();
    }
    // The view button "Устройства": the first below the logo, whatever the font.
    bool clickDevicesButton() { return screen().click(window_, 95, 80); }
    // The zone "Зал" and the music playlist "Утро", in a run started with "--trace".
    void makeZoneAndPlaylist() {
        // The zone tree's "Создать зону" is the control after the tree.
        const test::XServer::Area frame = area();
        ASSERT_TRUE(screen().click(window_, frame.width - 170, frame.height / 3));
        ASSERT_TRUE(screen().pressKey(XK_Tab));
        ASSERT_TRUE(screen().pressKey(XK_space));
        ASSERT_TRUE(answer(L"Создать зону", L"Зал"));
        ASSERT_TRUE(program_.waitForLog(L"Создана зона 'Зал'"));
        // The playlist view's menu ("Плейлист" follows "Устройства").
        ASSERT_TRUE(clickDevicesButton());
        ASSERT_TRUE(screen().pressKey(XK_Tab));
        ASSERT_TRUE(screen().pressKey(XK_space));
        // The operator clicks into the view once it shows: its lists are made by this first showing.
        ASSERT_TRUE(program_.waitForLog(L"redrawGuiElements"));
        ASSERT_TRUE(screen().click(window_, 300, frame.height / 2, 3));
        ASSERT_TRUE(program_.waitForLog(L"show playlist menu"));
        ASSERT_TRUE(screen().pressKey(XK_Down));
        ASSERT_TRUE(screen().pressKey(XK_Return));
        ASSERT_TRUE(answer(L"Добавление списка воспроизведения", L"Утро"));
    }
    // "Настройки" (above "Администратор" at the bottom of the view buttons); its dialog, or 0.
    unsigned long openSettings() {
        if (!screen().click(window_, 95, area().height - 86)) return 0;
        return waitForDialog();
    }

private:
    test::ProgramUnderTest& program_;
    const test::ProgramRun& run_;
    const unsigned long window_;
};

TEST(Program, StopSignalsEndItAsItsCloseDoesWithEverythingSaved) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const DefaultPortTurn turn;
        test::ProgramUnderTest program;
        // A window manager that is slow to map the main window: the notice still opens above it.
        program.screen().announceSlowWindowManager();
        // A first start: no settings file, so its notice shows once and never after a stop.
        fs::remove(program.dataFile("melvoxd.cfg"));
        auto run = program.start({"--trace"});
        const unsigned long window = program.screen().waitForWindow(run->pid());
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(program.waitForLog(L"Это первый запуск программы"));
        // It names where the passwords are set.
        EXPECT_TRUE(program.waitForLog(L"в окне «Настройки» на странице «Безопасность»: пока они не заданы"));
        ASSERT_TRUE(test::waitFor([&] { return program.screen().windowCount(run->pid()) == 2; }));
        const std::vector<unsigned long> mapped = program.screen().mapOrder(run->pid());
        ASSERT_EQ(mapped.size(), 2u);
        ASSERT_EQ(program.screen().title(mapped[0]), L"Melvox");
        ASSERT_EQ(program.screen().title(mapped[1]), L"Сообщение");
        Operator operatorOf(program, *run, window);
        operatorOf.closeMessages();

        operatorOf.makeZoneAndPlaylist();

        run->kill(signal);
        // A second signal while it stops changes nothing.
        run->kill(signal);
        EXPECT_EQ(run->wait(), 0);
        EXPECT_EQ(program.countInLog(L"Melvox v1 - Exit."), 1u);
        EXPECT_GE(program.countInLog(signal == SIGTERM ? L"stops on the SIGTERM" : L"stops on the SIGINT"),
                  1u);
        EXPECT_TRUE(fs::exists(program.dataFile("melvoxd.cfg")));

        // Started again, it has both and no first-start notice; stopped, it writes them again.
        auto again = program.start();
        ASSERT_NE(program.screen().waitForWindow(again->pid()), 0u);
        EXPECT_TRUE(program.waitForLog(L"The main window is shown", 2));
        EXPECT_EQ(program.quit(), 0);
        EXPECT_EQ(again->wait(), 0);
        EXPECT_EQ(program.countInLog(L"Это первый запуск программы"), 1u);
        EXPECT_NE(test::readWholeFile(program.dataFile("zone_collection.xml")).find("name=\"Зал\""),
                  std::string::npos);
        EXPECT_NE(test::readWholeFile(program.dataFile("list_of_playlist_music.xml")).find("name=\"Утро\""),
                  std::string::npos);
    }
}

// What the operator made is on disk within seconds, each file whole: a run killed a moment later
// loses none of it.
TEST(Program, WhatTheOperatorMadeIsOnDiskWithinSecondsAndAKillLosesNone) {
    test::ProgramUnderTest program;
    program.loudspeakers().add(1);
    auto run = program.start({"--trace"});
    const unsigned long window = program.screen().waitForWindow(run->pid());
    ASSERT_NE(window, 0u);
    Operator operatorOf(program, *run, window);
    operatorOf.closeMessages();
    ASSERT_TRUE(program.waitForLog(L"Устройство подключено: 'Устройство 02:7E:41:00:00:01'"));
    operatorOf.makeZoneAndPlaylist();
    // "&Сохранить" of the settings stands left of "Отмена" in the dialog's bottom right corner.
    const unsigned long settings = operatorOf.openSettings();
    test::XServer::Area dialog;
    ASSERT_TRUE(settings != 0 && program.screen().area(settings, dialog));
    ASSERT_TRUE(program.screen().click(settings, dialog.width - 165, dialog.height - 30));
    ASSERT_TRUE(program.waitForLog(L"buttonOkOnClick"));
    ASSERT_TRUE(operatorOf.waitUntilNoDialog());

    // The settings file gains the keys the dialog stored, which the file given to the run lacks.
    const std::pair<const char*, const char*> made[] = {
        {"zone_collection.xml", "name=\"Зал\""},
        {"list_of_playlist_music.xml", "name=\"Утро\""},
        {"device_collection.xml", "address=\"02:7E:41:00:00:01\""},
        {"melvoxd.cfg", "serviceMessage2"},
    };
    const auto holds = [&](const std::pair<const char*, const char*>& file) {
        return test::readWholeFile(program.dataFile(file.first)).find(file.second) != std::string::npos;
    };
    for (const auto& file : made) ASSERT_TRUE(test::waitFor([&] { return holds(file); })) << file.first;
    run->kill(SIGKILL);
    EXPECT_EQ(run->wait(), 128 + SIGKILL);

    // Started again it has them all: its stop writes what it read.
    auto again = program.start();
    ASSERT_NE(program.screen().waitForWindow(again->pid()), 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown", 2));
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(again->wait(), 0);
    for (const auto& file : made) EXPECT_TRUE(holds(file)) << file.first;
}

// A stop signal at any moment of the start, from the program's first instructions on: it ends in
// order with its line in the log and exit status 0, whatever step of the start it came in.
TEST(Program, AStopSignalAtAnyMomentOfTheStartEndsItInOrder) {
    test::ProgramUnderTest program;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> moment(0, 2500);
    for (std::size_t run = 1; run <= 8; ++run) {
        const int delayMs = run == 1 ? 0 : moment(random);
        SCOPED_TRACE("SIGTERM " + std::to_string(delayMs) + " ms after its handler was set");
        auto started = program.start();
        ASSERT_TRUE(started->waitForHandlerOf(SIGTERM));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        started->kill(SIGTERM);
        EXPECT_EQ(started->wait(), 0);
        EXPECT_EQ(program.countInLog(L"The program stops on the SIGTERM"), run);
        EXPECT_EQ(program.countInLog(L"Melvox v1 - Exit."), run);
    }
}

TEST(Program, StartsAndOpensItsSettingsWithoutToolkitWarnings) {
    test::ProgramUnderTest program;
    auto run = program.start({}, true);
    const unsigned long window = program.screen().waitForWindow(run->pid());
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(program.waitForLog(L"The main window is shown"));
    Operator operatorOf(program, *run, window);
    const unsigned long settings = operatorOf.openSettings();
    ASSERT_NE(settings, 0u) << "the settings did not open";
    EXPECT_FALSE(program.screenshot(*run, "program_settings").empty());
    program.screen().closeWindow(settings);
    EXPECT_TRUE(operatorOf.waitUntilNoDialog());
    EXPECT_EQ(program.quit(), 0);
    EXPECT_EQ(run->wait(), 0);
    const std::string errors = run->errorOutput();
    EXPECT_EQ(errors.find("Gtk-"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("GLib-"), std::string::npos) << errors;
}

}  // namespace
