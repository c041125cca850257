// The work of the panel's pages: what leaving a page, another device or the shutdown does to
// items that are queued, running, or on their way to the GUI thread, where a device that stops
// answering meanwhile is reported, and an item that queues its successor whenever it starts.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/ThreadDispatcher.h"
#include "propertypanel/PageWork.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/TestDevice.h"

namespace {

constexpr int kPage = 1033;
constexpr int kOtherPage = 1000;

class PageWorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        base::ThreadDispatcher::create();
        ASSERT_TRUE(GuiThreadInvoker::create(gui_.poster()));
        work_.setShowingCheck([this](const device::DeviceBase* device, int page) {
            return showing_.load() && device == device_.get() && page == kPage;
        });
    }
    void TearDown() override {
        work_.shutdown();
        GuiThreadInvoker::destroy();
        base::ThreadDispatcher::destroy();
    }

    // Waits until everything queued on the dispatcher `delayMs` ahead has had its time, and the
    // GUI thread has run what reached it.
    void settle(std::uint32_t delayMs) {
        std::atomic<bool> passed{false};
        base::ThreadDispatcher::add(L"test: after the queued work", delayMs + 100, [&] { passed = true; });
        ASSERT_TRUE(test::waitFor([&] { return passed.load(); }));
        ASSERT_TRUE(test::waitForDispatcher());
        std::atomic<bool> shown{false};
        GuiThreadInvoker::add([&] { shown = true; });
        ASSERT_TRUE(test::waitFor([&] { return shown.load(); }));
    }

    test::FakeGuiThread gui_;
    std::shared_ptr<device::DeviceBase> device_ =
        test::TestDevice::create(1, device::types::vokarB, net::HardwareAddress("02:7E:41:00:00:01"),
                                 net::IpAndPort("127.0.0.2", 5000), L"Hall", nullptr, nullptr);
    std::atomic<bool> showing_{true};
    frm::PageWork work_{{kPage, kOtherPage}};
};

TEST_F(PageWorkTest, AStoredItemReplacesTheOneBeforeAndRunsWithItsOwnValue) {
    std::atomic<int> runs{0};
    std::atomic<int> last{0};
    const frm::PageTicket ticket = work_.ticket(device_, kPage);
    for (int value = 1; value <= 5; ++value) {
        ticket.queue(0, L"test: value", 200, [&, value](const std::shared_ptr<device::DeviceBase>& device) {
            EXPECT_EQ(device, device_);
            ++runs;
            last = value;
        });
    }
    settle(200);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(last.load(), 5);
}

TEST_F(PageWorkTest, LeavingThePageAnotherDeviceOrTheShutdownStopsWhatIsQueued) {
    const auto leaveBy = {+[](frm::PageWork& work) { work.leave(kPage); },
                          +[](frm::PageWork& work) { work.invalidate(); },
                          +[](frm::PageWork& work) { work.shutdown(); }};
    for (const auto leave : leaveBy) {
        std::atomic<bool> ran{false};
        const frm::PageTicket ticket = work_.ticket(device_, kPage);
        ticket.queue(1, L"test: queued", 150,
                     [&](const std::shared_ptr<device::DeviceBase>&) { ran = true; });
        ASSERT_NE(work_.queued(kPage, 1), 0u);
        leave(work_);
        EXPECT_FALSE(ticket.holds());
        settle(150);
        EXPECT_FALSE(ran.load());
        // A void ticket queues nothing more.
        ticket.queue(1, L"test: late", 0, [&](const std::shared_ptr<device::DeviceBase>&) { ran = true; });
        settle(0);
        EXPECT_FALSE(ran.load());
    }
}

