// How fast an alarm reaches the loudspeakers: from AlarmChannel::launch to the first datagram of
// the priority stream on the base port plus two, to the last of 200 emulated loudspeakers
// switched to the alarm channel, and from stop to the last of them back on the common channel.
// The floor of the switching: one plain socket of the benchmark's own making as many exchanges
// with the 200 emulated loudspeakers as the launch (or the stop) made with each, every device's
// next request sent when its reply came, measured in the same run. Run inside scripts/netns.sh.
// The aims: the first datagram within 300 ms and all 200 switched within 500 ms of the launch (a
// fire alarm must reach the speakers within 3 s end to end).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/AlarmChannel.h"
#include "audio/mp3streamf.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "support/DeviceEmulator.h"
#include "support/LoudspeakerSite.h"
#include "support/PlainExchange.h"
#include "support/StreamReceiver.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kLoudspeakers = 200;

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// When every loudspeaker of the site is on the channel; the time it was seen.
Clock::time_point waitForChannel(test::LoudspeakerSite& site, std::uint32_t channel) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (std::size_t n = 0; n < site.size() && Clock::now() < deadline;) {
        if (site.emulator(n).status().channel == channel)
            ++n;
        else
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return Clock::now();
}

void BM_LaunchToFirstDatagramAndAllSwitched(benchmark::State& state) {
    base::ThreadDispatcher::create();
    pref* store = pref_init(L"");
    pref::instanceSlot().install(store);
    const std::string group = test::privateMulticastGroup();
    const std::uint16_t port = test::freeUdpPort();
    pref::setString(setting::multicastAddress.key, group);
    pref::setInt(setting::multicastBasePort.key, port);
    pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
    test::TempFolder folder;
    const std::string message = folder.file("alarm.mp3");
    test::writeSineMp3(message, 1000, 0.5);
    {
        test::LoudspeakerSite site(kLoudspeakers, port);
        if (!site.waitOnline(std::chrono::seconds(60)))
            state.SkipWithError("the loudspeakers did not come online");
        mp3streamf stream(mp3streamf::targetFromSettings());
        frm::AlarmChannel channel(stream, site.registry());
        frm::AlarmChannel::Broadcast alarm;
        alarm.priority = 4;
        alarm.description = L"Пожар";
        alarm.messagePath = base::fromUtf8(message);
        for (std::size_t n = 0; n < kLoudspeakers; ++n) alarm.targets.insert(site.device(n));
        test::StreamReceiver receiver(group, static_cast<std::uint16_t>(port + 2));

        std::vector<net::IpAndPort> addresses;
        for (std::size_t n = 0; n < kLoudspeakers; ++n) addresses.push_back(site.emulator(n).address());
        // The requests a loudspeaker got since the last call, on average over all of them.
        const auto requestsEach = [&] {
            std::size_t total = 0;
            for (std::size_t n = 0; n < kLoudspeakers; ++n) {
                total += site.emulator(n).receivedCount();
                site.emulator(n).clearReceived();
            }
            return static_cast<int>((total + kLoudspeakers / 2) / kLoudspeakers);
        };
        // The floor of `exchanges` requests with every loudspeaker, in milliseconds; a request that
        // reads changes nothing on the devices.
        const auto plainFloor = [&](int exchanges) {
            return exchanges > 0 ? test::plainExchangesAcrossMicros(addresses, "get vol", exchanges) / 1000
                                 : 0.0;
        };

        double first = 0, switched = 0, restored = 0, switchFloor = 0, restoreFloor = 0;
        int runs = 0;
        for (auto _ : state) {
            receiver.clear();
            requestsEach();
            const auto start = Clock::now();
            channel.launch(alarm);
            switched += milliseconds(waitForChannel(site, 1) - start);
            receiver.waitForCount(1);
            first += milliseconds(receiver.datagrams().front().time - start);
            const int launchRequests = requestsEach();
            const auto stop = Clock::now();
            channel.stop();
            restored += milliseconds(waitForChannel(site, 0) - stop);
            while (channel.isBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const int stopRequests = requestsEach();
            switchFloor += plainFloor(launchRequests);
            restoreFloor += plainFloor(stopRequests);
            requestsEach();
            ++runs;
        }
        state.counters["first_datagram_ms"] = first / runs;
        state.counters["all_switched_ms"] = switched / runs;
        state.counters["switch_floor_ms"] = switchFloor / runs;
        state.counters["switch_ratio"] = switched / switchFloor;
        state.counters["all_restored_ms"] = restored / runs;
        state.counters["restore_floor_ms"] = restoreFloor / runs;
        state.counters["restore_ratio"] = restored / restoreFloor;
    }
    base::ThreadDispatcher::destroy();
    delete pref::instanceSlot().release();
}

BENCHMARK(BM_LaunchToFirstDatagramAndAllSwitched)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
