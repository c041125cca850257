// The write of an audio memory against an emulated flash that refuses to program a byte twice:
// a write that succeeds, and writes that fail at each step and must leave no valid root over
// broken data, with progress ending at -1 exactly once.

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AudioMemoryFixture.h"
#include "devicememory/TribelAudioMemory.h"
#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"
#include "foundation/Exceptions.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/LoudspeakerEmulator.h"
#include "support/ManualClock.h"

namespace test {
namespace {

using Fault = EmulatedDevice::Fault;

class AudioMemoryWriteTest : public AudioMemoryFixture {
protected:
    // An empty memory with fragments across several pieces and two scenarios.
    std::shared_ptr<Memory> filled() {
        auto made = memory(true);
        made->addFragment(bytesOf(1500, 1), L"Гонг");
        made->addFragment(bytesOf(700, 2), L"Пожар №1");
        made->addFragment(bytesOf(40, 3), L"Test");
        made->addScenario(1, 2, 30, L"Эвакуация");
        made->addScenario(1, 3, 0, L"Test");
        return made;
    }

    // The memory the flash holds now, read by a memory of its own, with every fragment's data.
    void expectFlashHolds(const std::shared_ptr<Memory>& written) {
        auto read = memory(false);
        EXPECT_EQ(contentsOf(*read), contentsOf(*written));
        for (const auto& entry : written->getFragments())
            EXPECT_EQ(read->getFragmentFile(entry.id), written->getFragmentFile(entry.id));
    }
};

// A piece the device refuses once is sent again and the write goes on; so is one answered with
// the busy text, which the device did not carry out. Every piece queued is logged with its share
// of the whole, and a write nobody follows says so for each piece.
TEST_F(AudioMemoryWriteTest, WritesEveryPieceAndTheRootLastRepeatingAPieceRefusedOnce) {
    struct Case {
        std::optional<Fault> fault;
        bool followed;  // a progress function is given
    };
    const Case cases[] = {
        {std::nullopt, true}, {Fault::error, true}, {Fault::busy, true}, {std::nullopt, false}};
    const std::wstring queuedLine = L"write audio memory (async): percent ";
    const std::wstring unfollowedLine = L"not used callback for progress of write";
    for (const Case& c : cases) {
        const std::optional<Fault> fault = c.fault;
        SCOPED_TRACE(testing::Message()
                     << (fault ? static_cast<int>(*fault) : -1) << " followed " << c.followed);
        startDevice(kFlashSize);
        auto written = filled();
        if (fault) emulated_->faultOn("voiceMemProgram ", 3, *fault, 1);
        const std::size_t queuedBefore = capture_.find(queuedLine, L"TRACE").size();
        const std::size_t unfollowedBefore = capture_.find(unfollowedLine, L"TRACE2").size();
        ProgressRecorder recorder;
        std::vector<int> progress;
        if (c.followed) {
            progress = write(*written, recorder);
            EXPECT_EQ(progress.back(), 100);
            EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 1);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        } else {
            recorder.watch(*written);
            written->writeChanges(nullptr);
            ASSERT_TRUE(recorder.waitFinished());
        }
        EXPECT_EQ(recorder.started(), 1);
        EXPECT_EQ(recorder.finished(), 1);
        EXPECT_FALSE(written->hasChanges());
        EXPECT_EQ(written->getWriteProgress(), 100);

        const std::vector<std::string> commands = emulated_->received();
        const auto erase = std::find(commands.begin(), commands.end(), "voiceMemErase");
        ASSERT_NE(erase, commands.end());
        EXPECT_EQ(std::count(commands.begin(), erase, "voiceMemIsReady"), 1);
        EXPECT_EQ(*(erase + 1), "voiceMemIsReady");
        const std::vector<std::string> pieces = programs();
        const std::size_t amount = pieces.size() - (fault ? 1 : 0);
        if (c.followed) {
            EXPECT_EQ(amount, progress.size());
        }
        const std::vector<LogLine> queued = capture_.find(queuedLine, L"TRACE");
        ASSERT_EQ(queued.size(), queuedBefore + amount);
        const std::wstring total = std::to_wstring(amount);
        EXPECT_EQ(queued.back().message.substr(queued.back().message.find(queuedLine)),
                  queuedLine + L"100, rate " + total + L", amount " + total);
        EXPECT_EQ(capture_.find(unfollowedLine, L"TRACE2").size(),
                  unfollowedBefore + (c.followed ? 0 : amount));
        EXPECT_EQ(pieces.front(), "voiceMemProgram 00000000 24 " + std::string(48, 'F'));
        EXPECT_EQ(pieces.back().compare(0, 27, "voiceMemProgram 00000000 24"), 0);
        EXPECT_EQ(flashRoot().version, 4);
        expectFlashHolds(written);
    }
}

enum class Piece { first, middle, root };

struct FailureCase {
    const char* name;
    Piece piece;
    Fault fault;
};

class AudioMemoryFailureTest : public AudioMemoryWriteTest,
                               public ::testing::WithParamInterface<FailureCase> {};

// The first piece, a middle one and the root, each refused twice (the piece and its repeat) or
// never answered (the piece and the transport's resend).
const FailureCase failureCases[] = {
    {"first piece refused", Piece::first, Fault::error},
    {"first piece silent", Piece::first, Fault::silence},
    {"middle piece refused", Piece::middle, Fault::error},
    {"middle piece silent", Piece::middle, Fault::silence},
    {"root refused", Piece::root, Fault::error},
    {"root silent", Piece::root, Fault::silence},
};

TEST_P(AudioMemoryFailureTest, EndsAtMinusOneOnceWithoutARootOverBrokenData) {
    const FailureCase& failure = GetParam();
    // The same memory gives the same pieces: a write that succeeds on a device of its own
    // names the piece to spoil.
    write(*filled());
    const std::vector<std::string> pieces = programs();
    ASSERT_GT(pieces.size(), 6u);
    const std::string& spoiled = failure.piece == Piece::first    ? pieces.front()
                                 : failure.piece == Piece::middle ? pieces[pieces.size() / 2]
                                                                  : pieces.back();
    startDevice(kFlashSize);
    auto written = filled();
    emulated_->faultOn(spoiled, 0, failure.fault, 2);
    // A device that takes a moment for each piece: pieces are still queued when the write fails.
    emulated_->setDelay(std::chrono::milliseconds(10));

    ProgressRecorder recorder;
    recorder.watch(*written);
    written->writeChanges(recorder.progress());
    // Another caller's request, queued behind the pieces below their priority, is sent or fails with
    // its reason: the failure drops only the write's own pieces.
    emulated_->answer("test other", "OK[test other]");
    const auto otherDone = std::make_shared<std::atomic<int>>(0);
    ASSERT_TRUE(transport_->async(
        emulated_->address(), "test other", [otherDone](const std::string&, bool) { ++*otherDone; }, 0,
        1000));
    ASSERT_TRUE(recorder.waitEnd());
    const std::vector<int> progress = recorder.values();
    EXPECT_TRUE(waitFor([&] { return *otherDone == 1; }));
    EXPECT_EQ(progress.back(), -1);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), -1), 1);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100), 0);
    EXPECT_EQ(recorder.finished(), 1);
    EXPECT_EQ(written->getWriteProgress(), -1);
    EXPECT_TRUE(written->hasChanges());
    EXPECT_TRUE(rootErased());
    // Late completions of pieces still on their way report nothing more.
    EXPECT_TRUE(waitForDispatcher());
    EXPECT_EQ(recorder.values(), progress);

    // The memory keeps its changes: the next write starts again from the erase and succeeds.
    EXPECT_EQ(write(*written).back(), 100);
    expectFlashHolds(written);
}