TEST_F(PageWorkTest, AnItemAlreadyRunningWhenThePageIsLeftShowsNothing) {
    std::mutex lock;
    std::condition_variable wake;
    bool started = false;
    bool released = false;
    std::atomic<bool> shown{false};
    const frm::PageTicket ticket = work_.ticket(device_, kPage);
    ticket.queue(0, L"test: running", 0, [&](const std::shared_ptr<device::DeviceBase>&) {
        std::unique_lock<std::mutex> guard(lock);
        started = true;
        wake.notify_all();
        wake.wait(guard, [&] { return released; });
        ticket.show([&] { shown = true; });
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(wake.wait_for(guard, std::chrono::seconds(10), [&] { return started; }));
    }
    // The dispatcher's remove does not reach a running item; the ticket does.
    work_.leave(kPage);
    {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
    }
    wake.notify_all();
    settle(0);
    EXPECT_FALSE(shown.load());
}

TEST_F(PageWorkTest, ShowRunsLaterOnlyWhileThePanelShowsTheDeviceAndThePage) {
    std::atomic<int> shown{0};
    const frm::PageTicket ticket = work_.ticket(device_, kPage);
    std::atomic<bool> ranInline{false};
    GuiThreadInvoker::add([&] {
        ticket.show([&] { ++shown; });
        ranInline = shown.load() != 0;
    });
    settle(0);
    EXPECT_FALSE(ranInline.load());
    EXPECT_EQ(shown.load(), 1);

    showing_ = false;
    ticket.show([&] { ++shown; });
    work_.ticket(device_, kOtherPage).show([&] { ++shown; });
    settle(0);
    EXPECT_EQ(shown.load(), 1);

    // A device that is gone is not kept alive by the work queued for it.
    showing_ = true;
    std::atomic<bool> ran{false};
    ticket.queue(0, L"test: gone", 100, [&](const std::shared_ptr<device::DeviceBase>&) { ran = true; });
    device_.reset();
    settle(100);
    EXPECT_FALSE(ran.load());
}

TEST_F(PageWorkTest, ADeviceThatStopsAnsweringReachesTheOfflineHandlerOnlyWhileItsPageShows) {
    std::atomic<int> handled{0};
    work_.setOfflineHandler([&] { ++handled; });
    const frm::PageTicket ticket = work_.ticket(device_, kPage);
    for (const bool showing : {true, false}) {
        showing_ = showing;
        handled = 0;
        // Once on the dispatcher, once while the work shows its result.
        ticket.queue(0, L"test: offline", 0,
                     [](const std::shared_ptr<device::DeviceBase>&) { throw exception::Offline(); });
        ticket.queue(1, L"test: offline when shown", 0,
                     [&ticket](const std::shared_ptr<device::DeviceBase>&) {
                         ticket.show([] { throw exception::Offline(); });
                     });
        settle(0);
        EXPECT_EQ(handled.load(), showing ? 2 : 0) << showing;
    }
}

TEST_F(PageWorkTest, NothingReachesTheGuiThreadAfterTheShutdown) {
    std::atomic<bool> ran{false};
    work_.shutdown();
    work_.onGui([&] { ran = true; });
    settle(0);
    EXPECT_FALSE(ran.load());
}

// Starts the items when the test says, one at a time on the test's thread; the next one may
// start inside the very add that queues it, as a due item does on an idle dispatcher before add
// has returned to the thread that queues it.
class StepRunner {
public:
    frm::PageWork::Runner runner() {
        return {[this](const std::wstring&, std::uint32_t, std::function<void()> item) {
                    const std::uint32_t id = ++lastId_;
                    if (startInsideAdd_) {
                        startInsideAdd_ = false;
                        item();
                    } else {
                        waiting_[id] = std::move(item);
                    }
                    return id;
                },
                [this](std::uint32_t id) {
                    removed_.push_back(id);
                    waiting_.erase(id);
                }};
    }
    void startNextInsideItsAdd() { startInsideAdd_ = true; }
    // Starts the item that waits longest; false when none waits.
    bool startFirst() {
        if (waiting_.empty()) return false;
        const auto first = waiting_.begin();
        const std::function<void()> item = std::move(first->second);
        waiting_.erase(first);
        item();
        return true;
    }
    void startAll() {
        while (startFirst()) {
        }
    }
    std::uint32_t lastId() const { return lastId_; }
    bool removed(std::uint32_t id) const {
        return std::find(removed_.begin(), removed_.end(), id) != removed_.end();
    }

private:
    bool startInsideAdd_ = false;
    std::uint32_t lastId_ = 0;
    std::map<std::uint32_t, std::function<void()>> waiting_;
    std::vector<std::uint32_t> removed_;
};

TEST(PageWorkOrder, APollingItemKeepsItsSuccessorWhenEverItStarts) {
    enum class Start { insideItsAdd, afterItsAdd, afterASecondQueue };
    struct Case {
        const char* name;
        Start start;
        // The page is left while the successor waits.
        bool leave;
        int polls;
    };
    const Case cases[] = {
        {"started inside the add that queues it", Start::insideItsAdd, false, 2},
        {"started once its add returned", Start::afterItsAdd, false, 2},
        {"replaced by a second queue before it started", Start::afterASecondQueue, false, 2},
        {"started inside its add, the page left afterwards", Start::insideItsAdd, true, 1},
    };
    const std::shared_ptr<device::DeviceBase> device =
        test::TestDevice::create(1, device::types::vokarB, net::HardwareAddress("02:7E:41:00:00:01"),
                                 net::IpAndPort("127.0.0.2", 5000), L"Hall", nullptr, nullptr);
    for (const Case& c : cases) {
        StepRunner steps;
        frm::PageWork work({kPage}, steps.runner());
        const frm::PageTicket ticket = work.ticket(device, kPage);
        int polls = 0;
        // Each poll queues the next one, as the debug page's polling does.
        std::function<void()> poll = [&] {
            ticket.queue(0, L"test: poll", 0, [&](const std::shared_ptr<device::DeviceBase>&) {
                if (++polls < 2) poll();
            });
        };
        switch (c.start) {
            case Start::insideItsAdd:
                steps.startNextInsideItsAdd();
                poll();
                break;
            case Start::afterItsAdd:
                poll();
                ASSERT_TRUE(steps.startFirst()) << c.name;
                break;
            case Start::afterASecondQueue:
                poll();
                poll();
                ASSERT_TRUE(steps.startFirst()) << c.name;
                break;
        }
        ASSERT_EQ(polls, 1) << c.name;
        const std::uint32_t successor = steps.lastId();
        EXPECT_EQ(work.queued(kPage, 0), successor) << c.name;
        EXPECT_FALSE(steps.removed(successor)) << c.name;
        if (c.leave) work.leave(kPage);
        steps.startAll();
        EXPECT_EQ(polls, c.polls) << c.name;
        EXPECT_EQ(work.queued(kPage, 0), 0u) << c.name;
    }
}

}  // namespace
