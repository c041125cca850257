#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/DataFolders.h"
#include "foundation/DebugOutput.h"
#include "foundation/Exceptions.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "support/DataRoot.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"

namespace {

namespace fs = std::filesystem;
using Type = libconfig::Setting::Type;

class Settings : public ::testing::Test {
protected:
    void TearDown() override { delete pref::instanceSlot().release(); }

    pref& start() {
        pref* store = pref_init(path_);
        EXPECT_TRUE(pref::instanceSlot().install(store));
        return *store;
    }

    // As the program's exit and its next start do it.
    pref& restart() {
        pref_free();
        return start();
    }

    void writeSettingsFile(const std::string& text) const { std::ofstream(file_, std::ios::binary) << text; }

    // The file as libconfig reads it, apart from the store.
    libconfig::Setting* storedSetting(libconfig::Config& config, const char* key) const {
        config.readFile(file_.c_str());
        return config.exists(key) ? &config.lookup(key) : nullptr;
    }

    test::DataRoot root_;
    const std::wstring path_ = pref::defaultPath();
    const std::string file_ = base::toUtf8(path_);
};

TEST_F(Settings, FirstStartTakesDefaultsAndTheSaveWritesThem) {
    pref& store = start();
    EXPECT_TRUE(store.isNew());
    EXPECT_EQ(fs::path(file_).filename(), "melvoxd.cfg");
    EXPECT_EQ(pref::getInt(setting::multicastBasePort), 11990);
    EXPECT_FALSE(fs::exists(file_));

    ASSERT_TRUE(store.save());
    libconfig::Config config;
    libconfig::Setting* basePort = storedSetting(config, "multicast.basePort");
    ASSERT_NE(basePort, nullptr);
    EXPECT_TRUE(config.lookup("multicast").isGroup());
    EXPECT_EQ(basePort->getType(), Type::TypeInt);
    EXPECT_EQ(static_cast<int>(*basePort), 11990);
    // Nothing of the save is left beside the file.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file_).parent_path()), fs::directory_iterator()),
              1);
}

// The exit writes the settings only when they differ from the file (a new file takes its place):
// a stalled disk holds no stop for settings that did not change.
TEST_F(Settings, TheExitWritesTheSettingsOnlyWhenTheyChanged) {
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        pref& store = start();
        pref::setInt("test.value", 1);
        ASSERT_TRUE(store.save());
        struct stat written {};
        ASSERT_EQ(::stat(file_.c_str(), &written), 0);
        if (changed) pref::setInt("test.value", 2);
        EXPECT_TRUE(pref_free());
        struct stat after {};
        ASSERT_EQ(::stat(file_.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino != written.st_ino, changed);
    }
}

TEST_F(Settings, GetOrCreateOfEveryTypeKeepsTheFirstValueAcrossARestart) {
    pref* store = &start();
    EXPECT_EQ(pref::getInt("group.number", 5), 5);
    EXPECT_EQ(pref::getInt("group.number", 6), 5);
    EXPECT_TRUE(pref::getBool("group.flag", true));
    EXPECT_TRUE(pref::getBool("group.flag", false));
    EXPECT_EQ(pref::getString(store, "group.deeper.text", "first"), "first");
    EXPECT_EQ(pref::getString(store, "group.deeper.text", "second"), "first");
    EXPECT_EQ(pref::getWString(setting::placePathDirGong), L"");
    pref::setWString(setting::placePathDirGong.key, L"/home/оператор/Гонги");
    pref::setInt(setting::multicastTtl.key, 4);
    pref::setBool(setting::multicastZeroPing.key, false);
    pref::setString(setting::debugLevel.key, "trace2");

    store = &restart();
    EXPECT_FALSE(store->isNew());
    EXPECT_EQ(pref::getInt("group.number", 6), 5);
    EXPECT_TRUE(pref::getBool("group.flag", false));
    EXPECT_EQ(pref::getString(store, "group.deeper.text", "second"), "first");
    EXPECT_EQ(pref::getWString(setting::placePathDirGong), L"/home/оператор/Гонги");
    EXPECT_EQ(pref::getInt(setting::multicastTtl), 4);
    EXPECT_FALSE(pref::getBool(setting::multicastZeroPing));
    EXPECT_EQ(pref::getString(setting::debugLevel), "trace2");
    // Narrow text of the file is in the "Russian" code page, not UTF-8.
    EXPECT_NE(test::readWholeFile(file_).find("\xEE\xEF\xE5\xF0\xE0\xF2\xEE\xF0"), std::string::npos);
}