INSTANTIATE_TEST_SUITE_P(Steps, AudioMemoryFailureTest, ::testing::ValuesIn(failureCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// A device that answers a piece with anything but its success answer has not written it: the
// piece is sent again, and when that answer is no better the write fails, in every layout, with
// the memory still holding its changes.
TEST_F(AudioMemoryWriteTest, PiecesAnsweredWithAnythingButSuccessFailTheWrite) {
    const struct {
        const char* name;
        AudioFlash::Words words;
        MemoryPtr (*create)(const std::shared_ptr<device::DeviceBase>&,
                            const std::shared_ptr<device::TransferProtocol>&, bool blank);
        const char* program;
    } layouts[] = {
        {"version 4", AudioFlash::Words::voice, createOf<Memory>, "voiceMemProgram "},
        {"version 3", AudioFlash::Words::voice, createOf<device::v3::memory::AudioMemory>,
         "voiceMemProgram "},
        {"version 2", AudioFlash::Words::older, createOf<device::v2::memory::AudioMemory>, "aflash "},
        {"console", AudioFlash::Words::voice, createOf<device::tribel::memory::AudioMemory>,
         "voiceMemProgram "},
    };
    const struct {
        const char* name;
        Fault fault;
        const char* text;
    } answers[] = {
        {"garbage", Fault::error, "#%&*!"},
        {"a number", Fault::error, "0"},
        {"almost the word", Fault::error, "OKAY?"},
        {"the command echoed", Fault::echo, ""},
    };
    for (const auto& layout : layouts) {
        for (const auto& answer : answers) {
            SCOPED_TRACE(std::string(layout.name) + ", " + answer.name);
            startDevice(kFlashSize, layout.words);
            const MemoryPtr written = layout.create(device_, transport_, true);
            written->addFragment(bytesOf(1500, 1), L"Гонг");
            written->addFragment(bytesOf(40, 3), L"Test");
            emulated_->faultOn(layout.program, 0, answer.fault, 1000, answer.text);

            ProgressRecorder recorder;
            EXPECT_EQ(write(*written, recorder), std::vector<int>{-1});
            EXPECT_EQ(recorder.finished(), 1);
            EXPECT_EQ(written->getWriteProgress(), -1);
            EXPECT_TRUE(written->hasChanges());
            EXPECT_TRUE(rootErased());
            const std::vector<std::string> pieces = programs(layout.program);
            ASSERT_FALSE(pieces.empty());
            EXPECT_GE(std::count(pieces.begin(), pieces.end(), pieces.front()), 2);
        }
    }
}

// Another caller's requests at every priority, queued while the write's pieces wait behind the one
// in flight, are each sent and answered once the write has failed: the failure drops only the
// write's own pieces.
TEST_F(AudioMemoryWriteTest, AFailureLeavesOtherCallersRequestsToBeSentOrToFail) {
    // Time stands still: no request of either caller runs out of time.
    ManualClock clock;
    clock.holdSteady();
    auto written = filled();
    emulated_->on("test ", [](const std::string& command) {
        return std::optional<std::string>("OK[" + command + "]");
    });
    // The first piece is refused, and so is its repeat; from the repeat on, the answers to the
    // pieces still queued wait, so that the failure meets them queued before the other caller's.
    const std::string first = "voiceMemProgram 00000000 24 " + std::string(48, 'F');
    const std::string refusal = "ERR[voiceMemProgram]: fault";
    const auto firstSends = std::make_shared<std::atomic<int>>(0);
    EmulatedDevice& emulated = *emulated_;
    const net::IpAndPort transport("127.0.0.1", port_);
    emulated_->on(first, [&emulated, transport, refusal, firstSends](const std::string&) {
        if (++*firstSends == 1) return std::optional<std::string>(refusal);
        emulated.holdReplies("voiceMemProgram ");
        emulated.send(refusal, transport);
        return std::optional<std::string>();
    });
    struct Asked {
        std::mutex lock;
        std::map<std::string, std::vector<std::pair<std::string, bool>>> completions;
    };
    const auto asked = std::make_shared<Asked>();
    const auto ask = [&](const std::string& command, int priority) {
        {
            std::lock_guard<std::mutex> guard(asked->lock);
            asked->completions[command];
        }
        ASSERT_TRUE(transport_->async(
            emulated_->address(), command,
            [asked, command](const std::string& reply, bool ok) {
                std::lock_guard<std::mutex> guard(asked->lock);
                asked->completions[command].emplace_back(reply, ok);
            },
            priority, 1000));
    };

    // The first piece's refusal waits until the other caller's requests are queued.
    emulated_->holdReplies(first);
    ProgressRecorder recorder;
    recorder.watch(*written);
    written->writeChanges(recorder.progress());
    ASSERT_TRUE(emulated_->waitForHeld(1));
    for (int priority : {0, 1, 2}) ask("test " + std::to_string(priority), priority);
    emulated_->releaseReplies();
    ASSERT_TRUE(recorder.waitEnd());
    EXPECT_EQ(recorder.values(), std::vector<int>{-1});
    EXPECT_EQ(*firstSends, 2);
    emulated_->releaseReplies();

    // Queued last at the lowest priority, it goes out after every request queued before it.
    ask("test last", 0);
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard<std::mutex> guard(asked->lock);
        return !asked->completions["test last"].empty();
    }));
    ASSERT_TRUE(waitForDispatcher());
    std::lock_guard<std::mutex> guard(asked->lock);
    for (const auto& [command, completions] : asked->completions) {
        EXPECT_EQ(completions, (std::vector<std::pair<std::string, bool>>{{"OK[" + command + "]", true}}))
            << command;
    }
}

