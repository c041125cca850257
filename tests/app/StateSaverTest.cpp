// The state saver: only what changed is taken and written, a burst of changes makes one write, a
// write that keeps failing or hangs is told once, and the stop follows the saver's last write.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <future>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "app/KeptState.h"
#include "app/StateSaver.h"
#include "foundation/TextConversion.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

using std::chrono::milliseconds;

// Kinds of state of one file each, whose text the test sets and marks; the saver takes them on a
// thread of the test (at once, or when the test runs what was queued) and writes them through a
// writer that counts what it is given, writes nothing, and can be held in a write or fail.
class StateSaverTest : public ::testing::Test {
protected:
    // A test that failed while a write was held lets the saver's thread end.
    ~StateSaverTest() override { hold(false); }

    std::wstring path(const std::string& name) const { return base::widen(folder_.file(name)); }
    // A kind of one file; its mark is returned.
    base::ChangeMark& addKind(const std::wstring& path, const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        texts_[path] = text;
        return marks_[path];
    }
    void change(const std::wstring& path, const std::string& text) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            texts_[path] = text;
        }
        marks_.at(path).mark();
    }
    frm::StateSaver::File file(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock_);
        return {path, std::numeric_limits<std::size_t>::max(), [text = texts_[path]] { return text; }};
    }
    std::vector<std::string> writesOf(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock_);
        return written_[path];
    }
    std::size_t takesOf(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock_);
        return takes_[path];
    }
    void hold(bool held) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            held_ = held;
        }
        released_.notify_all();
    }
    void failNext(std::size_t writes) {
        std::lock_guard<std::mutex> guard(lock_);
        failures_ = writes;
    }
    // The takes asked of the owner wait until the test runs them.
    void queueTakes() { queued_ = true; }
    std::size_t queuedTakes() {
        std::lock_guard<std::mutex> guard(lock_);
        return queue_.size();
    }
    void runQueuedTakes() {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> guard(lock_);
            tasks.swap(queue_);
        }
        for (auto& task : tasks) task();
    }

    test::TempFolder folder_;

private:
    base::AtomicWriteResult write(const std::wstring& path, const std::string& bytes) {
        std::unique_lock<std::mutex> guard(lock_);
        written_[path].push_back(bytes);
        released_.wait(guard, [this] { return !held_; });
        if (failures_ == 0) return {};
        --failures_;
        return {base::AtomicWriteResult::cannotWrite, ENOSPC};
    }

    std::mutex lock_;
    std::condition_variable released_;
    std::map<std::wstring, base::ChangeMark> marks_;
    std::map<std::wstring, std::string> texts_;
    std::map<std::wstring, std::size_t> takes_;
    std::map<std::wstring, std::vector<std::string>> written_;
    std::deque<std::function<void()>> queue_;
    bool queued_ = false;
    bool held_ = false;
    std::size_t failures_ = 0;

protected:
    // Made in the test's body, so that its thread ends before what it uses goes.
    std::unique_ptr<frm::StateSaver> saver_;
    frm::StateSaver& makeSaver(milliseconds retry = frm::StateSaver::kRetry) {
        saver_ = std::make_unique<frm::StateSaver>(
            [this](std::function<void()> take) {
                if (!queued_) return take();
                std::lock_guard<std::mutex> guard(lock_);
                queue_.push_back(std::move(take));
            },
            [this](const std::wstring& path, const std::string& bytes) { return write(path, bytes); },
            frm::StateSaver::kSettle, retry);
        for (const auto& [path, mark] : marks_) {
            saver_->watch(mark, [this, path = path] {
                {
                    std::lock_guard<std::mutex> guard(lock_);
                    ++takes_[path];
                }
                return frm::StateSaver::Snapshot{file(path)};
            });
        }
        return *saver_;
    }
};

// Nothing is taken of a kind that did not change, and a change is written without a period to
// wait for: the saver's retry period is an hour here. "At once" is the saver's settle of 20 ms, with
// no disk behind the writer: a wait of two seconds, a hundred settles, holds it on a machine at a
// load of twenty under the sanitizers, and is five times short of a change written ten seconds late.
TEST_F(StateSaverTest, OnlyTheKindThatChangedIsTakenAndItIsWrittenAtOnce) {
    constexpr auto kAtOnce = std::chrono::seconds(2);
    const std::wstring changed = path("zones.xml");
    const std::wstring kept = path("devices.xml");
    addKind(changed, "zones");
    addKind(kept, "devices");
    frm::StateSaver& saver = makeSaver(std::chrono::hours(1));
    saver.start();
    for (const char* text : {"zone 1", "zone 2"}) {
        change(changed, text);
        ASSERT_TRUE(test::waitFor(
            [&] { return !writesOf(changed).empty() && writesOf(changed).back() == text; }, kAtOnce))
            << text;
    }
    EXPECT_EQ(takesOf(kept), 0u);
    EXPECT_EQ(takesOf(changed), 2u);
    EXPECT_TRUE(writesOf(kept).empty());
    saver.stop();
}

