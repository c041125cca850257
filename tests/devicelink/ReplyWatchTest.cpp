#include "devicelink/ReplyWatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using device::ReplyWatch;
using namespace std::chrono_literals;

// Each step: how long ago the last request went out, whether the responder should watch, and, when
// it does, what the watch saw.
struct Step {
    ReplyWatch::Clock::duration sinceSend;
    bool watches;
    bool sawReply = false;
};

struct Case {
    const char* name;
    bool severalCpus;
    std::vector<Step> steps;
};

TEST(ReplyWatch, WatchesOnlyWhileARequestWentOutLatelyAndRestsAfterAWatchInVain) {
    const ReplyWatch::Clock::duration never = ReplyWatch::Clock::now().time_since_epoch();
    std::vector<Step> afterIdle{{10us, true, false}};
    for (int n = 0; n < ReplyWatch::kSleepsAfterIdleWatch; ++n) afterIdle.push_back({10us, false});
    afterIdle.push_back({10us, true, true});
    afterIdle.push_back({10us, true, true});

    const std::vector<Case> cases{
        {"one CPU never watches", false, {{0us, false}, {10us, false}}},
        {"nothing ever sent", true, {{never, false}}},
        {"a request just sent", true, {{0us, true, true}, {199us, true, true}}},
        {"the last request older than a watch", true, {{200us, false}, {5ms, false}}},
        {"a watch in vain rests for a while, then watches again", true, afterIdle},
        // Waits with no recent request do not count towards the rest.
        {"the rest counts only waits with a recent request", true,
         {{10us, true, false}, {1s, false}, {1s, false}, {10us, false}}},
    };
    for (const Case& c : cases) {
        ReplyWatch watch(c.severalCpus);
        const ReplyWatch::Clock::time_point now = ReplyWatch::Clock::now();
        for (std::size_t n = 0; n < c.steps.size(); ++n) {
            const Step& step = c.steps[n];
            const bool watches = watch.shouldWatch(now, now - step.sinceSend);
            EXPECT_EQ(watches, step.watches) << c.name << ", step " << n;
            if (watches) watch.watched(step.sawReply);
        }
    }
}

}  // namespace