TEST_F(AudioMemoryWriteTest, WaitsForTheDeviceToBeReadyAfterTheErase) {
    auto written = filled();
    flash_->setBusyAfterErase(3);
    EXPECT_EQ(write(*written).back(), 100);
    const std::vector<std::string> commands = emulated_->received();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "voiceMemIsReady"), 5);
    expectFlashHolds(written);
}

TEST_F(AudioMemoryWriteTest, GivesUpWhenTheDeviceNeverBecomesReady) {
    ManualClock clock;
    auto written = filled();
    flash_->setBusyAfterErase(-1);
    ProgressRecorder recorder;
    recorder.watch(*written);
    written->writeChanges(recorder.progress());
    ASSERT_TRUE(emulated_->waitForReceived(emulated_->receivedCount() + 1));
    clock.advance(device::v3::memory::AudioMemory::readyWait + std::chrono::seconds(1));
    ASSERT_TRUE(recorder.waitEnd());
    EXPECT_EQ(recorder.values(), std::vector<int>{-1});
    EXPECT_EQ(recorder.finished(), 1);
    EXPECT_TRUE(programs().empty());
}

TEST_F(AudioMemoryWriteTest, DestroyingTheMemoryEndsAWaitingWrite) {
    ProgressRecorder recorder;
    {
        auto written = filled();
        flash_->setBusyAfterErase(-1);
        recorder.watch(*written);
        written->writeChanges(recorder.progress());
    }
    ASSERT_TRUE(recorder.waitEnd());
    EXPECT_EQ(recorder.values(), std::vector<int>{-1});
    const std::size_t polls = emulated_->receivedCount();
    // A poll still queued, half a second after the one before, would run before a mark queued a
    // second later.
    EXPECT_TRUE(DispatcherMark(std::chrono::seconds(1)).wait());
    EXPECT_EQ(emulated_->receivedCount(), polls);
}

