// The media as the drive panel sees them: the mount table with its escapes, which mounts are
// media and of which kind with which label, which medium a removal takes a playing file from,
// the saved playback state, a scheduled drive that is not mounted, and a listing stopped midway.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/TextConversion.h"
#include "panels/Drives.h"
#include "panels/PlaybackDrive.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

using frm::Drive;

TEST(Drives, TheMountTableWithItsEscapes) {
    const std::string table =
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "/dev/sdb1 /media/user/USB\\040DISK vfat rw,nosuid 0 0\n"
        "/dev/sr0 /run/media/user/CD\\011\\134x iso9660 ro 0 0\n"
        "broken-line\n"
        "\n"
        "/dev/sdc1 /media/user/A\\04 vfat rw 0 0\n";
    const std::vector<frm::Mount> mounts = frm::parseMountTable(table);
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[1].mountPoint, "/media/user/USB DISK");
    EXPECT_EQ(mounts[1].type, "vfat");
    EXPECT_EQ(mounts[2].mountPoint, "/run/media/user/CD\t\\x");
    // An escape cut short stays as it is.
    EXPECT_EQ(mounts[3].mountPoint, "/media/user/A\\04");
}

TEST(Drives, OnlyMountsBelowTheMediaFoldersAreMediaOpticalByTheirFileSystem) {
    const test::TempFolder folder;
    const std::string device = folder.file("sdb1");
    std::ofstream(device) << "";
    std::filesystem::create_directory(folder.file("by-label"));
    std::filesystem::create_symlink(device, folder.file("by-label/USB\\x20DISK"));
    const std::vector<frm::Mount> mounts = {
        {device, "/media/user/STICK", "vfat"},   {"/dev/sr0", "/run/media/user/CD", "iso9660"},
        {"/dev/sr1", "/media/user/DVD", "udf"},  {"tmpfs", "/media", "tmpfs"},
        {"/dev/sdd1", "/mediax/user/A", "vfat"}, {"/dev/sda1", "/", "ext4"},
        {"/dev/sde1", "/run/media/B", "ntfs"},
    };
    const std::vector<Drive> drives = frm::mediaOf(mounts, folder.file("by-label"));
    const std::tuple<std::wstring, std::wstring, int> expected[] = {
        {L"/media/user/STICK", L"USB DISK", frm::removableDrive},
        {L"/run/media/user/CD", L"/run/media/user/CD", frm::opticalDrive},
        {L"/media/user/DVD", L"/media/user/DVD", frm::opticalDrive},
        {L"/run/media/B", L"/run/media/B", frm::removableDrive},
    };
    ASSERT_EQ(drives.size(), std::size(expected));
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const auto& [mountPoint, label, kind] = expected[i];
        EXPECT_EQ(drives[i].mountPoint, mountPoint);
        EXPECT_EQ(drives[i].label, label);
        EXPECT_EQ(drives[i].kind, kind);
    }
}

TEST(Drives, ARemovalStopsOnlyWhatPlaysFromTheRemovedMedium) {
    const std::vector<Drive> before = {{L"/media/u/DISK", L"DISK", frm::removableDrive},
                                       {L"/media/u/CD", L"CD", frm::opticalDrive}};
    const std::vector<Drive> after = {before[1]};
    const std::tuple<std::wstring, std::optional<std::wstring>> cases[] = {
        {L"/media/u/DISK/music/a.mp3", L"/media/u/DISK"}, {L"/media/u/CD/track.wav", std::nullopt},
        {L"/media/u/DISK2/a.mp3", std::nullopt},          {L"/media/u/DISK", std::nullopt},
        {L"http://radio.example/stream", std::nullopt},   {L"adev://test.monitor", std::nullopt},
    };
    for (const auto& [path, removed] : cases)
        EXPECT_EQ(frm::removedMediumHolding(before, after, path), removed);
    EXPECT_EQ(frm::removedMediumHolding(before, before, L"/media/u/DISK/a.mp3"), std::nullopt);
}

TEST(Drives, ThePlaybackStateKeepsOnlyWhatItHas) {
    const frm::DevicePlayback full{L"/media/u/DISK", L"/media/u/DISK/a.mp3", true};
    const auto tree = frm::devicePlaybackTree(full);
    EXPECT_EQ(tree.get<std::wstring>(L"device.playback"), L"true");
    const frm::DevicePlayback back = frm::devicePlaybackFrom(tree);
    EXPECT_EQ(back.disk, full.disk);
    EXPECT_EQ(back.current, full.current);
    EXPECT_TRUE(back.playback);

    const auto empty = frm::devicePlaybackTree({});
    ASSERT_TRUE(empty.get_child_optional(L"device"));
    EXPECT_TRUE(empty.get_child(L"device").empty());
    EXPECT_TRUE(frm::devicePlaybackFrom(boost::property_tree::wptree()).disk.empty());
    boost::property_tree::wptree odd;
    odd.put(L"device.disk", L"/media/u/DISK");
    odd.put(L"device.playback", L"yes");
    EXPECT_FALSE(frm::devicePlaybackFrom(odd).playback);
}

TEST(Drives, AScheduledDriveThatIsNotMountedPlaysNothing) {
    test::LogCapture capture;
    // A folder with playable files, as a mount point left behind, is no medium.
    const test::TempFolder folder;
    std::ofstream(folder.file("a.mp3")) << "x";
    for (const std::wstring& mountPoint : {folder.widePath(), std::wstring(L"/"), std::wstring(L"/media")})
        EXPECT_FALSE(frm::mediumPresent(mountPoint)) << base::toUtf8(mountPoint);
    frm::PlaybackDrive drive(folder.widePath());
    EXPECT_FALSE(drive.clone()->action());
    EXPECT_TRUE(capture.contains(L"Носитель '" + folder.widePath() + L"' не подключён", L"WARN"));
}

// A listing stopped as it enters a folder keeps what the folders before it held: the panel's stop
// and a newer listing end a large medium's walk this way.
TEST(Drives, AStoppedListingHoldsOnlyTheFoldersBeforeTheStop) {
    const test::TempFolder medium;
    for (const char* folder : {"a", "b"}) std::filesystem::create_directory(medium.file(folder));
    for (const char* file : {"a/one.mp3", "b/two.mp3", "three.mp3", "notes.txt"})
        std::ofstream(medium.file(file)) << "x";
    const struct {
        std::size_t folders;  // folders the walk may enter
        std::vector<std::wstring> titles;
    } cases[] = {
        {99, {L"one", L"two", L"three"}},
        {2, {L"one"}},
        {1, {}},
        {0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folders);
        const auto playlist = frm::drivePlaylist(medium.widePath(), L"*.mp3",
                                                 [&](std::size_t entered) { return entered <= c.folders; });
        std::vector<std::wstring> titles;
        for (const auto& item : playlist->getItems()) titles.push_back(item.title);
        EXPECT_EQ(titles, c.titles);
    }
}

}  // namespace
