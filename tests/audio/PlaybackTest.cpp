// The playback model: a track's message path relocated into a copy, clones independent of their
// original in the same collection, and what a track hands to the alarm channel.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "tests/audio/AudioFixture.h"

namespace {

using frm::PlaybackTrack;

class PlaybackTest : public test::AudioFixture {
protected:
    std::wstring folderWith(const std::string& name, const std::string& file) {
        const std::string folder = files_.file(name);
        std::filesystem::create_directory(folder);
        std::ofstream(folder + "/" + file) << "x";
        return base::fromUtf8(folder);
    }
};

TEST_F(PlaybackTest, TheMessagePathIsRelocatedIntoTheFolderOfTheTrackKindWithoutChangingTheTrack) {
    const std::wstring service = folderWith("service", "lunch.mp3");
    const std::wstring alarm = folderWith("alarm", "fire.mp3");
    pref::setWString(setting::placePathDirServiceMessage.key, service);
    pref::setWString(setting::placePathDirAlarmMessage.key, alarm);
    const std::wstring present = service + L"/lunch.mp3";
    const struct {
        bool alarm;
        std::wstring stored;
        std::wstring full;
    } cases[] = {
        {false, L"/gone/lunch.mp3", present},
        {true, L"/gone/fire.mp3", alarm + L"/fire.mp3"},
        {true, L"/gone/lunch.mp3", L"/gone/lunch.mp3"},  // not in the alarm folder
        {false, present, present},
    };
    for (const auto& c : cases) {
        PlaybackTrack track(L"Сообщение", c.alarm ? 5 : 4, c.alarm);
        track.setMessage(L"message", c.stored);
        EXPECT_EQ(track.getMessageFullPath(), c.full) << base::toUtf8(c.stored);
        EXPECT_EQ(track.getMessagePath(), c.stored);
    }
}

TEST_F(PlaybackTest,
       AClonePlaysInTheSameCollectionButChangesAloneAndATrackGoesOutAtItsKindsPriorityAndVolume) {
    pref::setInt(setting::volumeMicrophone.key, 75);
    pref::setInt(setting::volumeServiceMessage.key, 65);
    const auto collection = frm::PlaybackCollection::create(L"Сообщения", L"serviceMessage");
    auto original = std::make_shared<PlaybackTrack>(L"Группа: Обед", 4, false);
    original->setMessage(L"lunch", L"/m/lunch.mp3");
    collection->add(original);
    collection->add(
        std::make_shared<frm::PlaybackPlaylist>(L"Музыка", std::make_shared<Playlist>(L"Музыка", true)));
    EXPECT_EQ(collection->getPlaybacks().size(), 2u);
    EXPECT_EQ(original->getCollection(), collection);

    const auto clone = std::dynamic_pointer_cast<PlaybackTrack>(original->clone());
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->getCollection(), collection);
    clone->setTargets({nullptr});
    clone->setGong(L"bell", L"/g/bell.mp3");
    EXPECT_TRUE(original->getTargets().empty());
    EXPECT_TRUE(original->getGongPath().empty());
    EXPECT_EQ(clone->getMessagePath(), L"/m/lunch.mp3");

    const frm::AlarmChannel::Broadcast service = clone->getBroadcast();
    EXPECT_EQ(service.description, L"Группа: Обед");
    EXPECT_EQ(service.messagePath, L"/m/lunch.mp3");
    EXPECT_EQ(service.gongPath, L"/g/bell.mp3");
    EXPECT_EQ(service.targets.size(), 1u);
    const struct {
        int kind;
        bool alarm;
        int priority;
        int volume;
    } kinds[] = {{3, false, 2, 75}, {4, false, 2, 65}, {5, true, 3, 100}};
    for (const auto& k : kinds) {
        const auto broadcast = PlaybackTrack(L"t", k.kind, k.alarm).getBroadcast();
        EXPECT_EQ(broadcast.priority, k.priority) << k.kind;
        EXPECT_EQ(broadcast.volume, k.volume) << k.kind;
    }
}

}  // namespace
