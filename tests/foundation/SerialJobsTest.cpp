#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SerialJobs.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"

namespace {

// Runs one scenario of a job queue on the dispatcher. Steps:
//   hold X | push X | pushOne X   queue a job that notes X: held back, or handed over (a batch, or
//                                 one job alone)
//   release | close
//   gate | open                   an item that holds the executor until opened
//   settle                        waits for the dispatcher, then notes "ran: " and what ran so far
class Scenario {
public:
    ~Scenario() {
        open();
        jobs_->close();
    }

    std::vector<std::string> run(const std::vector<std::string>& steps) {
        for (const std::string& step : steps) {
            std::istringstream in(step);
            std::string op, name;
            in >> op >> name;
            std::vector<base::SerialJobs::Item> items;
            items.push_back(base::SerialJobs::Item{[this, name] { note(name); }, false});
            if (op == "hold") {
                jobs_->hold(items);
            } else if (op == "push") {
                jobs_->push(items);
            } else if (op == "pushOne") {
                jobs_->push([this, name] { note(name); }, false);
            } else if (op == "release") {
                jobs_->release();
            } else if (op == "close") {
                jobs_->close();
            } else if (op == "gate") {
                base::ThreadDispatcher::add(L"test: gate", 0, [this] {
                    std::unique_lock<std::mutex> guard(lock_);
                    opened_.wait(guard, [this] { return open_; });
                });
            } else if (op == "open") {
                open();
            } else if (op == "settle") {
                EXPECT_TRUE(test::waitForDispatcher());
                std::lock_guard<std::mutex> guard(lock_);
                events_.push_back("ran:" + ran_);
            } else {
                ADD_FAILURE() << "unknown step " << step;
            }
        }
        return events_;
    }

private:
    void note(const std::string& name) {
        std::lock_guard<std::mutex> guard(lock_);
        ran_ += " " + name;
    }
    void open() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            open_ = true;
        }
        opened_.notify_all();
    }

    const std::shared_ptr<base::SerialJobs> jobs_ =
        std::make_shared<base::SerialJobs>(L"test: jobs", 16, L"test: %1% jobs wait");
    std::mutex lock_;
    std::condition_variable opened_;
    bool open_ = false;
    std::string ran_;
    std::vector<std::string> events_;
};

struct Case {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> events;
};

TEST(SerialJobsTest, HeldJobsWaitForTheirHandOver) {
    base::ThreadDispatcher::create();
    const std::vector<Case> cases = {
        {"held jobs wait until released, then run in the order queued",
         {"hold a", "hold b", "settle", "release", "settle"},
         {"ran:", "ran: a b"}},
        {"a batch handed over takes the held jobs along, theirs first",
         {"hold a", "push b", "settle", "hold c", "pushOne d", "settle"},
         {"ran: a b", "ran: a b c d"}},
        {"held jobs join an item already on its way",
         {"gate", "push a", "hold b", "open", "settle"},
         {"ran: a b"}},
        {"a release with nothing held, and jobs of a closed queue, run nothing",
         {"release", "settle", "close", "hold a", "release", "push b", "settle"},
         {"ran:", "ran:"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario;
        EXPECT_EQ(scenario.run(c.steps), c.events);
    }
    base::ThreadDispatcher::destroy();
}

}  // namespace
