#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "devicelink/RequestQueue.h"
#include "support/ManualClock.h"

namespace {

using device::RequestQueue;
using namespace std::chrono_literals;

// Runs one scenario of the request rules on a clock that moves only when told. Steps:
//   add D CMD PRIORITY INTERVAL [GROUP]   queue CMD ('_' for a blank) for device 127.0.0.D, sent at
//                                         once when the device is idle; of a job's group when given
//   queue D CMD PRIORITY INTERVAL the same, held until startAll
//   module D CMD PRIORITY INTERVAL add, for a module behind the device: its silence is its own
//   free D CMD PRIORITY INTERVAL   add, for a request the device may answer in text of any kind
//   again D CMD PRIORITY INTERVAL OLD     add, with the request of the completed OLD made again, as
//                                         the transport's pool does, for a caller of no job
//   startAll | wait MS (then expire) | erase D [GROUP] | sendfail D | giveup CMD
//   reply D TEXT | early D TEXT   a datagram from D, received now or just before the last send
//   next                          the earliest deadline: "next MS" counted from the start, or "next none"
// Events: "done CMD: TEXT", "fail CMD", "send D CMD #n" (in that order after a step), and what a
// reply or giveup met. Devices are walked greater address first. With `showFollowed`, a completion
// whose device sent its next request with it says so: "done CMD: TEXT (next out)".
class Scenario {
public:
    explicit Scenario(bool showFollowed = false) : showFollowed_(showFollowed) {
        clock_.holdSteady();
        start_ = base::clock::steadyNow();
    }

    std::vector<std::string> run(const std::vector<std::string>& steps) {
        for (const std::string& step : steps) {
            std::istringstream in(step);
            std::string op;
            in >> op;
            RequestQueue::Actions actions;
            if (op == "add" || op == "queue" || op == "again" || op == "module" || op == "free") {
                int device = 0, priority = 0;
                unsigned interval = 0;
                std::string command;
                in >> device >> command >> priority >> interval;
                RequestQueue::RequestPtr request(new RequestQueue::Request);
                RequestQueue::Group group = 0;
                if (op == "again") {
                    std::string old;
                    in >> old;
                    request = requests_.at(old).first;
                } else {
                    in >> group;
                }
                bool zero = false;
                std::string text = command;
                std::replace(text.begin(), text.end(), '_', ' ');
                RequestQueue::makeRequest(request, text, priority, interval, zero);
                request->handler = [](const std::string&, bool) {};
                if (group != 0) request->group = group;
                if (op == "module") request->silence = RequestQueue::Silence::module;
                if (op == "free") request->answer = RequestQueue::Answer::anyText;
                requests_[command] = {request, device};
                queue_.add(address(device), request, op != "queue", actions);
            } else if (op == "startAll") {
                queue_.startAll(actions);
            } else if (op == "wait") {
                int ms = 0;
                in >> ms;
                clock_.advance(std::chrono::milliseconds(ms));
                queue_.expire(actions);
            } else if (op == "erase" || op == "sendfail") {
                int device = 0;
                RequestQueue::Group group = 0;
                in >> device >> group;
                if (op == "erase" && group != 0) {
                    events_.push_back("dropped " + std::to_string(queue_.erase(
                                                       RequestQueue::keyOf(address(device)), group)));
                } else if (op == "erase") {
                    queue_.erase(RequestQueue::keyOf(address(device)));
                } else {
                    queue_.sendFailed(RequestQueue::keyOf(address(device)), actions);
                }
            } else if (op == "giveup") {
                std::string command;
                in >> command;
                const auto& [request, device] = requests_.at(command);
                const bool withdrawn = queue_.giveUp(RequestQueue::keyOf(address(device)), request);
                events_.push_back((withdrawn ? "withdrawn " : "kept ") + command);
            } else if (op == "reply" || op == "early") {
                int device = 0;
                in >> device;
                std::string text;
                std::getline(in >> std::ws, text);
                const auto at = base::clock::steadyNow() - (op == "early" ? 1us : 0us);
                const auto match =
                    queue_.reply(RequestQueue::keyOf(address(device)), at, true, text, actions);
                if (match == RequestQueue::Match::noDevice) events_.push_back("no device");
                if (match == RequestQueue::Match::unexpected) events_.push_back("unexpected");
                if (match == RequestQueue::Match::beforeSending) events_.push_back("before sending");
            } else if (op == "next") {
                const auto next = queue_.nextDeadline();
                events_.push_back(
                    next == RequestQueue::TimePoint::max()
                        ? "next none"
                        : "next " + std::to_string(
                                        std::chrono::duration_cast<std::chrono::milliseconds>(next - start_)
                                            .count()));
            } else {
                ADD_FAILURE() << "unknown step " << step;
            }
            record(actions);
        }
        return events_;
    }

