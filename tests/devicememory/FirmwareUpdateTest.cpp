// Firmware updates of an emulated loudspeaker: the image written byte for byte and one reboot;
// failures at each step ending at -1 once without a reboot, after which the whole image is
// written again; the update queue of several images and the progress of the whole update.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "devicememory/FirmwareCollection.h"
#include "devicememory/FirmwareDetection.h"
#include "devicememory/FirmwareUnify.h"
#include "foundation/Exceptions.h"
#include "foundation/HexText.h"
#include "foundation/Log.h"
#include "foundation/TextConversion.h"
#include "support/FirmwareFlash.h"
#include "support/FirmwareImages.h"
#include "support/ProcessThreads.h"
#include "tests/devicememory/Outcomes.h"
#include "tests/devices/VokarFixture.h"

namespace test {
namespace {

using Fault = EmulatedDevice::Fault;

class FirmwareUpdateTest : public VokarFixture {
protected:
    void SetUp() override {
        VokarFixture::SetUp();
        loudspeaker_ = connected(device::vokarV3_Higher);
        loudspeaker_.emulated->setRebootPause(std::chrono::milliseconds(100));
        flash_ = std::make_unique<FirmwareFlash>(*loudspeaker_.emulated, 256 * 1024);
    }
    void TearDown() override {
        loudspeaker_.device.reset();
        VokarFixture::TearDown();
    }

    std::shared_ptr<device::VokarInfo> device() const { return loudspeaker_.device; }
    LoudspeakerEmulator& emulated() const { return *loudspeaker_.emulated; }

    std::vector<std::string> commandsLike(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& command : emulated().received()) {
            if (command.compare(0, prefix.size(), prefix) == 0) found.push_back(command);
        }
        return found;
    }

    // The requests as the program made them, in the order they first went out, after the first
    // `skipped` sends: the transport sends one again when its reply comes later than its interval,
    // as on a loaded machine.
    std::vector<std::string> requestsMade(std::size_t skipped) {
        std::vector<std::string> made;
        const std::vector<LogLine> sent = capture_.find(L"sent udp ");
        for (auto line = sent.begin() + static_cast<std::ptrdiff_t>(std::min(skipped, sent.size()));
             line != sent.end(); ++line) {
            const std::size_t text = line->message.find(L", 1), len: ");
            const std::size_t buffer = line->message.find(L", buf: ", text);
            if (text == std::wstring::npos || buffer == std::wstring::npos) continue;
            // Without the line feed, which the log shows escaped.
            made.push_back(base::toUtf8(line->message.substr(buffer + 7, line->message.size() - buffer - 9)));
        }
        return made;
    }

