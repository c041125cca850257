// The program started as the operator starts it, under a private X server: it comes up with
// its loudspeakers, refuses a second copy, ends on "--quit" with its files written, starts
// again after a crash, and keeps a damaged zone file aside.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/ProgramUnderTest.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

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
    ASSERT_TRUE(program.waitForLog(L"Устройство 02:7E:41:00:00:02"));
    // Seen by the operator once the two are in service.
    std::this_thread::sleep_for(std::chrono::seconds(2));
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

}  // namespace
