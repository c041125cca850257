// The messages streamer: message files after their gong, a file that does not decode, the
// microphone heard on the base port plus two and recorded into an MP3 file, and a microphone that
// cannot be opened, told in the sound server's words, with no recording left.

#include <gtest/gtest.h>
#include <pulse/def.h>
#include <pulse/error.h>

#include <algorithm>
#include <clocale>
#include <condition_variable>
#include <filesystem>
#include <fstream>

#include "audio/mp3streamf.h"
#include "support/PulseServer.h"
#include "tests/audio/AudioFixture.h"

namespace {

using test::StreamReceiver;

class MessagesStreamTest : public test::AudioFixture {
protected:
    void SetUp() override {
        AudioFixture::SetUp();
        stream_ = std::make_unique<mp3streamf>(mp3streamf::targetFromSettings());
        stream_->set_end_handler([this](bool ok, const std::wstring& failed) {
            std::lock_guard<std::mutex> guard(lock_);
            ended_ = true;
            ok_ = ok;
            failed_ = failed;
            changed_.notify_all();
        });
    }
    void TearDown() override {
        stream_.reset();
        AudioFixture::TearDown();
    }
    bool waitForEnd() {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(30), [this] { return ended_; });
    }

    std::unique_ptr<mp3streamf> stream_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool ended_ = false;
    bool ok_ = false;
    std::wstring failed_;
};

TEST_F(MessagesStreamTest, TheGongThenTheMessageAreHeardInOrder) {
    const std::string gong = files_.file("gong.mp3");
    const std::string message = files_.file("message.mp3");
    ASSERT_TRUE(test::writeSineMp3(gong, 500, 1));
    ASSERT_TRUE(test::writeSineMp3(message, 1000, 1.5));
    StreamReceiver receiver(group_, basePort_ + 2);
    stream_->set_files({base::fromUtf8(gong), base::fromUtf8(message)});
    ASSERT_TRUE(stream_->stream_create());
    EXPECT_TRUE(stream_->is_stream());
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(ok_);
    stream_->stream_close();
    EXPECT_FALSE(stream_->is_stream());
    // The stream is closed: what it sent has reached the socket, and is read.
    ASSERT_TRUE(receiver.catchUp());

    const auto transport = test::readTransportStream(receiver.payloads());
    EXPECT_TRUE(transport.patSeen);
    EXPECT_EQ(transport.audioPids.size(), 1u);
    EXPECT_EQ(transport.continuityErrors, 0);
    const std::vector<double> heard = tones(receiver);
    const auto audio = decoded(receiver);
    ASSERT_EQ(heard.size(), 2u) << ::testing::PrintToString(
        test::frequencySequence(audio.samples, audio.rate));
    EXPECT_NEAR(heard[0], 500, 10);
    EXPECT_NEAR(heard[1], 1000, 20);
}

TEST_F(MessagesStreamTest, AMessageThatDoesNotDecodeEndsTheStreamNamingIt) {
    const std::string broken = files_.file("broken.mp3");
    std::ofstream(broken) << std::string(5000, 'x');
    stream_->set_files({base::fromUtf8(broken)});
    ASSERT_TRUE(stream_->stream_create());
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(ok_);
    EXPECT_EQ(failed_, base::fromUtf8(broken));
    EXPECT_TRUE(capture_.contains(L"Файл сообщения не воспроизводится", L"ERROR"));
}

TEST_F(MessagesStreamTest, TheMicrophoneIsHeardAndRecorded) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    pulse.playTone(1200);
    const std::string record = files_.file("record.mp3");
    StreamReceiver receiver(group_, basePort_ + 2);
    stream_->set_read_mode(mp3streamf::microphone);
    stream_->set_microphone_name(base::fromUtf8(test::PulseServer::kSource));
    stream_->set_record_path(base::fromUtf8(record));
    ASSERT_TRUE(stream_->stream_create());
    ASSERT_TRUE(waitForTone(receiver, 1200));
    stream_->stream_close();
    const auto recorded = test::decodeMpegFile(record);
    EXPECT_NEAR(test::strongestFrequency(recorded.samples, recorded.rate), 1200, 24);
}

// The program runs in the Russian locale, where the sound server gives its reasons in UTF-8.
TEST_F(MessagesStreamTest, AMicrophoneThatCannotBeOpenedIsToldInTheServersWordsAndRecordsNothing) {
    test::PulseServer pulse;
    MELVOX_REQUIRE_PULSE(pulse);
    const std::string record = files_.file("record.mp3");
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr);
    std::vector<std::wstring> reasons;
    for (int code = 0; code < PA_ERR_MAX; ++code) reasons.push_back(base::fromSystem(pa_strerror(code)));
    stream_->set_read_mode(mp3streamf::microphone);
    stream_->set_microphone_name(L"нет такого устройства");
    stream_->set_record_path(base::fromUtf8(record));
    const bool started = stream_->stream_create();
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_FALSE(started);
    // The server has its reasons in Russian, so that a wrong reading would show.
    const std::wstring& noEntity = reasons[PA_ERR_NOENTITY];
    ASSERT_TRUE(std::any_of(noEntity.begin(), noEntity.end(), [](wchar_t c) {
        return c >= 0x400 && c < 0x500;
    })) << base::toUtf8(noEntity);
    const std::wstring opening = L"Не удалось открыть устройство захвата 'нет такого устройства' (";
    const std::vector<test::LogLine> lines = capture_.find(opening, L"WARN");
    ASSERT_EQ(lines.size(), 1u);
    const std::wstring told = lines.front().message.substr(opening.size());
    EXPECT_TRUE(std::any_of(reasons.begin(), reasons.end(), [&](const std::wstring& reason) {
        return told == reason + L")";
    })) << base::toUtf8(told);
    EXPECT_FALSE(std::filesystem::exists(record));
}

}  // namespace