TEST_F(AudioMemoryWriteTest, RefusesBeforeAnythingIsErased) {
    struct Case {
        const char* name;
        std::function<void(Memory&)> arrange;
        const wchar_t* code;
    };
    const Case cases[] = {
        {"nothing changed", [](Memory& m) {}, L"noChanges"},
        {"device not ready",
         [this](Memory& m) {
             m.addFragment("x", L"x");
             emulated_->on("voiceMemIsReady", [](const std::string& c) {
                 return std::optional<std::string>(okReply(c, "Off"));
             });
         },
         L"busy"},
        {"playing",
         [this](Memory& m) {
             m.addFragment("x", L"x");
             device_->internalPlaying = true;
         },
         L"internalPlaying"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startDevice(kFlashSize);
        auto loaded = memory(false);
        c.arrange(*loaded);
        ProgressRecorder recorder;
        EXPECT_EQ(thrownCode([&] { loaded->writeChanges(recorder.progress()); }), c.code);
        EXPECT_EQ(flash_->eraseCount(), 0);
        EXPECT_TRUE(recorder.values().empty());
    }
}

TEST_F(AudioMemoryWriteTest, RefusesASecondWriteAndEditsWhileOneRuns) {
    auto written = filled();
    flash_->setBusyAfterErase(2);
    ProgressRecorder recorder;
    recorder.watch(*written);
    written->writeChanges(recorder.progress());
    EXPECT_EQ(thrownCode([&] { written->writeChanges(nullptr); }), L"busy");
    EXPECT_EQ(thrownCode([&] { written->addFragment("x", L"x"); }), L"busy");
    ASSERT_TRUE(recorder.waitEnd());
    EXPECT_EQ(recorder.values().back(), 100);
}

}  // namespace
}  // namespace test
