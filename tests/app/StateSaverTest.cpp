// The state saver: a burst of changes makes a write or two, an unchanged state none, and a write
// that keeps failing is told once.

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "app/StateSaver.h"
#include "foundation/TextConversion.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

// The saver at a short period, given at each round the texts the test holds then, through a
// writer that counts what it is given, writes nothing, and can be held in a write or fail.
class StateSaverTest : public ::testing::Test {
protected:
    // A test that failed while a write was held lets the saver's thread end.
    ~StateSaverTest() override { hold(false); }

    std::wstring path(const std::string& name) const { return base::widen(folder_.file(name)); }
    void setText(const std::wstring& path, const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        texts_[path] = text;
    }
    void clearTexts() {
        std::lock_guard<std::mutex> guard(lock_);
        texts_.clear();
    }
    std::vector<std::string> writesOf(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock_);
        return written_[path];
    }
    std::size_t rounds() {
        std::lock_guard<std::mutex> guard(lock_);
        return rounds_;
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

    test::TempFolder folder_;

private:
    void offerNow() {
        frm::StateSaver::Snapshot snapshot;
        std::lock_guard<std::mutex> guard(lock_);
        ++rounds_;
        for (const auto& [path, text] : texts_) snapshot.push_back({path, [text = text] { return text; }});
        saver_->offer(std::move(snapshot));
    }
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
    std::map<std::wstring, std::string> texts_;
    std::map<std::wstring, std::vector<std::string>> written_;
    std::size_t rounds_ = 0;
    bool held_ = false;
    std::size_t failures_ = 0;

protected:
    // Made in the test's body, so that its thread ends before what it uses goes.
    std::unique_ptr<frm::StateSaver> saver_;
    frm::StateSaver& makeSaver() {
        saver_ = std::make_unique<frm::StateSaver>(
            std::chrono::milliseconds(5), [this] { offerNow(); },
            [this](const std::wstring& path, const std::string& bytes) { return write(path, bytes); });
        return *saver_;
    }
};

TEST_F(StateSaverTest, ABurstOfAHundredChangesMakesTwoWritesAndAnUnchangedStateNone) {
    const std::wstring changed = path("zones.xml");
    const std::wstring kept = path("devices.xml");
    std::ofstream(folder_.file("devices.xml")) << "as on disk";
    setText(kept, "as on disk");
    setText(changed, "change 0");
    hold(true);
    frm::StateSaver& saver = makeSaver();
    saver.start();
    // The hundred changes come while the first write takes its time.
    ASSERT_TRUE(test::waitFor([&] { return writesOf(changed).size() == 1; }));
    for (int change = 1; change <= 100; ++change) setText(changed, "change " + std::to_string(change));
    hold(false);
    ASSERT_TRUE(test::waitFor(
        [&] { return !writesOf(changed).empty() && writesOf(changed).back() == "change 100"; }));
    const std::size_t after = rounds();
    ASSERT_TRUE(test::waitFor([&] { return rounds() >= after + 3; }));
    EXPECT_EQ(writesOf(changed), (std::vector<std::string>{"change 0", "change 100"}));
    EXPECT_TRUE(writesOf(kept).empty());
    EXPECT_TRUE(saver.stop());
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
        clearTexts();
        setText(file, "tasks");
        failNext(row.failures);
        frm::StateSaver& saver = makeSaver();
        saver.start();
        // Written at the fourth try, or still failing at the fifth.
        ASSERT_TRUE(test::waitFor([&] {
            return row.savedAtTheStop ? log.contains(L"' сохранён", L"INFO") : writesOf(file).size() >= 5;
        }));
        EXPECT_EQ(saver.stop(), row.savedAtTheStop);
        EXPECT_EQ(log.find(L"не сохранён", L"ERROR").size(), 1u);
        if (row.savedAtTheStop) {
            EXPECT_EQ(writesOf(file).size(), 4u);
        }
    }
}

}  // namespace