TEST_F(Settings, ValuesOfAnotherTypeOrShapeAreReplacedByTheReadersDefault) {
    test::LogCapture log;
    writeSettingsFile(
        "multicast = { basePort = \"12000\"; ttl = 3; };\nmainWindow = 5;\n"
        "debug = { log = \"x\"; level = \"trace\"; };\n");
    pref& store = start();
    EXPECT_FALSE(store.isNew());
    EXPECT_EQ(pref::getInt(setting::multicastTtl), 3);
    EXPECT_EQ(pref::getInt(setting::multicastBasePort), 11990);
    // A key through a value replaces the value by a group.
    EXPECT_EQ(pref::getInt(setting::mainWindowTop), -1);
    EXPECT_FALSE(pref::getBool(setting::debugLogVlclib));
    EXPECT_EQ(pref::getString(setting::debugLevel), "trace");
    EXPECT_EQ(store.find("mainWindow", Type::TypeInt), nullptr);
    EXPECT_NE(store.find("mainWindow", Type::TypeGroup), nullptr);
    EXPECT_NE(store.find("debug.log.vlclib", Type::TypeBoolean), nullptr);
    EXPECT_TRUE(log.contains(L"'mainWindow'", L"WARN"));
    EXPECT_TRUE(log.contains(L"'debug.log'", L"WARN"));

    ASSERT_TRUE(store.save());
    libconfig::Config config;
    libconfig::Setting* basePort = storedSetting(config, "multicast.basePort");
    ASSERT_NE(basePort, nullptr);
    EXPECT_EQ(basePort->getType(), Type::TypeInt);
    EXPECT_EQ(static_cast<int>(*basePort), 11990);
}

TEST_F(Settings, FindAndCreateOnAGroup) {
    pref& store = start();
    pref::setInt(setting::mainWindowTop.key, 10);
    for (const char* key : {"mainWindow", "mainWindow.top.deeper", "mainWindow.absent", ""}) {
        EXPECT_EQ(store.find(key, Type::TypeInt), nullptr) << key;
    }
    auto guard = store.lock();
    libconfig::Setting& replaced = store.create("mainWindow", Type::TypeInt);
    replaced = 7;
    EXPECT_EQ(store.find("mainWindow.top", Type::TypeInt), nullptr);
    EXPECT_EQ(store.find("mainWindow", Type::TypeInt), &replaced);
    // Asking again for the same type hands back the same setting with its value.
    EXPECT_EQ(&store.create("mainWindow", Type::TypeInt), &replaced);
    EXPECT_EQ(static_cast<int>(replaced), 7);
}