    RequestQueue queue_;

private:
    static net::IpAndPort address(int device) {
        return net::IpAndPort("127.0.0." + std::to_string(device), 11990);
    }
    static std::string commandOf(const RequestQueue::RequestPtr& request) {
        std::string command = request->text.substr(0, request->text.size() - 1);
        std::replace(command.begin(), command.end(), ' ', '_');
        return command;
    }
    void record(const RequestQueue::Actions& actions) {
        for (const auto& completion : actions.completions) {
            const std::string followed = showFollowed_ && completion.followed ? " (next out)" : "";
            events_.push_back(completion.failed ? "fail " + commandOf(completion.request) + followed
                                                : "done " + commandOf(completion.request) + ": " +
                                                      completion.request->response + followed);
        }
        for (const auto& send : actions.sends) {
            const int device = static_cast<int>(send.address->getAddress() & 0xFF);
            events_.push_back("send " + std::to_string(device) + " " + commandOf(send.request) + " #" +
                              std::to_string(send.attempt));
        }
    }

    const bool showFollowed_;
    test::ManualClock clock_;
    RequestQueue::TimePoint start_;
    std::map<std::string, std::pair<RequestQueue::RequestPtr, int>> requests_;
    std::vector<std::string> events_;
};

struct Case {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> events;
};

TEST(RequestQueueTest, Rules) {
    const std::vector<Case> cases = {
        {"one in flight per device; then priority, and first in first out among equals",
         {"add 2 first 2 1000", "add 2 low 0 1000", "add 2 high 2 1000", "add 2 next 2 1000",
          "add 3 other 2 1000", "reply 2 OK first", "reply 2 OK high", "reply 2 OK next", "reply 2 OK low"},
         {"send 2 first #1", "send 3 other #1", "done first: OK first", "send 2 high #1",
          "done high: OK high", "send 2 next #1", "done next: OK next", "send 2 low #1", "done low: OK low"}},
        {"resent one interval after the first send, failed one interval after the resend with the queue",
         {"add 2 one 2 200", "add 2 two 2 200", "wait 199", "wait 1", "wait 199", "wait 1"},
         {"send 2 one #1", "send 2 one #2", "fail one", "fail two"}},
        {"a reply after the resend answers the request, also one received before the resend",
         {"add 2 one 2 200", "wait 200", "early 2 OK one", "add 2 two 2 200", "wait 200", "reply 2 OK two"},
         {"send 2 one #1", "send 2 one #2", "done one: OK one", "send 2 two #1", "send 2 two #2",
          "done two: OK two"}},
        {"a datagram older than the only send, from elsewhere, or with nothing in flight is no reply",
         {"add 2 one 2 200", "early 2 OK one", "reply 3 OK one", "reply 2 OK one", "reply 2 OK one"},
         {"send 2 one #1", "before sending", "no device", "done one: OK one", "unexpected"}},
        {"a reply echoing another command does not complete the request in flight",
         {"add 2 get_vol 2 200", "add 2 get 2 200", "add 2 set_vol_-18 2 200", "add 2 plain 2 200",
          "reply 2 OK[get ch]: 3", "reply 2 OK[get vol]: -18", "reply 2 OK[getx]: 1", "reply 2 ERR[get]: no",
          "reply 2 OK[set vol]: done", "reply 2 OK[]: any"},
         {"send 2 get_vol #1", "unexpected", "done get_vol: OK[get vol]: -18", "send 2 get #1", "unexpected",
          "done get: ERR[get]: no", "send 2 set_vol_-18 #1", "done set_vol_-18: OK[set vol]: done",
          "send 2 plain #1", "done plain: OK[]: any"}},
        {"a caller giving up withdraws a queued request; one in flight fails alone once abandoned",
         {"add 2 first 2 100", "add 2 queued 2 100", "giveup queued", "giveup first", "add 2 later 2 100",
          "wait 100", "wait 100", "reply 2 OK later"},
         {"send 2 first #1", "withdrawn queued", "kept first", "send 2 first #2", "fail first",
          "send 2 later #1", "done later: OK later"}},
        {"a module's request fails alone: the requests queued behind it are sent",
         {"module 2 lsensor_ver 2 100", "module 2 lsensor 2 100", "wait 100", "wait 100",
          "reply 2 OK lsensor", "add 2 last 2 100", "module 2 tail 2 100", "wait 100", "wait 100"},
         {"send 2 lsensor_ver #1", "send 2 lsensor_ver #2", "fail lsensor_ver", "send 2 lsensor #1",
          "done lsensor: OK lsensor", "send 2 last #1", "send 2 last #2", "fail last", "fail tail"}},
        {"a module's request in flight gives way to the device's: out until a reply names it or it fails",
         {"module 2 lsensor 2 100", "wait 50", "add 2 switch 2 100", "reply 2 OK[lsensor]: Active",
          "reply 2 OK switch", "module 2 lsensor_ver 2 100", "wait 100", "add 2 set 2 100", "reply 2 OK",
          "wait 50", "wait 50", "reply 2 OK[lsensor ver]: late", "next"},
         {"send 2 lsensor #1", "send 2 switch #1", "done lsensor: OK[lsensor]: Active",
          "done switch: OK switch", "send 2 lsensor_ver #1", "send 2 lsensor_ver #2", "send 2 set #1",
          "done set: OK", "fail lsensor_ver", "unexpected", "next none"}},
        {"a reply naming no command goes to the one of two waiting requests it reads as the answer of",
         {"module 2 lsensor 2 100", "add 2 get_vol 2 100", "reply 2 Active,0,40", "reply 2 OK[get vol]: 7",
          "module 2 lsensor_dbg 2 100", "add 2 piece 1 100", "reply 2 SUCCESS", "free 2 get_dbg 0 100",
          "reply 2 !5 text", "reply 2 Init mode: 5"},
         {"send 2 lsensor #1", "send 2 get_vol #1", "done lsensor: Active,0,40",
          "done get_vol: OK[get vol]: 7", "send 2 lsensor_dbg #1", "send 2 piece #1", "done piece: SUCCESS",
          "send 2 get_dbg #1", "done get_dbg: !5 text", "done lsensor_dbg: Init mode: 5"}},
        {"a reply goes to the request it names whole before one it names by its first words",
         {"module 2 lsensor_ver 2 100", "add 2 lsensor 2 100", "add 2 get_vol 2 100",
          "reply 2 OK[lsensor]: A", "reply 2 OK[get vol]: 7", "reply 2 OK[lsensor ver]: 1.2"},
         {"send 2 lsensor_ver #1", "send 2 lsensor #1", "done lsensor: OK[lsensor]: A", "send 2 get_vol #1",
          "done get_vol: OK[get vol]: 7", "done lsensor_ver: OK[lsensor ver]: 1.2"}},
        {"the late answer of a request that ended, or one from before a request's send, answers none",
         {"module 2 lsensor 2 100", "wait 100", "wait 100", "module 2 lsensor_ver 2 100",
          "add 2 get_vol 2 100", "reply 2 OK[lsensor]: A", "early 2 OK[lsensor ver]: old",
          "reply 2 OK[get vol]: 7", "reply 2 OK[lsensor ver]: 1.2", "wait 200",
          "module 2 lsensor_power_1 2 100", "reply 2 ERR[lsensor]: bad mode"},
         {"send 2 lsensor #1", "send 2 lsensor #2", "fail lsensor", "send 2 lsensor_ver #1",
          "send 2 get_vol #1", "unexpected", "before sending", "done get_vol: OK[get vol]: 7",
          "done lsensor_ver: OK[lsensor ver]: 1.2", "send 2 lsensor_power_1 #1",
          "done lsensor_power_1: ERR[lsensor]: bad mode"}},
        {"a module's request that gave way is resent and fails when it would have in flight",
         {"module 2 lsensor 2 100", "add 2 get_vol 2 1000", "wait 100", "wait 100", "reply 2 OK[get vol]: 7"},
         {"send 2 lsensor #1", "send 2 get_vol #1", "send 2 lsensor #2", "fail lsensor",
          "done get_vol: OK[get vol]: 7"}},
        {"the device's own requests behind a module's go by priority, then in their order",
         {"add 2 first 2 100", "module 2 lsensor 2 100", "add 2 a 1 100", "add 2 b 1 100", "add 2 high 2 100",
          "reply 2 OK first", "reply 2 OK high", "reply 2 OK a", "reply 2 OK b", "reply 2 OK[lsensor]: x"},
         {"send 2 first #1", "done first: OK first", "send 2 high #1", "done high: OK high", "send 2 a #1",
          "done a: OK a", "send 2 b #1", "done b: OK b", "send 2 lsensor #1",
          "done lsensor: OK[lsensor]: x"}},
        {"the device's requests go before a module's; one module's request is out at a time",
         {"add 2 first 2 100", "module 2 lsensor 2 100", "add 2 low 0 100", "module 2 other 2 100",
          "add 2 second 2 100", "reply 2 OK first", "reply 2 OK second", "reply 2 OK low", "wait 100",
          "add 2 third 2 100", "reply 2 OK third", "wait 100", "reply 2 OK[other]: o"},
         {"send 2 first #1", "done first: OK first", "send 2 second #1", "done second: OK second",
          "send 2 low #1", "done low: OK low", "send 2 lsensor #1", "send 2 lsensor #2", "send 2 third #1",
          "done third: OK third", "fail lsensor", "send 2 other #1", "done other: OK[other]: o"}},
        {"a request made again from a module's completed one is the device's: its silence takes the queue",
         {"module 2 lsensor 2 100", "reply 2 OK lsensor", "add 2 flight 2 100", "again 2 check 2 100 lsensor",
          "add 2 behind 2 100", "reply 2 OK flight", "wait 100", "wait 100"},
         {"send 2 lsensor #1", "done lsensor: OK lsensor", "send 2 flight #1", "done flight: OK flight",
          "send 2 check #1", "send 2 check #2", "fail check", "fail behind"}},
        {"erase drops the queue without completing it and keeps the request in flight",
         {"add 2 flight 2 100", "add 2 dropped 2 100", "erase 2", "reply 2 OK flight", "erase 9"},
         {"send 2 flight #1", "done flight: OK flight"}},
        {"erasing a job's group drops only its queued requests; other callers' are sent in their order",
         {"add 2 block_0 1 100 7", "add 2 check 1 100", "add 2 block_1 1 100 7", "add 2 low 0 100",
          "add 2 other_job 1 100 8", "add 2 block_2 1 100 7", "erase 2 7", "erase 3 7", "reply 2 OK block_0",
          "reply 2 OK check", "reply 2 OK other_job", "reply 2 OK low", "erase 2 7"},
         {"send 2 block_0 #1", "dropped 2", "dropped 0", "done block_0: OK block_0", "send 2 check #1",
          "done check: OK check", "send 2 other_job #1", "done other_job: OK other_job", "send 2 low #1",
          "done low: OK low", "dropped 0"}},
        {"a request made again from a job's completed one is of no group: erasing the job's keeps it",
         {"add 2 block_0 1 100 7", "reply 2 OK block_0", "add 2 flight 1 100", "again 2 check 1 100 block_0",
          "erase 2 7", "reply 2 OK flight", "reply 2 OK check"},
         {"send 2 block_0 #1", "done block_0: OK block_0", "send 2 flight #1", "dropped 0",
          "done flight: OK flight", "send 2 check #1", "done check: OK check"}},
        {"requests held until start go out together; a failed send fails the device's requests",
         {"queue 2 a 2 100", "queue 2 b 2 100", "queue 3 c 2 100", "startAll", "sendfail 2", "sendfail 3"},
         {"send 3 c #1", "send 2 a #1", "fail a", "fail b", "fail c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario;
        EXPECT_EQ(scenario.run(c.steps), c.events);
    }
}

// What the transport learns from a completion: whether the device's reply to its next request is on
// the way, so the completion may wait for that one's; and where the earliest deadline stands as
// requests come, go out again and end.
TEST(RequestQueueTest, CompletionsAndTheEarliestDeadline) {
    const std::vector<Case> cases = {
        {"a reply followed by the device's next request says so; the last one of the queue does not",
         {"add 2 a 2 1000", "add 2 b 2 1000", "add 2 c 2 1000", "reply 2 OK a", "reply 2 OK b",
          "reply 2 OK c"},
         {"send 2 a #1", "done a: OK a (next out)", "send 2 b #1", "done b: OK b (next out)", "send 2 c #1",
          "done c: OK c"}},
        {"failures are never followed, also when a request spared by a caller goes out after them",
         {"add 2 first 2 100", "giveup first", "add 2 later 2 100", "wait 100", "wait 100"},
         {"send 2 first #1", "kept first", "send 2 first #2", "fail first", "send 2 later #1"}},
        {"the earliest deadline moves with each device's request in flight and goes with the last",
         {"next", "add 2 a 2 1000", "next", "add 3 b 2 300", "next", "wait 100", "reply 3 OK b", "next",
          "reply 2 OK a", "next", "add 3 c 2 200", "next"},
         {"next none", "send 2 a #1", "next 1000", "send 3 b #1", "next 300", "done b: OK b", "next 1000",
          "done a: OK a", "next none", "send 3 c #1", "next 300"}},
        {"a resend moves the deadline by one interval; a device's place is used again after it emptied",
         {"add 2 a 2 200", "wait 200", "next", "reply 2 OK a", "add 2 b 2 50", "next", "add 4 d 2 500",
          "wait 50", "next", "wait 50", "next"},
         {"send 2 a #1", "send 2 a #2", "next 400", "done a: OK a", "send 2 b #1", "next 250", "send 4 d #1",
          "send 2 b #2", "next 300", "fail b", "next 700"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario(true);
        EXPECT_EQ(scenario.run(c.steps), c.events);
    }
}

TEST(RequestQueueTest, DeadlinesAndIntervals) {
    test::ManualClock clock;
    clock.holdSteady();
    const auto start = base::clock::steadyNow();
    bool zero = false;
    auto request =
        RequestQueue::makeRequest(RequestQueue::RequestPtr(new RequestQueue::Request), "get vol", 2, 0, zero);
    EXPECT_TRUE(zero);
    EXPECT_EQ(request->text, "get vol\n");
    // A zero interval resends after a second; the caller's deadline keeps the interval it gave.
    EXPECT_EQ(request->interval, 1s);
    EXPECT_EQ(request->giveUpAt, start + 50ms);
    request =
        RequestQueue::makeRequest(RequestQueue::RequestPtr(new RequestQueue::Request), "x", 2, 1000, zero);
    EXPECT_FALSE(zero);
    EXPECT_EQ(request->giveUpAt, start + 2050ms);

    RequestQueue queue;
    RequestQueue::Actions actions;
    EXPECT_EQ(queue.nextDeadline(), RequestQueue::TimePoint::max());
    EXPECT_FALSE(queue.add(net::IpAndPort("127.0.0.2", 0), request, true, actions));
    EXPECT_TRUE(queue.add(net::IpAndPort("127.0.0.2", 11990), request, true, actions));
    EXPECT_TRUE(actions.earlierDeadline);
    EXPECT_EQ(queue.nextDeadline(), start + 1s);
    actions.clear();
    auto later =
        RequestQueue::makeRequest(RequestQueue::RequestPtr(new RequestQueue::Request), "y", 2, 3000, zero);
    queue.add(net::IpAndPort("127.0.0.3", 11990), later, true, actions);
    // A later deadline wakes no one.
    EXPECT_FALSE(actions.earlierDeadline);
    EXPECT_EQ(queue.busyDevices(), 2u);
}

}  // namespace