// A hundred changes of two kinds while the window's thread is busy make one write of each, and
// the file that did not change none.
TEST_F(StateSaverTest, ABurstOfChangesMakesOneWritePerChangedFile) {
    const std::wstring zones = path("zones.xml");
    const std::wstring tasks = path("tasks.xml");
    const std::wstring devices = path("devices.xml");
    std::ofstream(folder_.file("devices.xml")) << "as on disk";
    addKind(zones, "zones");
    addKind(tasks, "tasks");
    base::ChangeMark& unchanged = addKind(devices, "as on disk");
    queueTakes();
    frm::StateSaver& saver = makeSaver();
    saver.start();
    unchanged.mark();
    change(zones, "zones 0");
    ASSERT_TRUE(test::waitFor([&] { return queuedTakes() == 1; }));
    change(tasks, "tasks 100");
    for (int number = 1; number <= 100; ++number) change(zones, "zones " + std::to_string(number));
    // The changes made before it was taken are written with it; those after its count are taken
    // once more, and found written.
    ASSERT_TRUE(test::waitFor([&] {
        runQueuedTakes();
        return takesOf(zones) == 2 && !writesOf(tasks).empty();
    }));
    saver.stop();
    EXPECT_EQ(writesOf(zones), (std::vector<std::string>{"zones 100"}));
    EXPECT_EQ(writesOf(tasks), (std::vector<std::string>{"tasks 100"}));
    EXPECT_TRUE(writesOf(devices).empty());
}

TEST_F(StateSaverTest, AWriteThatFailsIsToldOnceAndTriedAgainUntilItSucceeds) {
    struct Row {
        std::size_t failures;
        bool savedAtTheStop;
    };
    for (const Row row : {Row{3, true}, Row{std::numeric_limits<std::size_t>::max(), false}}) {
        SCOPED_TRACE(row.failures);
        test::LogCapture log;
        const std::wstring file = path(std::to_string(row.failures) + ".xml");
        addKind(file, "");
        failNext(row.failures);
        frm::StateSaver& saver = makeSaver(milliseconds(5));
        saver.start();
        change(file, "tasks");
        // Written at the fourth try, or still failing at the fifth.
        ASSERT_TRUE(test::waitFor([&] {
            return row.savedAtTheStop ? log.contains(L"' сохранён", L"INFO") : writesOf(file).size() >= 5;
        }));
        saver.stop();
        EXPECT_EQ(saver.failing(), !row.savedAtTheStop);
        EXPECT_EQ(log.find(L"не сохранён", L"ERROR").size(), 1u);
        if (row.savedAtTheStop) {
            EXPECT_EQ(writesOf(file).size(), 4u);
        }
    }
}

// The saver's failure stands at the stop unless the stop wrote that file since; a file that could
// not be read nor put aside is never written, by the saver or the stop.
TEST_F(StateSaverTest, TheStopReportsEveryFileWhoseLastWriteFailedAndNeverWritesAKeptFile) {
    const std::wstring failing = path("tasks.xml");
    const std::wstring written = path("zones.xml");
    const std::wstring kept = path("music.xml");
    addKind(failing, "");
    addKind(written, "");
    addKind(kept, "");
    failNext(std::numeric_limits<std::size_t>::max());
    frm::StateSaver& saver = makeSaver(std::chrono::hours(1));
    saver.keepAsIs(kept);
    saver.start();
    change(kept, "music");
    change(failing, "tasks");
    ASSERT_TRUE(test::waitFor([&] { return !writesOf(failing).empty(); }));
    failNext(0);
    change(written, "zones");
    EXPECT_FALSE(saver.writeChanged({file(written)}));
    EXPECT_FALSE(saver.writeChanged({file(written), file(kept)}));
    EXPECT_TRUE(writesOf(kept).empty());
    // Written by the stop, it is saved.
    EXPECT_TRUE(saver.writeChanged({file(written), file(failing)}));
    EXPECT_EQ(writesOf(written), (std::vector<std::string>{"zones"}));
}