    // What the transport sent the loudspeaker, in the order it went out, and how much of it had gone
    // out when the update reported its end: the loudspeaker's own log may not show yet a request
    // sent before the report.
    struct Sent {
        std::mutex lock;
        std::vector<std::string> commands;
        std::size_t atEnd = 0;
        // The test's own request failed behind an unanswered one, unsent.
        std::atomic<bool> markFailed{false};
    };
    std::vector<std::string> sentCommands() {
        std::lock_guard<std::mutex> guard(sent_->lock);
        return sent_->commands;
    }
    // The progress of an update that is to fail, reported to `recorder`; at -1 it notes what had
    // gone out.
    device::UpgradeProgressCallback markingTheEnd(ProgressRecorder& recorder) {
        transport_->setSniffer(emulated().address(), [sent = sent_](const std::string& text, bool) {
            // Replies come here too; only a request ends with its line feed.
            if (text.empty() || text.back() != '\n') return;
            std::lock_guard<std::mutex> guard(sent->lock);
            sent->commands.push_back(text.substr(0, text.size() - 1));
        });
        return [sent = sent_, report = recorder.callback()](
                   const std::shared_ptr<device::DeviceBase>& updated, int percent) {
            if (percent == -1) {
                std::lock_guard<std::mutex> guard(sent->lock);
                sent->atEnd = sent->commands.size();
            }
            report(updated, percent);
        };
    }
    // Once the end is reported, the device gets nothing of the update but the request then in flight
    // (and its repeat, the transport's own), which the transport may hand to the socket only after
    // the report. The erases and blocks that went out after the report and not before it, up to a
    // request of the test's own queued now below the blocks' priority, which follows anything that
    // the ended update has queued: none, or the one in flight.
    std::vector<std::string> updateSentAfterItsEnd() {
        emulated().answer("test mark", "OK[test mark]");
        const auto queueMark = [this] {
            transport_->async(
                emulated().address(), "test mark",
                [sent = sent_](const std::string&, bool ok) { sent->markFailed = sent->markFailed || !ok; },
                0, 1000);
        };
        queueMark();
        std::vector<std::string> sent;
        EXPECT_TRUE(waitFor([&] {
            sent = sentCommands();
            if (std::find(sent.begin(), sent.end(), "test mark") != sent.end()) return true;
            if (sent_->markFailed.exchange(false)) queueMark();
            return false;
        }));
        std::size_t atEnd = 0;
        {
            std::lock_guard<std::mutex> guard(sent_->lock);
            atEnd = std::min(sent_->atEnd, sent.size());
        }
        const auto end = sent.begin() + static_cast<std::ptrdiff_t>(atEnd);
        const auto mark = std::find(end, sent.end(), "test mark");
        const std::set<std::string> before(sent.begin(), end);
        std::set<std::string> after;
        for (auto command = end; command != mark; ++command) {
            if ((command->rfind("firmwareProgram ", 0) == 0 || *command == "firmwareErase") &&
                before.count(*command) == 0)
                after.insert(command->substr(0, 25));
        }
        EXPECT_LE(after.size(), 1u) << testing::PrintToString(after);
        return std::vector<std::string>(after.begin(), after.end());
    }

