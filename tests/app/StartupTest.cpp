// The start-up's decisions and the two kernel objects behind a single running copy: the running
// mark and the stop channel.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>

#include "app/DebugPref.h"
#include "app/QuitOption.h"
#include "app/ServiceCheck.h"
#include "app/SingleInstance.h"
#include "app/StartupDecisions.h"
#include "app/StopChannel.h"
#include "app/StopSignals.h"
#include "foundation/LogCalls.h"
#include "foundation/Settings.h"
#include "support/DataRoot.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"
#include "support/TempFolder.h"

namespace {

using app::StartDecision;

TEST(Startup, DecisionOfQuitOptionAndRunningCopy) {
    const std::tuple<bool, bool, StartDecision> cases[] = {
        {false, false, StartDecision::start},
        {false, true, StartDecision::refuseSecond},
        {true, true, StartDecision::askRunningToStop},
        {true, false, StartDecision::endQuietly},
    };
    for (const auto& [quit, running, decision] : cases) EXPECT_EQ(app::decideStart(quit, running), decision);
}

// A start that finds a settings file it cannot read keeps it aside and runs on the defaults: it says
// so in a box of its own, and is no first start.
TEST(Startup, OneNoticeAtAFirstStartAndNoneAfter) {
    const std::wstring where = L"в окне «Настройки» на странице «Безопасность»: пока они не заданы";
    const std::wstring alarmPassword = L"воспроизведения тревог";
    const std::wstring off =
        L"тревожные функции на этом головном узле выключены (настройка mainWindow.alarmButtons)";
    const std::wstring first = L"Это первый запуск программы";
    const std::wstring defaults = L"Программа работает с настройками по умолчанию, пока их не зададут снова";
    const std::wstring kept = L"/melvoxd.cfg.broken-";
    const std::string past = "#" + std::string(pref::kLargestFile, 'x');
    struct Row {
        // The settings file a start reads ("" none); without one the row gives the start's facts.
        std::optional<std::string> settings;
        bool firstStart, alarmFunctions;
        // What the start tells holds, and does not hold.
        std::vector<std::wstring> holds, lacks;
    };
    const Row rows[] = {
        {std::nullopt, false, false, {}, {}},
        {std::nullopt, false, true, {}, {}},
        {std::nullopt, true, true, {where, alarmPassword, L"тревожные сообщения не запускаются"}, {off}},
        // No alarm-playback password to set where the page does not show its box.
        {std::nullopt, true, false, {where, off, L"интерфейс не блокируется"}, {alarmPassword}},
        {"", true, false, {first, off}, {kept}},
        {"multicast = { basePort = ; };\n", false, false, {L"(syntax error", kept, defaults, off}, {first}},
        {past, false, false, {L"(файл больше 65536 байт)", kept, defaults, off}, {first}},
        {"@include \"a\"\n", false, false, {L"(в нём есть строка @include)", kept, defaults, off}, {first}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        bool firstStart = row.firstStart;
        // The boxes of the start, their lines escaped as the log has them.
        std::wstring told;
        if (row.settings) {
            test::DataRoot root;
            test::LogCapture log;
            const std::string file = root.dataFolder() + "/melvoxd.cfg";
            std::filesystem::create_directories(root.dataFolder());
            if (!row.settings->empty()) std::ofstream(file, std::ios::binary) << *row.settings;
            app::loadDebugPref(false);
            firstStart = app::isFirstStart(*pref::instanceSlot().peek());
            delete pref::instanceSlot().release();
            debug::resetRecentMessages();
            for (const test::LogLine& line : log.find(L"", L"WARN")) told += line.message;
        }
        EXPECT_EQ(firstStart, row.firstStart);
        const auto notice = app::startNotice(firstStart, row.alarmFunctions);
        EXPECT_EQ(notice.has_value(), row.firstStart);
        if (notice) {
            EXPECT_EQ(notice->rfind(L"После первого запуска в общих настройках необходимо сменить пароль и "
                                    L"выбрать сетевой интерфейс для вещания\nЭто первый запуск программы.\n",
                                    0),
                      0u);
            told += *notice;
        }
        for (const std::wstring& text : row.holds) EXPECT_NE(told.find(text), std::wstring::npos) << told;
        for (const std::wstring& text : row.lacks) EXPECT_EQ(told.find(text), std::wstring::npos) << told;
    }
}

// A damaged settings file that cannot be renamed aside is never written over: the box says so and
// what it costs, and the stop's save leaves the file as it found it.
TEST(Startup, ASettingsFileNeitherReadNorKeptAsideIsLeftAsItIs) {
    test::DataRoot root;
    test::LogCapture log;
    std::filesystem::create_directories(root.dataFolder());
    // Its name with the mark of a file kept aside is longer than a name may be.
    const std::string file = root.dataFolder() + "/" + std::string(240, 's') + ".cfg";
    const std::string damaged = "security = { administrator = \"0A29\"; };\nmulticast = { basePort = ; };\n";
    std::ofstream(file, std::ios::binary) << damaged;
    pref store(base::fromUtf8(file));
    ASSERT_TRUE(store.keptAs().empty());
    const std::optional<std::wstring> notice = app::unreadSettingsNotice(store);
    ASSERT_TRUE(notice);
    EXPECT_NE(notice->find(L"он остаётся как есть,\nи настройки этого запуска не будут сохранены"),
              std::wstring::npos);
    EXPECT_FALSE(store.save());
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
    EXPECT_TRUE(log.contains(L"не прочитан и оставлен как есть", L"ERROR"));
}

TEST(Startup, InterfaceChoice) {
    os::NetworkInterface lan;
    lan.name = L"eth0";
    lan.ip = "10.20.0.5";
    lan.up = true;
    os::NetworkInterface renumbered = lan;
    renumbered.ip = "10.20.0.9";
    struct Case {
        std::string saved;
        std::wstring name;
        std::vector<os::NetworkInterface> interfaces;
        std::string ip;
        bool ask;
    };
    const Case cases[] = {
        {"10.20.0.5", L"eth0", {lan}, "10.20.0.5", false},
        {"127.0.0.1", L"", {}, "127.0.0.1", false},               // loopback never goes away
        {"", L"", {lan}, "10.20.0.5", false},                     // first start: the guess, no question
        {"10.20.0.5", L"eth0", {renumbered}, "10.20.0.9", true},  // gone: the same adapter, confirmed
        {"10.20.0.5", L"eth0", {}, "", true},                     // gone and nothing else there
    };
    for (const Case& c : cases) {
        const app::InterfaceChoice choice = app::chooseInterface(c.saved, c.name, c.interfaces);
        EXPECT_EQ(choice.ip, c.ip) << c.saved;
        EXPECT_EQ(choice.ask, c.ask) << c.saved;
    }
}

TEST(Startup, RunningMarkIsHeldOnceAndFreedWithItsHolder) {
    test::TempFolder folder;
    auto first = std::make_unique<app::SingleInstance>(folder.widePath());
    ASSERT_TRUE(first->acquired());
    app::SingleInstance second(folder.widePath());
    EXPECT_FALSE(second.acquired());
    EXPECT_TRUE(second.anotherCopyRuns());
    first.reset();
    EXPECT_TRUE(app::SingleInstance(folder.widePath()).acquired());
    // A folder without the mark's file is not a running copy.
    app::SingleInstance nowhere(folder.widePath() + L"/missing");
    EXPECT_FALSE(nowhere.acquired());
    EXPECT_FALSE(nowhere.anotherCopyRuns());
    // A copy that could take the mark only in the folder beside (its data folder read-only then) runs
    // for every copy that looks into both.
    test::TempFolder beside;
    const app::SingleInstance besideOnly(
        std::vector<std::wstring>{folder.widePath() + L"/missing", beside.widePath()});
    ASSERT_TRUE(besideOnly.acquired());
    const app::SingleInstance next(std::vector<std::wstring>{folder.widePath(), beside.widePath()});
    EXPECT_FALSE(next.acquired());
    EXPECT_TRUE(next.anotherCopyRuns());
}

TEST(Startup, StopChannelTakesRequestsAndAStaleSocketBlocksNothing) {
    using Answer = app::StopChannel::Answer;
    constexpr auto kDeadline = std::chrono::seconds(30);
    test::LogCapture log;
    test::TempFolder folder;
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), kDeadline), Answer::noListener);

    // What a crashed copy leaves: a socket file nobody listens on.
    const std::string path = folder.file("MELVOX_STOP_APP");
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), kDeadline), Answer::noListener);

    std::atomic<int> requests{0};
    auto channel = std::make_unique<app::StopChannel>(folder.widePath(), [&] { ++requests; });
    ASSERT_TRUE(channel->listening());
    // Both asking copies wait until the running one has written everything: its channel ends.
    auto first = std::async(std::launch::async,
                            [&] { return app::StopChannel::requestStop(folder.widePath(), kDeadline); });
    auto second = std::async(std::launch::async,
                             [&] { return app::StopChannel::requestStop(folder.widePath(), kDeadline); });
    EXPECT_TRUE(test::waitFor([&] { return requests.load() == 2; }));
    // A copy that does not wait long enough hears no confirmation.
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), std::chrono::milliseconds(1)),
              Answer::notConfirmed);
    channel.reset();
    EXPECT_EQ(first.get(), Answer::stopped);
    EXPECT_EQ(second.get(), Answer::stopped);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), kDeadline), Answer::noListener);

    // A copy whose state could not be written says so as it ends.
    channel = std::make_unique<app::StopChannel>(folder.widePath(), [&] { ++requests; });
    auto unsaved = std::async(std::launch::async,
                              [&] { return app::StopChannel::requestStop(folder.widePath(), kDeadline); });
    EXPECT_TRUE(test::waitFor([&] { return requests.load() == 4; }));
    channel->tellStateSaved(false);
    channel.reset();
    EXPECT_EQ(unsaved.get(), Answer::stoppedUnsaved);
}