TEST_F(Settings, UnreadableFileIsKeptAsideAndTheRunGoesOnTheDefaults) {
    test::ManualClock clock;
    clock.setLocal(boost::posix_time::ptime(
        boost::gregorian::date(2024, 3, 5),
        boost::posix_time::hours(14) + boost::posix_time::minutes(7) + boost::posix_time::seconds(9)));
    test::LogCapture log;
    const std::string broken = "security = { administrator = \"0A29\"; };\nmulticast = { basePort = ; };\n";
    writeSettingsFile(broken);

    pref& store = start();
    EXPECT_TRUE(store.isNew());
    EXPECT_EQ(store.find("security.administrator", Type::TypeString), nullptr);
    EXPECT_EQ(pref::getInt(setting::multicastBasePort), 11990);

    const std::string aside = file_ + ".broken-20240305-140709";
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_EQ(test::readWholeFile(aside), broken);
    EXPECT_TRUE(log.contains(base::fromUtf8(aside), L"IMPOR"));

    ASSERT_TRUE(store.save());
    libconfig::Config config;
    EXPECT_NE(storedSetting(config, "multicast.basePort"), nullptr);
    EXPECT_EQ(storedSetting(config, "security"), nullptr);

    // A second damaged file within the same second does not take the place of the first.
    delete pref::instanceSlot().release();
    writeSettingsFile("not libconfig at all {");
    EXPECT_TRUE(start().isNew());
    EXPECT_EQ(test::readWholeFile(aside), broken);
    EXPECT_EQ(test::readWholeFile(aside + "-2"), "not libconfig at all {");
}

TEST_F(Settings, SaveIntoMissingFolderFailsOnTheDebuggerOutputAndInTheLog) {
    test::LogCapture log(base::Log::INFO);
    std::mutex lock;
    std::vector<std::wstring> lines;
    debug::setTraceFlag(true);
    debug::setDebuggerSink([&](const std::wstring& text) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(text);
    });
    const std::string missing = root_.path() + "/no/such/folder/melvoxd.cfg";
    pref* store = pref_init(base::fromUtf8(missing));
    pref::getString(store, "a", "x");
    const bool saved = store->save();
    delete store;
    debug::setDebuggerSink(nullptr);
    debug::setTraceFlag(false);

    EXPECT_FALSE(saved);
    EXPECT_FALSE(fs::exists(fs::path(missing).parent_path()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(L"pref::save(). Caught exception in pref::save()"), std::wstring::npos);
    // As a state file that cannot be saved: an ERROR line, and so a box, naming the file.
    EXPECT_TRUE(
        log.contains(L"Ошибка сохранения настроек в файл '" + base::fromUtf8(missing) + L"'", L"ERROR"));

    // Without a path the store works but cannot be saved.
    const std::unique_ptr<pref> unsaved(pref_init(L""));
    EXPECT_TRUE(unsaved->isNew());
    EXPECT_EQ(pref::getString(unsaved.get(), "a.b", "c"), "c");
    EXPECT_FALSE(unsaved->save());
}

TEST_F(Settings, MissingStoreEndsTheProgram) {
    EXPECT_THROW(pref_free(), exception::StopProgram);
    EXPECT_THROW(pref::getInt(setting::multicastTtl), exception::StopProgram);
    EXPECT_THROW(pref::setBool("a", true), exception::StopProgram);
}

class SettingsDeathTest : public Settings {};