    Loudspeaker loudspeaker_;
    std::unique_ptr<FirmwareFlash> flash_;
    const std::string vokarB_ = unifiedImage(firmwareModel("Vokar-B"), 0x3C000);
    const std::shared_ptr<Sent> sent_ = std::make_shared<Sent>();
};

// A block the device refuses once, or answers with its busy text, is sent again and the update
// goes on; no other block is sent twice.
TEST_F(FirmwareUpdateTest, WritesTheImageAsItIsAndRebootsOnce) {
    emulated().faultOn("firmwareProgram 00001000 ", 0, Fault::error, 1);
    emulated().faultOn("firmwareProgram 00002000 ", 0, Fault::busy, 1);
    const std::size_t sentBefore = capture_.find(L"sent udp ").size();
    ProgressRecorder recorder;
    ASSERT_TRUE(device()->upgradeFirmware(device::FirmwareCollection::fromFile(vokarB_, false),
                                          recorder.callback(), false));
    ASSERT_TRUE(recorder.waitFor(100));
    ASSERT_TRUE(waitFor([&] { return emulated().rebootCount() == 1; }));

    EXPECT_EQ(flash_->written(), vokarB_);
    const std::vector<int> values = recorder.values();
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 1);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    const std::vector<std::string> commands = requestsMade(sentBefore);
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0], "firmwareSize");
    EXPECT_EQ(commands[1], "firmwareErase");
    EXPECT_EQ(commands[2].compare(0, 29, "firmwareProgram 00000000 512 "), 0);
    EXPECT_EQ(commands[commands.size() - 2], "get vol");
    EXPECT_EQ(commands.back(), "reboot");
    const auto madeLike = [&](const std::string& prefix) {
        return std::count_if(commands.begin(), commands.end(),
                             [&](const std::string& command) { return command.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(madeLike("firmwareProgram "), 0x3C000 / 512 + 2);
    EXPECT_EQ(madeLike("firmwareProgram 00001000 "), 2);
    EXPECT_EQ(madeLike("firmwareProgram 00002000 "), 2);
    // What the device got: the same, and what the transport sent again.
    EXPECT_GE(emulated().received().size(), commands.size());
    EXPECT_EQ(device()->getProgressOfUpgrading(), 100);
}

// The first Vokar-A format has no size query and no erase; its closing command carries the
// image's checksum, which the device checks.
TEST_F(FirmwareUpdateTest, TheFirstVokarAFormatEndsWithItsChecksum) {
    const std::string image = firstVokarAImage(1025);
    auto collection = std::make_shared<device::FirmwareCollection>();
    collection->push(device::detectFirmware(image));
    ProgressRecorder recorder;
    ASSERT_TRUE(device()->upgradeFirmware(collection, recorder.callback(), true));
    ASSERT_TRUE(recorder.waitFor(100));
    EXPECT_EQ(recorder.values(), (std::vector<int>{0, 49, 99, 100}));
    EXPECT_EQ(flash_->written(), image);
    const std::vector<std::string> programs = commandsLike("flash ");
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_EQ(programs[2], "flash 00000400 1 " + base::toHex(image.data() + 1024, 1));
    ASSERT_EQ(commandsLike("flashNFO ").size(), 1u);
    EXPECT_TRUE(commandsLike("firmwareErase").empty());
}

// The closing query is not a command: a loudspeaker that answers it with its bare volume has taken
// the blocks before it, and the update ends, with its reboot.
TEST_F(FirmwareUpdateTest, AClosingQueryAnsweredWithABareNumberEndsTheUpdate) {
    emulated().faultOn("get vol", 0, Fault::error, 1000, "-18");
    ProgressRecorder recorder;
    ASSERT_TRUE(device()->upgradeFirmware(device::FirmwareCollection::fromFile(vokarB_, false),
                                          recorder.callback(), false));
    ASSERT_TRUE(recorder.waitOutcome());
    EXPECT_EQ(recorder.values().back(), 100);
    EXPECT_TRUE(waitFor([&] { return emulated().rebootCount() == 1; }));
    EXPECT_EQ(flash_->written(), vokarB_);
    EXPECT_EQ(device()->getProgressOfUpgrading(), 100);
}

struct FailureCase {
    const char* name;
    std::function<std::string(const std::string& image)> command;  // the request to spoil
    Fault fault;
    const char* reply;
};

class FirmwareFailureTest : public FirmwareUpdateTest, public ::testing::WithParamInterface<FailureCase> {};

std::string middleBlock(const std::string& image) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "firmwareProgram %08X ",
                  static_cast<unsigned>(image.size() / 2 / 512 * 512));
    return prefix;
}

const FailureCase failureCases[] = {
    {"erase refused", [](const std::string&) { return std::string("firmwareErase"); }, Fault::error, ""},
    {"block refused", middleBlock, Fault::error, ""},
    {"block unanswered", middleBlock, Fault::silence, ""},
    {"block of another major version", middleBlock, Fault::error,
     "ERR[firmwareProgram]: Version major error"},
    {"closing request refused", [](const std::string&) { return std::string("get vol"); }, Fault::error, ""},
    // Answers of a device that did not write the block (or take the closing request): only its
    // success answer acknowledges one.
    {"block answered with garbage", middleBlock, Fault::error, "#%&*!"},
    {"block answered with a number", middleBlock, Fault::error, "0"},
    {"block answered with almost the word", middleBlock, Fault::error, "OKAY?"},
    {"block echoed", middleBlock, Fault::echo, ""},
    // A success answer that names another command acknowledges nothing.
    {"block answered for another command", middleBlock, Fault::error, "SUCCESS[firmwareErase]"},
};

