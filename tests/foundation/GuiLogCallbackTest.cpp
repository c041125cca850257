#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "foundation/GuiThreadInvoker.h"
#include "foundation/LogCalls.h"
#include "foundation/Place.h"
#include "support/FakeGuiThread.h"
#include "support/LogCapture.h"
#include "support/ManualClock.h"

namespace {

struct Box {
    std::wstring caption;
    std::wstring text;
    debug::MessageIcon icon;
};

class GuiLogCallback : public ::testing::Test {
protected:
    void SetUp() override {
        debug::resetRecentMessages();
        debug::setMessagePresenter(
            [this](const std::wstring& caption, const std::wstring& text, debug::MessageIcon icon) {
                std::lock_guard<std::mutex> guard(lock_);
                boxes_.push_back({caption, text, icon});
            });
    }
    void TearDown() override {
        GuiThreadInvoker::destroy();
        debug::setMessagePresenter(nullptr);
    }
    std::size_t boxCount() {
        std::lock_guard<std::mutex> guard(lock_);
        return boxes_.size();
    }
    // Waits until the GUI thread has run everything queued so far.
    void drain() {
        std::atomic<bool> reached{false};
        GuiThreadInvoker::add([&] { reached = true; });
        ASSERT_TRUE(test::waitFor([&] { return reached.load(); }));
    }

    test::FakeGuiThread gui_;
    std::mutex lock_;
    std::vector<Box> boxes_;
};

TEST_F(GuiLogCallback, RepeatsWithinTwoSecondsShowOneBox) {
    test::ManualClock clock;
    test::LogCapture capture(base::Log::INFO);
    ASSERT_TRUE(GuiThreadInvoker::create(gui_.poster()));
    const debug::Place place("a::B::c");
    place.error(L"disk full");
    place.error(L"disk full");
    place.warn(L"disk full");
    drain();
    ASSERT_EQ(boxCount(), 1u);
    EXPECT_EQ(boxes_[0].caption, L"ERROR");
    EXPECT_EQ(boxes_[0].icon, debug::MessageIcon::error);

    clock.advance(std::chrono::milliseconds(2100));
    place.error(L"disk full");
    drain();
    EXPECT_EQ(boxCount(), 2u);

    place.fatal(L"fatal again");
    place.fatal(L"fatal again");
    place.important(L"important is queued but shown nowhere");
    place.info(L"info never reaches the callback");
    drain();
    EXPECT_EQ(boxCount(), 4u);
    // Both boxes and the file have the records.
    EXPECT_EQ(capture.find(L"disk full", L"ERROR").size(), 3u);
}

// What comes before the window waits for it: the window takes it once it shows.
TEST_F(GuiLogCallback, NoticeBeforeTheInvokerExistsWaitsForTheWindow) {
    test::LogCapture capture(base::Log::INFO);
    debug::Place("a::B::c").notice(L"early notice");
    debug::Place("a::B::c").info(L"early info");
    ASSERT_TRUE(GuiThreadInvoker::create(gui_.poster()));
    debug::Place("a::B::c").notice(L"early notice");
    debug::Place("a::B::c").notice(L"later notice");
    drain();
    ASSERT_EQ(boxCount(), 1u);
    EXPECT_EQ(boxes_[0].text, L"later notice");
    EXPECT_EQ(boxes_[0].icon, debug::MessageIcon::information);
    EXPECT_EQ(capture.find(L"early notice", L"NOTICE").size(), 2u);

    debug::showHeldMessages();
    debug::showHeldMessages();
    drain();
    ASSERT_EQ(boxCount(), 2u);
    EXPECT_EQ(boxes_[1].text, L"early notice");

    // Held for a window that is not shown yet, though the invoker exists, until it shows them.
    debug::holdMessages();
    debug::Place("a::B::c").warn(L"held warning");
    drain();
    EXPECT_EQ(boxCount(), 2u);
    debug::showHeldMessages();
    drain();
    ASSERT_EQ(boxCount(), 3u);
    EXPECT_EQ(boxes_[2].text, L"held warning");
}

TEST_F(GuiLogCallback, StoppingInvokerDropsNewTasks) {
    test::LogCapture capture;
    ASSERT_TRUE(GuiThreadInvoker::create(gui_.poster()));
    EXPECT_FALSE(GuiThreadInvoker::create(gui_.poster()));
    std::atomic<int> ran{0};
    GuiThreadInvoker::add([&] { ++ran; });
    ASSERT_TRUE(test::waitFor([&] { return ran.load() == 1; }));
    GuiThreadInvoker::stop();
    GuiThreadInvoker::add([&] { ++ran; });
    const std::wstring skipped = L"skip adding task for gui thread invoker";
    EXPECT_EQ(capture.find(skipped, L"DEBUG").size(), 1u);
    GuiThreadInvoker::destroy();
    EXPECT_FALSE(GuiThreadInvoker::exists());
    GuiThreadInvoker::add([&] { ++ran; });  // no invoker: the task is dropped as well
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(capture.find(skipped, L"DEBUG").size(), 2u);
}

}  // namespace
