#include "devicelink/RequestQueue.h"

#include <algorithm>

#include "devicelink/DeviceReply.h"
#include "foundation/Clock.h"
#include "foundation/Place.h"

namespace device {
namespace {

constexpr std::chrono::microseconds kZeroIntervalReplacement = std::chrono::seconds(1);
constexpr std::chrono::milliseconds kGiveUpMargin(50);
constexpr std::uint32_t kSendsPerRequest = 2;
// Ended requests a device keeps, whose late answers are told from the answers of those waiting.
constexpr std::size_t kEndedKept = 4;

// The queue's steps are the transport's: they are told under its places.
const char* const addPlace = "device::TransferProtocol::add_to_queue";
const char* const senderPlace = "device::TransferProtocol::sender_thread";
const char* const timeoutPlace = "device::TransferProtocol::process_sender_timeout";

std::int64_t microsBetween(RequestQueue::TimePoint from, RequestQueue::TimePoint to) {
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

}  // namespace

RequestQueue::RequestPtr RequestQueue::makeRequest(RequestPtr request, const std::string& command,
                                                   int priority, unsigned intervalMs, bool& zeroInterval) {
    // A request used again keeps only the room of its texts.
    request->priority = priority;
    request->number = 0;
    request->group = 0;
    request->silence = Silence::device;
    request->answer = Answer::deviceWords;
    request->done = false;
    request->sent = false;
    request->firstSentAt = TimePoint();
    request->answered = false;
    request->ok = false;
    request->response.clear();
    request->abandoned = false;
    request->abandonedBefore = 0;
    request->text.reserve(command.size() + 1);
    request->text = command;
    request->text += '\n';
    request->interval = std::chrono::milliseconds(intervalMs);
    zeroInterval = intervalMs == 0;
    if (zeroInterval) request->interval = kZeroIntervalReplacement;
    request->giveUpAt =
        base::clock::steadyNow() + 2 * std::chrono::milliseconds(std::uint64_t{intervalMs}) + kGiveUpMargin;
    return request;
}

bool RequestQueue::below(const Queued& a, const Queued& b) {
    return a.priority < b.priority || (a.priority == b.priority && a.number > b.number);
}

void RequestQueue::push(Device& device, RequestPtr request) {
    const int priority = request->priority;
    const std::uint32_t number = request->number;
    device.queue.push_back(Queued{priority, number, std::move(request)});
    std::push_heap(device.queue.begin(), device.queue.end(), below);
}

RequestQueue::RequestPtr RequestQueue::pop(Device& device) {
    std::pop_heap(device.queue.begin(), device.queue.end(), below);
    RequestPtr top = std::move(device.queue.back().request);
    device.queue.pop_back();
    return top;
}

bool RequestQueue::add(const net::IpAndPort& address, const RequestPtr& request, bool start, Actions& out) {
    if (!address.isValid()) return false;
    const Key key = keyOf(address);
    auto found = devices_.find(key);
    if (found == devices_.end()) {
        found = devices_.emplace(key, Device()).first;
        found->second.address = address;
        debug::Place(addPlace).trace(L"It is the first request of the device, ip: %1%",
                                     address.getWideText());
    }
    Device& device = found->second;
    request->number = device.nextNumber++;
    push(device, request);
    if (!start) return true;
    if (!device.current) {
        startNext(device, base::clock::steadyNow(), out);
    } else if (device.current->silence == Silence::module && !device.aside &&
               request->silence == Silence::device) {
        giveWay(device, base::clock::steadyNow(), out);
    }
    return true;
}

void RequestQueue::startAll(Actions& out) {
    const TimePoint now = base::clock::steadyNow();
    for (auto& entry : devices_) {
        if (!entry.second.current && !entry.second.queue.empty()) startNext(entry.second, now, out);
    }
}

RequestQueue::RequestPtr RequestQueue::popNext(Device& device) {
    if (device.queue.empty()) return nullptr;
    if (device.queue.front().request->silence == Silence::device) return pop(device);
    auto own = device.queue.end();
    for (auto entry = device.queue.begin(); entry != device.queue.end(); ++entry) {
        if (entry->request->silence == Silence::device && (own == device.queue.end() || below(*own, *entry)))
            own = entry;
    }
    if (own == device.queue.end()) return device.aside ? nullptr : pop(device);
    RequestPtr next = std::move(own->request);
    device.queue.erase(own);
    std::make_heap(device.queue.begin(), device.queue.end(), below);
    return next;
}

void RequestQueue::startNext(Device& device, TimePoint now, Actions& out) {
    device.current = popNext(device);
    device.attempts = 0;
    device.due = TimePoint::max();
    if (device.current) {
        send(device, now, out);
    } else {
        reschedule(device, out);
    }
}

void RequestQueue::send(Device& device, TimePoint now, Actions& out) {
    if (++device.attempts == 1) device.current->firstSentAt = now;
    device.lastSend = now;
    out.sends.push_back(Send{&device.address, device.current, device.attempts});
    device.due = now + device.current->interval;
    reschedule(device, out);
}

void RequestQueue::giveWay(Device& device, TimePoint now, Actions& out) {
    device.aside = std::move(device.current);
    device.current.reset();
    device.asideAttempts = device.attempts;
    // Resent, or failed once resent, when it would have been in flight.
    device.asideUntil = device.lastSend + device.aside->interval;
    debug::Place(senderPlace)
        .trace(L"sender: the module's request gives way to the device's, ip: %1%",
               device.address.getWideText());
    startNext(device, now, out);
}

void RequestQueue::reschedule(Device& device, Actions& out) {
    setDeadline(device, std::min(device.due, device.asideUntil), out);
}

void RequestQueue::setDeadline(Device& device, TimePoint deadline, Actions& out) {
    // A device's deadline moves with every request; its place in the set moves with it.
    Deadlines::node_type place = device.deadline != TimePoint::max()
                                     ? deadlines_.extract({device.deadline, &device})
                                     : std::move(device.spareDeadline);
    device.deadline = deadline;
    if (deadline == TimePoint::max()) {
        device.spareDeadline = std::move(place);
        return;
    }
    const bool earliest = deadlines_.empty() || deadline < deadlines_.begin()->first;
    if (place) {
        place.value() = {deadline, &device};
        deadlines_.insert(std::move(place));
    } else {
        deadlines_.emplace(deadline, &device);
    }
    out.earlierDeadline = out.earlierDeadline || earliest;
}

RequestQueue::TimePoint RequestQueue::nextDeadline() const {
    return deadlines_.empty() ? TimePoint::max() : deadlines_.begin()->first;
}

void RequestQueue::expire(Actions& out) {
    const TimePoint now = base::clock::steadyNow();
    const debug::Place place(senderPlace);
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        Device& device = *deadlines_.begin()->second;
        place.trace3(L"sender: device ip is '%1%'. elapsed time is %2% uS. queue size is %3%",
                     device.address.getWideText(), microsBetween(device.lastSend, now), device.queue.size());
        if (device.aside && device.asideUntil <= now) {
            if (device.asideAttempts < kSendsPerRequest) {
                resendAside(device, now, out);
            } else {
                failAside(device, out);
            }
        } else if (device.attempts < kSendsPerRequest) {
            place.trace3(L"sender: resend timeout = %1% uS", device.current->interval.count());
            send(device, now, out);
        } else {
            place.debug(L"sender: process a timeout.");
            fail(device, out);
        }
    }
}

void RequestQueue::sendFailed(const Key& key, Actions& out) {
    const auto found = devices_.find(key);
    if (found != devices_.end() && found->second.current) fail(found->second, out);
}

// A device that does not answer fails its request in flight and every request queued behind it,
// except those queued after a waiting caller gave up on the one in flight. A module's silence fails
// only its own request.
void RequestQueue::fail(Device& device, Actions& out) {
    debug::Place(timeoutPlace)
        .trace(L"sender: device does not response, ip: %1%", device.address.getWideText());
    const RequestPtr expired = std::move(device.current);
    device.current.reset();
    device.attempts = 0;
    expired->done = true;
    remember(device, *expired, base::clock::steadyNow());
    out.completions.push_back(Completion{expired, true, true, false});
    std::vector<RequestPtr> spared;
    while (expired->silence == Silence::device && !device.queue.empty()) {
        RequestPtr next = pop(device);
        if (expired->abandoned && next->number >= expired->abandonedBefore) {
            spared.push_back(std::move(next));
            continue;
        }
        next->done = true;
        out.completions.push_back(Completion{std::move(next), true, false, false});
    }
    for (RequestPtr& request : spared) push(device, std::move(request));
    startNext(device, base::clock::steadyNow(), out);
}

void RequestQueue::resendAside(Device& device, TimePoint now, Actions& out) {
    debug::Place(senderPlace).trace3(L"sender: resend timeout = %1% uS", device.aside->interval.count());
    ++device.asideAttempts;
    out.sends.push_back(Send{&device.address, device.aside, device.asideAttempts});
    device.asideUntil = now + device.aside->interval;
    reschedule(device, out);
}

// A module's request that gave way fails alone; with nothing else in flight, the device's next goes.
void RequestQueue::failAside(Device& device, Actions& out) {
    debug::Place(timeoutPlace)
        .trace(L"sender: module does not response, ip: %1%", device.address.getWideText());
    const RequestPtr expired = takeAside(device);
    expired->done = true;
    remember(device, *expired, base::clock::steadyNow());
    out.completions.push_back(Completion{expired, true, true, false});
    goOn(device, out);
}

RequestQueue::RequestPtr RequestQueue::takeAside(Device& device) {
    RequestPtr aside = std::move(device.aside);
    device.aside.reset();
    device.asideAttempts = 0;
    device.asideUntil = TimePoint::max();
    return aside;
}

void RequestQueue::remember(Device& device, const Request& request, TimePoint now) {
    auto& ended = device.ended;
    ended.erase(
        std::remove_if(ended.begin(), ended.end(), [now](const Device::Ended& e) { return e.until <= now; }),
        ended.end());
    if (ended.size() == kEndedKept) ended.erase(ended.begin());
    // A late answer comes at most as long after the end as the request waited for it.
    ended.push_back(Device::Ended{request.text, now + request.interval * kSendsPerRequest});
}

void RequestQueue::goOn(Device& device, Actions& out) {
    if (device.current) {
        reschedule(device, out);
    } else {
        startNext(device, base::clock::steadyNow(), out);
    }
}

RequestQueue::Slot RequestQueue::answeredBy(const Device& device, const std::string& data,
                                            const std::string& refused, TimePoint receivedAt) {
    if (!refused.empty()) {
        if (device.current && device.current->text == refused) return &Device::current;
        return device.aside && device.aside->text == refused ? &Device::aside : nullptr;
    }
    const std::string_view named = DeviceReply::namedCommand(data);
    if (named.empty()) {
        if (!device.aside) return &Device::current;
        if (!device.current) return &Device::aside;
        return device.current->answer == Answer::anyText || DeviceReply::inAnswerWords(data)
                   ? &Device::current
                   : &Device::aside;
    }
    using Naming = DeviceReply::Naming;
    const auto namingOf = [named](const RequestPtr& request) {
        return request ? DeviceReply::naming(named, request->text) : Naming::other;
    };
    const Naming current = namingOf(device.current);
    const Naming aside = namingOf(device.aside);
    if (current == Naming::whole) return &Device::current;
    if (aside == Naming::whole) return &Device::aside;
    if (current == Naming::other && aside == Naming::other) return nullptr;
    // "OK[lsensor]" names "lsensor ver" by its first word, but it is the late answer of an "lsensor"
    // that ended.
    for (const Device::Ended& ended : device.ended) {
        if (receivedAt < ended.until && DeviceReply::naming(named, ended.text) == Naming::whole)
            return nullptr;
    }
    return current == Naming::firstWords ? &Device::current : &Device::aside;
}

RequestQueue::Match RequestQueue::reply(const Key& from, TimePoint receivedAt, bool ok,
                                        const std::string& data, Actions& out, const std::string& refused) {
    const auto found = devices_.find(from);
    if (found == devices_.end()) return Match::noDevice;
    Device& device = found->second;
    if (!device.current && !device.aside) return Match::unexpected;
    const Slot slot = answeredBy(device, data, refused, receivedAt);
    if (!slot) return refused.empty() ? Match::unexpected : Match::noDevice;
    // A datagram older than the first send cannot answer it; after a resend it answers the first.
    if (receivedAt < (device.*slot)->firstSentAt) {
        skipped_ = (device.*slot)->text;
        return Match::beforeSending;
    }
    RequestPtr answered;
    if (slot == &Device::aside) {
        if (device.asideAttempts >= kSendsPerRequest) remember(device, *device.aside, receivedAt);
        answered = takeAside(device);
    } else {
        if (device.attempts >= kSendsPerRequest) remember(device, *device.current, receivedAt);
        answered = std::move(device.current);
        device.current.reset();
        device.attempts = 0;
        device.due = TimePoint::max();
    }
    answered->done = true;
    answered->answered = true;
    answered->ok = ok;
    answered->response = data;
    out.completions.push_back(Completion{answered, false, true, false});
    goOn(device, out);
    out.completions.back().followed = device.current != nullptr;
    return Match::accepted;
}

bool RequestQueue::giveUp(const Key& key, const RequestPtr& request) {
    const auto found = devices_.find(key);
    if (request->done || found == devices_.end()) return false;
    Device& device = found->second;
    if (device.current == request || device.aside == request) {
        request->abandoned = true;
        request->abandonedBefore = device.nextNumber;
        return false;
    }
    const auto queued = std::find_if(device.queue.begin(), device.queue.end(),
                                     [&](const Queued& entry) { return entry.request == request; });
    if (queued == device.queue.end()) return false;
    device.queue.erase(queued);
    std::make_heap(device.queue.begin(), device.queue.end(), below);
    return true;
}

bool RequestQueue::erase(const Key& key) {
    const auto found = devices_.find(key);
    if (found == devices_.end()) return false;
    found->second.queue.clear();
    return true;
}

std::size_t RequestQueue::erase(const Key& key, Group group) {
    const auto found = devices_.find(key);
    // Requests of no job are no group's.
    if (found == devices_.end() || group == 0) return 0;
    std::vector<Queued>& queue = found->second.queue;
    const auto kept = std::remove_if(queue.begin(), queue.end(),
                                     [group](const Queued& entry) { return entry.request->group == group; });
    const auto dropped = static_cast<std::size_t>(queue.end() - kept);
    queue.erase(kept, queue.end());
    if (dropped > 0) std::make_heap(queue.begin(), queue.end(), below);
    return dropped;
}

std::size_t RequestQueue::busyDevices() const {
    std::size_t busy = 0;
    for (const auto& entry : devices_)
        busy += entry.second.current || entry.second.aside || !entry.second.queue.empty() ? 1 : 0;
    return busy;
}

std::size_t RequestQueue::queuedRequests(const Key& key) const {
    const auto found = devices_.find(key);
    return found == devices_.end() ? 0 : found->second.queue.size();
}

}  // namespace device