// The stop ends the saver before it writes: what the saver was taking is dropped, never written
// after the stop's newer state, also when the window's thread serves the saver's take, of the
// state before, between the stop's writes of two files.
TEST_F(StateSaverTest, TheSaverEndsBeforeTheStopWrites) {
    struct Row {
        const char* take;
        bool servedWhileTheStopWrites;
    };
    for (const Row row : {Row{"served after the stop", false}, Row{"served while the stop writes", true}}) {
        SCOPED_TRACE(row.take);
        const std::wstring zones = path(std::string("zones ") + row.take + ".xml");
        addKind(zones, "");
        queueTakes();
        frm::StateSaver& saver = makeSaver();
        saver.start();
        change(zones, "older");
        ASSERT_TRUE(test::waitFor([&] { return queuedTakes() == 1; }));
        // A saver still running when its take is served writes what it took before this returns.
        const frm::StateSaver::File served{path("served.xml"), std::numeric_limits<std::size_t>::max(), [&] {
                                               runQueuedTakes();
                                               if (takesOf(zones) > 0)
                                                   test::waitFor([&] { return writesOf(zones).size() > 1; });
                                               return std::string("served");
                                           }};
        frm::StateSaver::Snapshot stop{
            {zones, std::numeric_limits<std::size_t>::max(), [] { return "newer"; }}};
        if (row.servedWhileTheStopWrites) stop.push_back(served);
        EXPECT_TRUE(saver.writeChanged(stop));
        runQueuedTakes();
        EXPECT_EQ(takesOf(zones), 0u);
        EXPECT_EQ(writesOf(zones), (std::vector<std::string>{"newer"}));
    }
}

// The first look at a file reads it whole within its kind's bound, larger than the files read
// elsewhere: a file as written is neither reported nor rewritten.
TEST_F(StateSaverTest, ALargeFileAsWrittenIsNotRewritten) {
    test::LogCapture log;
    const std::string large(static_cast<std::size_t>(base::kMaximumReadFileSize) + 1000, 'x');
    std::ofstream(folder_.file("music.xml")) << large;
    const std::wstring music = path("music.xml");
    addKind(music, large);
    frm::StateSaver& saver = makeSaver();
    EXPECT_TRUE(saver.writeChanged({{music, 2 * large.size(), [&] { return large; }}}));
    EXPECT_TRUE(writesOf(music).empty());
    EXPECT_FALSE(log.contains(L"Ошибка чтения файла"));
}

// A write the disk holds is told once when it passes a second, while it is still held.
TEST_F(StateSaverTest, AWriteHeldPastASecondIsToldWhileHeld) {
    test::LogCapture log;
    const std::wstring zones = path("zones.xml");
    addKind(zones, "");
    hold(true);
    frm::StateSaver& saver = makeSaver();
    saver.start();
    change(zones, "zones");
    ASSERT_TRUE(test::waitFor([&] { return log.contains(L"длится больше секунды", L"WARN"); }));
    hold(false);
    ASSERT_TRUE(test::waitFor([&] { return log.contains(L"закончилась через", L"INFO"); }));
    saver.stop();
    EXPECT_EQ(log.find(L"длится больше секунды").size(), 1u);
}

// A kind whose text would pass its bound is not written: the file on disk stays one that the next
// start reads, and the operator is told why. The same state makes the same text, so it is made
// again at the kind's next change, not at each retry.
TEST_F(StateSaverTest, ATextPastItsKindsBoundLeavesTheFileAsItIsUntilItsNextChange) {
    test::LogCapture log;
    const std::wstring playback = path("device_playback.xml");
    const std::wstring failing = path("tasks.xml");
    boost::property_tree::wptree tree;
    tree.put(L"playback.item", std::wstring(1000, L'x'));
    base::ChangeMark mark;
    base::ChangeMark other;
    std::atomic<int> texts{0};
    std::atomic<int> playbackWrites{0};
    std::atomic<int> failingWrites{0};
    frm::StateSaver saver([](std::function<void()> take) { take(); },
                          [&](const std::wstring& at, const std::string&) {
                              if (at != failing) {
                                  ++playbackWrites;
                                  return base::AtomicWriteResult{};
                              }
                              ++failingWrites;
                              return base::AtomicWriteResult{base::AtomicWriteResult::cannotWrite, ENOSPC};
                          },
                          frm::StateSaver::kSettle, milliseconds(5));
    const auto take = [&] {
        frm::StateSaver::File file = frm::treeFile(playback, 500, tree);
        file.text = [&texts, text = file.text] {
            ++texts;
            return text();
        };
        return frm::StateSaver::Snapshot{file};
    };
    saver.watch(mark, take);
    saver.watch(other, [&] {
        return frm::StateSaver::Snapshot{
            {failing, std::numeric_limits<std::size_t>::max(), [] { return "tasks"; }}};
    });
    saver.start();
    mark.mark();
    other.mark();
    // Each retry of the failing write is a round in which a text to be made again would be made.
    ASSERT_TRUE(test::waitFor([&] { return failingWrites >= 3; }));
    EXPECT_EQ(texts, 1);
    mark.mark();
    ASSERT_TRUE(test::waitFor([&] { return texts == 2; }));
    EXPECT_FALSE(saver.writeChanged(take()));
    EXPECT_EQ(texts, 3);
    EXPECT_EQ(playbackWrites, 0);
    EXPECT_EQ(log.find(L"Файл слишком велик", L"ERROR").size(), 1u);
}

}  // namespace