TEST_F(SettingsDeathTest, SaveKilledHalfwayLeavesThePreviousFile) {
    pref& store = start();
    pref::setInt("kept.value", 1);
    ASSERT_TRUE(store.save());
    const std::string previous = test::readWholeFile(file_);

    EXPECT_EXIT(
        {
            for (int i = 0; i < 100; ++i) pref::setInt("filler.key" + std::to_string(i), i);
            test::limitFileSize(previous.size() + 64, test::OnExcess::kill);
            store.save();
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(test::readWholeFile(file_), previous);

    EXPECT_EXIT(
        {
            for (int i = 0; i < 100; ++i) pref::setInt("filler.key" + std::to_string(i), i);
            test::limitFileSize(previous.size() + 64, test::OnExcess::fail);
            std::_Exit(store.save() ? 0 : 3);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(test::readWholeFile(file_), previous);
    const auto temporaries = [this] {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(fs::path(file_).parent_path()))
            count += entry.path().extension() == ".tmp" ? 1 : 0;
        return count;
    };
    EXPECT_EQ(temporaries(), 1);
    // The next start removes what the killed save left.
    EXPECT_EQ(restart().find("filler", Type::TypeGroup), nullptr);
    EXPECT_EQ(temporaries(), 0);
}

TEST_F(Settings, ValuesTheWriterCannotWriteBackAreDroppedOnReading) {
    writeSettingsFile("volume = { level = 1e999; low = -1e999; fine = 2.5; kept = 5; };\n");
    test::LogCapture capture;
    pref& store = start();
    EXPECT_FALSE(store.isNew());
    EXPECT_TRUE(capture.contains(L"'volume.level' не является конечным числом", L"WARN"));
    EXPECT_TRUE(store.save());
    EXPECT_FALSE(restart().isNew());
    EXPECT_EQ(pref::getInt("volume.kept", 0), 5);
    EXPECT_EQ(test::readWholeFile(file_).find("inf"), std::string::npos);
    EXPECT_NE(test::readWholeFile(file_).find("2.5"), std::string::npos);
}

TEST_F(Settings, TextsLongerThanTheirKeyCanMeanAreNeitherKeptNorWrittenBack) {
    const std::string tooLong(setting::kLongestText + 1, 'p');
    const std::string longest(setting::kLongestText, 'l');
    // Within the bound of its own key.
    const std::string fingerprints(setting::kLongestText + 1, 'f');
    writeSettingsFile("place = { pathDirGong = \"" + tooLong + "\"; pathFileGong = \"" + longest +
                      "\"; };\nlater = { note = \"" + tooLong + "\"; };\nscheduler = { toldRecords = \"" +
                      fingerprints + "\"; };\nmulticast = { basePort = 7; };\n");
    test::LogCapture capture;
    pref& store = start();
    EXPECT_FALSE(store.isNew());
    EXPECT_TRUE(pref::getWString(setting::placePathDirGong).empty());
    EXPECT_EQ(pref::getWString(setting::placePathFileGong).size(), longest.size());
    EXPECT_EQ(pref::getString(setting::schedulerToldRecords), fingerprints);
    EXPECT_EQ(pref::getInt(setting::multicastBasePort), 7);
    EXPECT_TRUE(capture.contains(L"'place.pathDirGong' длиннее 4096 байт и не прочитана", L"WARN"));
    EXPECT_TRUE(capture.contains(L"'later.note' длиннее 4096 байт", L"WARN"));
    // Nor is one set.
    pref::setString(setting::placePathDirGong.key, tooLong);
    EXPECT_TRUE(pref::getWString(setting::placePathDirGong).empty());
    EXPECT_TRUE(capture.contains(L"'place.pathDirGong' длиннее 4096 байт и не сохранена", L"WARN"));
    pref::setString(setting::placePathDirAlarmMessage.key, longest);
    EXPECT_EQ(pref::getWString(setting::placePathDirAlarmMessage).size(), longest.size());
    ASSERT_TRUE(store.save());
    const std::string saved = test::readWholeFile(file_);
    EXPECT_EQ(saved.find(tooLong), std::string::npos);
    EXPECT_NE(saved.find(fingerprints), std::string::npos);
}

// Each row reads in a child process under an alarm: a reader that waits for a pipe is killed there,
// which fails the row and nothing else.
TEST_F(SettingsDeathTest, WhatIsNoSettingsFileOfTheProgramIsKeptAsideUnwaitedForAndUnread) {
    constexpr unsigned kHangGuardSeconds = 60;
    const std::string valid = "multicast = { basePort = 7; };\n";
    const auto validOfSize = [&](std::size_t size) {
        return valid + "#" + std::string(size - valid.size() - 2, 'x') + "\n";
    };
    enum Kind { pipe, pastTheBound, atTheBound, includedPipe, nulByte, deepGroups, manyShortSettings };
    struct Row {
        Kind kind;
        const char* name;
        bool keptAside;
        std::wstring why;  // in the log line of a file kept aside
    };
    const Row rows[] = {
        {pipe, "a named pipe", true, L"это не обычный файл"},
        {pastTheBound, "a byte past the bound", true,
         L"файл больше " + std::to_wstring(pref::kLargestFile) + L" байт"},
        {atTheBound, "a valid file of the bound's size", false, L""},
        {includedPipe, "a line that includes a named pipe", true, L"в нём есть строка @include"},
        {nulByte, "a NUL byte after the settings", true, L"в нём есть нулевой байт"},
        {deepGroups, "groups nested 17 deep", true, L"группы вложены глубже 16 уровней"},
        {manyShortSettings, "short settings that written back would take more than the bound", true,
         L"записанные заново, его настройки заняли бы больше " + std::to_wstring(pref::kLargestWrittenBack) +
             L" байт"},
    };
    const fs::path folder = fs::path(file_).parent_path();
    for (const Row& row : rows) {
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
        switch (row.kind) {
            case pipe:
                ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
                break;
            case pastTheBound:
                writeSettingsFile(validOfSize(pref::kLargestFile + 1));
                break;
            case atTheBound:
                writeSettingsFile(validOfSize(pref::kLargestFile));
                break;
            case includedPipe:
                ASSERT_EQ(::mkfifo((folder / "more.cfg").c_str(), 0600), 0);
                writeSettingsFile(valid + "  @include \"" + (folder / "more.cfg").string() + "\"\n");
                break;
            case nulByte:
                writeSettingsFile(valid + std::string(1, '\0') +
                                  "security = { administrator = \"0A29\"; };\n");
                break;
            case deepGroups: {
                std::string nested = "a = 1;";
                for (int depth = 0; depth < 17; ++depth) nested = "g = { " + nested + " };";
                writeSettingsFile(valid + nested + "\n");
                break;
            }
            case manyShortSettings: {
                std::string many = valid + "later = { ";
                for (int n = 0; many.size() < pref::kLargestWrittenBack; ++n)
                    many += "a" + std::to_string(n) + "=1;";
                writeSettingsFile(many + " };\n");
                break;
            }
        }
        // The child's exit code says what went wrong: 1 the first-start mark, 2 the value read, 3 the
        // file left in place, 4 the log line.
        EXPECT_EXIT(
            {
                ::alarm(kHangGuardSeconds);
                test::LogCapture log;
                const std::unique_ptr<pref> store(pref_init(path_));
                if (store->isNew() != row.keptAside) std::_Exit(1);
                if (!row.keptAside) {
                    const libconfig::Setting* port = store->find("multicast.basePort", Type::TypeInt);
                    std::_Exit(port != nullptr && static_cast<int>(*port) == 7 ? 0 : 2);
                }
                if (fs::symlink_status(file_).type() != fs::file_type::not_found) std::_Exit(3);
                if (!log.contains(L"не прочитан (" + row.why + L"), он сохранён как", L"IMPOR"))
                    std::_Exit(4);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << row.name;
        if (row.keptAside) {
            std::size_t kept = 0;
            for (const auto& entry : fs::directory_iterator(folder))
                kept += entry.path().filename().string().rfind("melvoxd.cfg.broken-", 0) == 0;
            EXPECT_EQ(kept, 1u) << row.name;
        }
    }
}

TEST_F(Settings, ConcurrentReadersAndWritersKeepEveryValue) {
    pref& store = start();
    constexpr int kThreads = 8;
    constexpr int kRounds = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &store] {
            const std::string counter = "threads.t" + std::to_string(t) + ".counter";
            for (int round = 0; round < kRounds; ++round) {
                pref::setInt(counter, pref::getInt(counter, 0) + 1);
                // Readers of one key with different types replace it under each other.
                if (t % 2 == 0) {
                    pref::getInt("shared.value", round);
                } else {
                    pref::getString(&store, "shared.value", "text");
                }
                pref::setWString("shared.name", L"Имя");
                if (round % 50 == 0) store.save();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    restart();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(pref::getInt("threads.t" + std::to_string(t) + ".counter", 0), kRounds) << t;
    }
    EXPECT_EQ(pref::getWString("shared.name"), L"Имя");
}

}  // namespace