TEST(Startup, StopRequestToACopyThatNeverAnswers) {
    test::TempFolder folder;
    // A listener that takes the connection but never reads it.
    const int mute = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder.file("MELVOX_STOP_APP");
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(mute, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(mute, 1), 0);
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), std::chrono::seconds(30)),
              app::StopChannel::Answer::noAnswer);
    ::close(mute);
}

// The sockets this process holds.
std::size_t socketCount() {
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code unreadable;
        count += std::filesystem::read_symlink(entry.path(), unreadable).string().rfind("socket:", 0) == 0;
    }
    return count;
}

// A connection to the channel that sends nothing, once the channel has taken it.
int idleClientOf(const std::string& path) {
    const std::size_t before = socketCount();
    const int idle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(idle, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // Its own socket and the one the channel accepted.
    EXPECT_TRUE(test::waitFor([&] { return socketCount() >= before + 2; }));
    return idle;
}

// Neither ended nor answered by the other side.
bool stillOpen(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 0;
}

TEST(Startup, StopChannelIsTheOwnersAloneWhateverTheUmask) {
    test::TempFolder folder;
    const mode_t previous = ::umask(0);
    auto channel = std::make_unique<app::StopChannel>(folder.widePath(), [] {});
    ::umask(previous);
    ASSERT_TRUE(channel->listening());
    struct stat status {};
    ASSERT_EQ(::stat(folder.file("MELVOX_STOP_APP").c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, static_cast<mode_t>(0600));
}

// The tests run as the only user of their namespace: the channel is made another user's here, so
// that this process is the peer of another user, with its credentials told by the kernel.
TEST(Startup, StopChannelRefusesAPeerOfAnotherUser) {
    app::StopChannel::forgetRefusedPeers();
    test::LogCapture log;
    test::TempFolder folder;
    std::atomic<int> requests{0};
    auto channel = std::make_unique<app::StopChannel>(
        folder.widePath(), [&] { ++requests; }, -1, ::geteuid() + 1);
    ASSERT_TRUE(channel->listening());
    EXPECT_EQ(app::StopChannel::requestStop(folder.widePath(), std::chrono::seconds(30)),
              app::StopChannel::Answer::noAnswer);
    EXPECT_TRUE(log.contains(
        L"A stop request of another user (" + std::to_wstring(::geteuid()) + L") was refused", L"IMPOR"));
    channel.reset();
    EXPECT_EQ(requests.load(), 0);

    // Nor does an asking copy believe a listener of another user: asked for the user it is not,
    // the channel hears nothing, and "--quit" says why it could not stop the program.
    channel = std::make_unique<app::StopChannel>(folder.widePath(), [&] { ++requests; });
    const app::StopChannel::Answer answer =
        app::StopChannel::requestStop(folder.widePath(), std::chrono::seconds(30), ::geteuid() + 1);
    EXPECT_EQ(answer, app::StopChannel::Answer::otherUser);
    channel.reset();
    EXPECT_EQ(requests.load(), 0);
    const app::QuitOutcome outcome = app::quitOutcome(true, answer);
    EXPECT_NE(outcome.status, 0);
    EXPECT_NE(outcome.line.find("другого пользователя"), std::string::npos) << outcome.line;
}

// A copy that connects and says nothing holds up neither a stop signal nor a stop request behind
// it: each is taken while that connection still waits for its request.
TEST(Startup, AnIdleClientDelaysNeitherASignalNorASecondQuit) {
    ASSERT_TRUE(app::StopSignals::install());
    // The idle connection's deadline never passes: only a channel that waits for it keeps the
    // stop behind it, however late this test runs.
    test::ManualClock clock;
    clock.holdSteady();
    for (const bool bySignal : {true, false}) {
        SCOPED_TRACE(bySignal ? "signal" : "quit");
        test::TempFolder folder;
        std::atomic<int> idle{-1};
        std::atomic<int> stops{0};
        std::atomic<bool> idleOpenAtStop{false};
        auto channel = std::make_unique<app::StopChannel>(
            folder.widePath(),
            [&] {
                idleOpenAtStop = stillOpen(idle.load());
                ++stops;
            },
            app::StopSignals::fd());
        ASSERT_TRUE(channel->listening());
        idle = idleClientOf(folder.file("MELVOX_STOP_APP"));
        std::future<app::StopChannel::Answer> quit;
        if (bySignal) {
            ::raise(SIGTERM);
        } else {
            quit = std::async(std::launch::async, [&] {
                return app::StopChannel::requestStop(folder.widePath(), std::chrono::seconds(30));
            });
        }
        ASSERT_TRUE(test::waitFor([&] { return stops.load() == 1; }));
        EXPECT_TRUE(idleOpenAtStop.load());
        channel.reset();
        if (!bySignal) {
            EXPECT_EQ(quit.get(), app::StopChannel::Answer::stopped);
        }
        ::close(idle);
    }
}

TEST(Startup, SecondGenerationServiceAskedOfSystemd) {
    test::TempFolder folder;
    const std::string systemctl = folder.file("systemctl");
    // Active only for the second-generation unit, as "systemctl is-active --quiet" tells it.
    std::ofstream(systemctl) << "#!/bin/sh\n[ \"$3\" = \"" << app::kSecondGenerationUnit << "\" ]\n";
    std::filesystem::permissions(systemctl, std::filesystem::perms::owner_all);
    EXPECT_TRUE(app::isServiceActive(app::kSecondGenerationUnit, folder.path(), systemctl));
    EXPECT_FALSE(app::isServiceActive("other.service", folder.path(), systemctl));
    EXPECT_FALSE(app::isServiceActive(app::kSecondGenerationUnit, folder.file("no-systemd"), systemctl));
    EXPECT_FALSE(app::isServiceActive(app::kSecondGenerationUnit, folder.path(), folder.file("missing")));
}

}  // namespace