TEST_P(FirmwareFailureTest, EndsAtMinusOneOnceWithoutARebootAndIsWrittenWholeAgain) {
    const FailureCase& failure = GetParam();
    auto collection = device::FirmwareCollection::fromFile(vokarB_, false);
    const std::shared_ptr<device::IFirmware> image = collection->front();
    emulated().faultOn(failure.command(vokarB_), 0, failure.fault, 2, failure.reply);

    ProgressRecorder recorder;
    ASSERT_TRUE(device()->upgradeFirmware(collection, markingTheEnd(recorder), false));
    ASSERT_TRUE(recorder.waitFor(-1));
    EXPECT_TRUE(waitForDispatcher());
    updateSentAfterItsEnd();
    const std::vector<int> values = recorder.values();
    EXPECT_EQ(std::count(values.begin(), values.end(), -1), 1);
    EXPECT_EQ(values.back(), -1);
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0);
    EXPECT_EQ(emulated().rebootCount(), 0);
    EXPECT_EQ(device()->getProgressOfUpgrading(), -1);
    if (std::strstr(failure.reply, "Version major error")) {
        EXPECT_TRUE(capture_.contains(L"Данная версия прошивки не подходит к устройству", L"ERROR"));
    }

    // The same image started again sends every block, not only what its last run had not sent.
    // Counted as first sent, whatever a loaded machine made the transport send again.
    emulated().clearReceived();
    recorder.clear();
    const std::size_t sentBefore = capture_.find(L"sent udp ").size();
    ASSERT_TRUE(image->upgrade(recorder.progress()));
    ASSERT_TRUE(recorder.waitFor(100));
    const std::vector<std::string> made = requestsMade(sentBefore);
    EXPECT_EQ(
        std::count_if(made.begin(), made.end(),
                      [](const std::string& command) { return command.rfind("firmwareProgram ", 0) == 0; }),
        0x3C000 / 512);
    EXPECT_EQ(flash_->written(), vokarB_);
    EXPECT_TRUE(waitFor([&] { return emulated().rebootCount() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Steps, FirmwareFailureTest, ::testing::ValuesIn(failureCases), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
});

// A failure reported while the blocks are still being queued ends the queuing, and the blocks
// queued already are dropped.
TEST_F(FirmwareUpdateTest, AFailureWhileBlocksAreQueuedStopsTheQueuing) {
    constexpr std::size_t kSize = 8 * 1024 * 1024;
    FirmwareFlash large(emulated(), kSize);
    emulated().faultOn("firmwareErase", 0, Fault::error, 2);
    ProgressRecorder recorder;
    EXPECT_TRUE(device()->upgradeFirmware(device::FirmwareCollection::fromFile(std::string(kSize, 'x'), true),
                                          recorder.callback(), true));
    ASSERT_TRUE(recorder.waitFor(-1));
    EXPECT_TRUE(waitForDispatcher());
    // The request in flight when the queue was dropped still reaches the device; then the device
    // hears nothing more, long before the whole image could have gone out. A request of the
    // test's own, queued below the blocks' priority, reaches it after anything still queued.
    emulated().answer("test mark", "OK[test mark]");
    ASSERT_TRUE(transport_->async(
        emulated().address(), "test mark", [](const std::string&, bool) {}, 0, 1000));
    ASSERT_TRUE(waitFor([&] { return !commandsLike("test mark").empty(); }));
    EXPECT_LT(commandsLike("firmwareProgram ").size(), kSize / 512);
    EXPECT_TRUE(commandsLike("get vol").empty());
    EXPECT_EQ(recorder.values(), std::vector<int>{-1});
}

// A failure handled while the update queues a block: the block is queued before the failure ends
// the update, and dropped with the others, or not at all; it never goes out after the end.
TEST_F(FirmwareUpdateTest, ABlockQueuedAsAFailureIsHandledNeverGoesOutAfterTheEnd) {
    emulated().faultOn("firmwareErase", 0, Fault::error, 2);
    emulated().holdReplies("firmwareErase");
    ProgressRecorder recorder;
    const auto report = markingTheEnd(recorder);
    // The queuing is held inside the transport's call for its fourth block until the refused
    // erase's completion has ended the update, or waits for the queuing: its thread, having
    // logged nothing since the dispatcher started it, is blocked on a lock.
    int calls = 0;
    std::atomic<long> completionThread{0};
    std::atomic<bool> completionMovedOn{false};
    struct TapRemoval {
        ~TapRemoval() {
            base::SingletonSlot<base::Log>::Use(base::Log::instanceSlot())->setRecordTap(nullptr);
        }
    } tapRemoval;
    {
        base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
        log->setRecordTap([&, queuing = std::this_thread::get_id()](const base::Log::Record& record) {
            if (std::this_thread::get_id() != queuing) {
                const long thread = std::stol(test::currentThread());
                if (record.message.find(L"start function execution") != std::wstring::npos &&
                    record.message.find(L"firmwareErase") != std::wstring::npos) {
                    completionMovedOn = false;
                    completionThread = thread;
                } else if (thread == completionThread) {
                    completionMovedOn = true;
                }
                return;
            }
            if (record.message != L"transfer asynchronous" || ++calls != 5) return;
            emulated().releaseReplies();
            EXPECT_TRUE(waitFor([&] {
                const std::vector<int> values = recorder.values();
                if (std::find(values.begin(), values.end(), -1) != values.end()) return true;
                const long thread = completionThread;
                return thread != 0 && !completionMovedOn && test::blockedOnLock(std::to_string(thread));
            }));
        });
    }
    ASSERT_TRUE(
        device()->upgradeFirmware(device::FirmwareCollection::fromFile(vokarB_, false), report, false));
    ASSERT_GE(calls, 5);
    ASSERT_TRUE(recorder.waitFor(-1));
    const std::vector<std::string> after = updateSentAfterItsEnd();
    EXPECT_EQ(std::count(after.begin(), after.end(), "firmwareProgram 00000600 "), 0);
    EXPECT_EQ(recorder.values(), std::vector<int>{-1});
}

// Another caller's requests through the same loudspeaker, at every priority and one that waits,
// while an update fails half-way, and those it queues when it hears of the failure: each is sent,
// or fails with its reason; the failure drops only the update's own requests.
TEST_F(FirmwareUpdateTest, AFailureLeavesOtherCallersRequestsToBeSentOrToFail) {
    emulated().faultOn(middleBlock(vokarB_), 0, Fault::error, 2);
    // A loudspeaker that takes a moment for each request: the other caller's rounds come while
    // blocks are queued.
    emulated().setDelay(std::chrono::milliseconds(1));
    emulated().on("test ", [](const std::string& command) {
        return std::optional<std::string>("OK[" + command + "]");
    });
    // Every request asked, with the completions it got.
    struct Asked {
        std::mutex lock;
        std::map<std::string, std::vector<std::pair<std::string, bool>>> completions;
    };
    const auto asked = std::make_shared<Asked>();
    const auto ask = [this, asked](const std::string& command, int priority) {
        {
            std::lock_guard<std::mutex> guard(asked->lock);
            asked->completions[command];
        }
        ASSERT_TRUE(transport_->async(
            emulated().address(), command,
            [asked, command](const std::string& reply, bool ok) {
                std::lock_guard<std::mutex> guard(asked->lock);
                asked->completions[command].emplace_back(reply, ok);
            },
            priority, 1000));
    };
    ProgressRecorder recorder;
    // Requests of each priority behind the blocks still queued at the first report, and at the
    // report of the failure.
    const auto askAtReports = [&, report = recorder.callback(), first = true](
                                  const std::shared_ptr<device::DeviceBase>& updated, int percent) mutable {
        if (first || percent == -1) {
            for (int priority : {0, 1, 2})
                ask("test at " + std::to_string(percent) + " " + std::to_string(priority), priority);
            first = false;
        }
        report(updated, percent);
    };
    ASSERT_TRUE(
        device()->upgradeFirmware(device::FirmwareCollection::fromFile(vokarB_, false), askAtReports, false));

    // A waiting exchange below the blocks' priority: it waits in the queue until the failure drops
    // them. Its give-up time is only a guard against a hang.
    const auto answered = [this](const std::string& command, int priority, unsigned intervalMs) {
        std::string reply;
        return transport_->sync(emulated().address(), command, reply, priority, intervalMs) &&
               reply == "OK[" + command + "]";
    };
    bool behindAnswered = false;
    std::thread behind([&] { behindAnswered = answered("test waiting behind", 0, 30000); });
    // Another caller's rounds, every 40 ms, until three after the end.
    std::map<std::string, bool> waiting;
    for (int round = 0, afterTheEnd = 0; round < 1000 && afterTheEnd < 3; ++round) {
        for (int priority : {0, 1, 2})
            ask("test " + std::to_string(priority) + " " + std::to_string(round), priority);
        const std::string command = "test waiting " + std::to_string(round);
        waiting[command] = answered(command, 2, 1000);
        const std::vector<int> values = recorder.values();
        if (std::find(values.begin(), values.end(), -1) != values.end()) ++afterTheEnd;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    behind.join();
    waiting["test waiting behind"] = behindAnswered;
    const auto allCompleted = [&] {
        std::lock_guard<std::mutex> guard(asked->lock);
        return std::all_of(asked->completions.begin(), asked->completions.end(),
                           [](const auto& entry) { return !entry.second.empty(); });
    };
    EXPECT_TRUE(waitFor(allCompleted)) << "requests without their completion";
    const std::vector<std::string> received = emulated().received();
    std::lock_guard<std::mutex> guard(asked->lock);
    for (const auto& [command, completions] : asked->completions) {
        ASSERT_EQ(completions.size(), 1u) << command;
        if (completions[0].second) {
            EXPECT_NE(std::find(received.begin(), received.end(), command), received.end()) << command;
        } else {
            EXPECT_EQ(completions[0].first, device::TransferProtocol::noAnswerText()) << command;
        }
    }
    // A waiting exchange is answered, or fails as the others do: the request in flight before it
    // went unanswered.
    const bool unanswered = capture_.contains(L"sender: device does not response");
    for (const auto& [command, answered] : waiting) {
        if (answered) {
            EXPECT_NE(std::find(received.begin(), received.end(), command), received.end()) << command;
        } else {
            EXPECT_TRUE(unanswered) << command;
        }
    }
    EXPECT_EQ(recorder.values().back(), -1);
}

TEST_F(FirmwareUpdateTest, RefusesWhatDoesNotSuitTheDeviceBeforeSendingAnything) {
    const auto start = [&](const std::string& bytes, bool force) {
        device()->upgradeFirmware(device::FirmwareCollection::fromFile(bytes, force), nullptr, force);
    };
    EXPECT_EQ(thrownCode([&] { start(unifiedImage(firmwareModel("Vokar-S"), 0x80000), false); }),
              L"wrongVersion");
    // A power supply's image needs mains and batteries in order.
    LoudspeakerEmulator::Status unpowered;
    unpowered.acPowerSupply = 0;
    ASSERT_TRUE(device()->parseState(packet(unpowered, emulated().versionText()), emulated().address()));
    EXPECT_EQ(thrownCode([&] { start(unifiedImage(firmwareModel("Vokar-B-PSS"), 0x10000), false); }),
              L"wrongPower");
    EXPECT_EQ(thrownCode([&] { start(std::string(0x9000, 'x'), false); }), L"incorrectFirmware");
    EXPECT_TRUE(commandsLike("firmware").empty());

    flash_->setReportedSize("1000");
    try {
        start(collectionFile({vokarB_, vokarB_}), false);
        ADD_FAILURE() << "nothing was thrown";
    } catch (const exception::UserError& error) {
        EXPECT_EQ(error.description, L"The file size is larger than the device memory");
    }
    // The image after the refused one does not follow it when the device answers again.
    device()->checkResponding(true);
    ASSERT_TRUE(waitFor([&] { return !commandsLike("get vol").empty(); }));
    EXPECT_TRUE(waitForDispatcher());
    EXPECT_EQ(commandsLike("firmwareSize").size(), 1u);
    EXPECT_TRUE(commandsLike("firmwareErase").empty());
}

TEST_F(FirmwareUpdateTest, WritesTheImagesOfACollectionOneAfterTheOther) {
    const std::string lineControl = unifiedImage(firmwareModel("Vokar-B-LC"), 0xF000);
    ProgressRecorder recorder;
    ASSERT_TRUE(device()->upgradeFirmware(
        device::FirmwareCollection::fromFile(collectionFile({lineControl, vokarB_}), false),
        recorder.callback(), false));
    // Half the update is done once the first image is written; its device restarts.
    ASSERT_TRUE(recorder.waitFor(50));
    EXPECT_EQ(device()->getProgressOfUpgrading(), 50);
    EXPECT_EQ(flash_->written(), lineControl);
    ASSERT_TRUE(waitFor([&] { return emulated().rebootCount() == 1 && !emulated().isRebooting(); }));
    // When it answers again, the next image follows.
    ASSERT_TRUE(checkAnswers(*device(), [&] { return commandsLike("firmwareSize").size() == 2; }));
    ASSERT_TRUE(recorder.waitFor(100));
    EXPECT_EQ(flash_->written(), vokarB_);
    EXPECT_TRUE(waitFor([&] { return emulated().rebootCount() == 2; }));
    const std::vector<int> values = recorder.values();
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 1);
}

// An image that is only counted: its progress is set by the test.
class CountedImage : public device::IFirmware {
public:
    bool setData(const std::string&) override { return true; }
    bool isValid() override { return true; }
    void clear() override {}
    std::uint32_t getSize() override { return 1; }
    std::uint32_t getChecksum() override { return 0; }
    device::Version getVersion() override { return {}; }
    std::string getData() override { return ""; }
    bool upgrade(std::function<void(int)>) override { return true; }
    std::int32_t getProgress() override { return progress; }
    std::wstring getModelName() override { return L""; }
    std::string getEraseCommand() override { return ""; }
    std::string getProgramCommand(std::uint32_t, std::uint32_t, const char*) override { return ""; }
    std::string getFinishCommand(std::uint32_t) override { return ""; }
    std::string getMemorySizeCommand() override { return ""; }
    void bind(const net::IpAndPort&, std::shared_ptr<device::TransferProtocol>,
              std::weak_ptr<device::DeviceBase>) override {}
    std::atomic<std::int32_t> progress{100};
};

TEST_F(FirmwareUpdateTest, TheProgressOfAnUpdateCountsEveryImage) {
    auto collection = std::make_shared<device::FirmwareCollection>();
    std::vector<std::shared_ptr<CountedImage>> images;
    for (int n = 0; n < 3; ++n) {
        images.push_back(std::make_shared<CountedImage>());
        collection->push(images.back());
    }
    const struct {
        std::size_t running;  // the image being written
        std::int32_t progress;
        std::int32_t overall;
    } cases[] = {
        {0, 0, 0}, {0, 100, 33}, {1, 50, 49}, {2, 99, 99}, {2, 100, 100}, {2, -1, -1},
    };
    std::size_t started = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.running << " at " << c.progress);
        while (started <= c.running) {
            if (started > 0) images[started - 1]->progress = 100;
            device()->upgradeFirmware(collection, nullptr, true);
            ++started;
        }
        images[c.running]->progress = c.progress;
        EXPECT_EQ(device()->getProgressOfUpgrading(), c.overall);
    }
    // A single image reports its own progress.
    auto single = std::make_shared<device::FirmwareCollection>();
    images.push_back(std::make_shared<CountedImage>());
    single->push(images.back());
    device()->upgradeFirmware(single, nullptr, true);
    images.back()->progress = 37;
    EXPECT_EQ(device()->getProgressOfUpgrading(), 37);
    // Clearing drops the images still waiting, not the one being written.
    images.back()->progress = 100;
    auto queued = std::make_shared<device::FirmwareCollection>();
    for (int n = 0; n < 3; ++n) queued->push(std::make_shared<CountedImage>());
    device()->upgradeFirmware(queued, nullptr, true);
    ASSERT_EQ(queued->size(), 2u);
    device()->clearUpgradeQueue();
    EXPECT_TRUE(queued->empty());
    // A device that never started an update has nothing to clear, and reports nothing under way.
    const auto fresh = makeDevice(device::types::vokarB, 3);
    fresh->clearUpgradeQueue();
    EXPECT_EQ(fresh->getProgressOfUpgrading(), 100);
}

}  // namespace
}  // namespace test
