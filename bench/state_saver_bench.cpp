// The state saver at a large site: 1000 loudspeakers, 500 zones of 2 to 50 loudspeakers, 1000
// daily tasks of 10 to 100 targets, a playlist of 10 000 items and 10 000 service messages, made
// by the program's own models and written by its own storage code. Each figure stands beside a
// floor of the same run:
// - "take_us_KIND": what one change of the kind costs the thread that takes it (the window's
//   thread in the program), the median of three changes; "take_pct_KIND" is its share of
//   "floor_save_ms", the stop's whole save of the site (every tree, text and synced write).
// - "disk_ms_KIND": from a change to its file written and synced, the worst of three, beside
//   "floor_write_ms_KIND", the synced write of that file's bytes alone.
// - "rest_cpu_ms" and "rest_rss_mb": CPU and resident memory of the process over a minute at rest
//   after the changes, beside "floor_rest_cpu_ms" and "floor_rss_mb", the same minute with the
//   saver watching before the first change ("cpu_ratio", "rss_ratio"), and "rss_vs_up" beside
//   "up_rss_mb", the process with its site made before the saver started.
// The service messages are taken as a copy of their items, as the panel collects them from its tree.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/DeviceCollectionFile.h"
#include "app/KeptState.h"
#include "app/StateSaver.h"
#include "audio/ListOfPlaylist.h"
#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/SchedulerCore.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devices/VokarInfo.h"
#include "foundation/Crc32.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/SchedulerStore.h"
#include "panels/SchedulerTasks.h"
#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using frm::StateSaver;

constexpr int kLoudspeakers = 1000;
constexpr int kZones = 500;
constexpr int kTasks = 1000;
constexpr int kItems = 10000;
constexpr int kMessageGroups = 100;
constexpr int kMessagesPerGroup = 100;
constexpr auto kRest = std::chrono::seconds(60);

double milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

double cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// The site's models, as the window holds them.
struct Site {
    std::shared_ptr<device::TransferProtocol> transport =
        std::make_shared<device::TransferProtocol>(test::freeUdpPort(), "127.0.0.1");
    std::shared_ptr<device::DeviceCollection> registry;
    std::vector<std::shared_ptr<device::DeviceBase>> loudspeakers;
    frm::ZoneElement::ZonePtr zones = frm::ZoneElement::makeRoot();
    base::ChangeMark zoneChanges;
    std::shared_ptr<ListOfPlaylist> music = std::make_shared<ListOfPlaylist>(L"music");
    frm::MessageItem messages;
    base::ChangeMark messageChanges;
    scheduler::Core core;
    frm::SchedulerTasks tasks{core, {}};
    frm::SchedulerStore store{tasks};

    Site() {
        std::mt19937 random(7);
        registry = std::make_shared<device::DeviceCollection>(transport, test::freeUdpPort());
        registry->setFactory(device::types::loudspeaker,
                             std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
        for (int n = 1; n <= kLoudspeakers; ++n) {
            registry->addDevice(
                static_cast<std::uint32_t>(n), device::toText(device::types::vokarB),
                net::HardwareAddress(net::HardwareAddress::vendorPrefix, static_cast<std::uint32_t>(n)),
                net::Ip4Address("10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1)),
                L"Громкоговоритель корпуса " + std::to_wstring(n));
        }
        loudspeakers = registry->getDevices();
        const auto some = [&](int least, int most) {
            std::vector<frm::ZoneElement::DevicePtr> chosen = loudspeakers;
            std::shuffle(chosen.begin(), chosen.end(), random);
            chosen.resize(static_cast<std::size_t>(std::uniform_int_distribution<int>(least, most)(random)));
            return chosen;
        };
        for (int n = 1; n <= kZones; ++n) {
            const auto zone = zones->createZone(*zones, L"Зона этажа " + std::to_wstring(n));
            zone->addDevices(some(2, 50));
        }
        auto playlist = std::make_shared<Playlist>(L"Фоновая музыка", true);
        for (int n = 1; n <= kItems; ++n) {
            playlist->restore(Playlist::Item(
                L"Композиция номер " + std::to_wstring(n),
                L"/srv/музыка/альбом " + std::to_wstring(n / 20) + L"/трек " + std::to_wstring(n) + L".mp3"));
        }
        music->add(playlist);
        for (int group = 1; group <= kMessageGroups; ++group) {
            frm::MessageItem folder;
            folder.name = L"Группа " + std::to_wstring(group);
            for (int n = 1; n <= kMessagesPerGroup; ++n) {
                frm::MessageItem message;
                message.kind = frm::MessageItem::messageItem;
                message.name = L"Сообщение " + std::to_wstring(group) + L"-" + std::to_wstring(n);
                message.message = L"/srv/сообщения/" + message.name + L".mp3";
                message.gong = L"/srv/гонги/Колокол.mp3";
                folder.children.push_back(std::move(message));
            }
            messages.children.push_back(std::move(folder));
        }
        auto collection = frm::PlaybackCollection::create(L"Плейлист", L"playlist");
        collection->add(std::make_shared<frm::PlaybackPlaylist>(playlist->getName(), playlist));
        for (int n = 0; n < kTasks; ++n) {
            auto playback = collection->getPlaybacks().front()->clone();
            frm::Targets targets;
            for (const auto& loudspeaker : some(10, 100)) targets.insert(loudspeaker);
            playback->setTargets(targets);
            const std::wstring time = std::to_wstring(10 + n % 12) + L":" + std::to_wstring(10 + n % 50);
            tasks.put(frm::taskDaily, tasks.takeIds(),
                      scheduler::task::DataVault(playback, L"2024-05-02", L"2030-12-31", time, L"",
                                                 frm::SchedulerTasks::targetIds(*playback), -1, false),
                      true);
        }
    }
    ~Site() { core.stop(); }
};

struct Kind {
    std::string name;
    std::wstring path;
    base::ChangeMark mark;
    StateSaver::Take take;
    // One change of the kind, on the thread that takes it.
    std::function<void(int)> change;
};

std::vector<Kind> kindsOf(Site& site, const std::wstring& folder) {
    const auto file = [&](const wchar_t* name) { return folder + L"/" + name; };
    std::vector<Kind> kinds;
    kinds.push_back(
        {"devices", file(L"device_collection.xml"), site.registry->changes(),
         [&site, path = file(L"device_collection.xml")] {
             return StateSaver::Snapshot{frm::devicesFile(path, site.registry->getDevices())};
         },
         [&site](int n) { site.loudspeakers[5]->setTitle(L"Актовый зал " + std::to_wstring(n)); }});
    kinds.push_back({"playlists", file(ListOfPlaylist::kMusicFile), site.music->changes(),
                     [&site, path = file(ListOfPlaylist::kMusicFile)] {
                         return StateSaver::Snapshot{frm::playlistsFile(path, site.music)};
                     },
                     [&site](int n) { site.music->getOne(0)->setName(L"Музыка " + std::to_wstring(n)); }});
    kinds.push_back({"messages", file(L"service_message.xml"), site.messageChanges,
                     [&site, path = file(L"service_message.xml")] {
                         return StateSaver::Snapshot{
                             frm::messagesFile(path, site.messages, L"/srv/сообщения")};
                     },
                     [&site](int n) {
                         site.messages.children.front().name = L"Первая группа " + std::to_wstring(n);
                         site.messageChanges.mark();
                     }});
    kinds.push_back({"scheduler", file(frm::SchedulerStore::kFileName), site.tasks.changes(),
                     [&site, path = file(frm::SchedulerStore::kFileName)] {
                         return StateSaver::Snapshot{frm::schedulerFile(path, site.store.keep())};
                     },
                     [&site](int n) { site.tasks.enable({1}, n % 2 == 0); }});
    kinds.push_back({"zones", file(L"zone_collection.xml"), site.zoneChanges,
                     [&site, path = file(L"zone_collection.xml")] {
                         return StateSaver::Snapshot{frm::zonesFile(path, *site.zones)};
                     },
                     [&site](int n) {
                         site.zones->zones.front()->name = L"Зона " + std::to_wstring(n);
                         site.zoneChanges.mark();
                     }});
    return kinds;
}

void BM_StateSaverAtALargeSite(benchmark::State& state) {
    base::ThreadDispatcher::create();
    pref::instanceSlot().install(pref_init(L""));
    for (auto _ : state) {
        test::TempFolder folder;
        auto site = std::make_unique<Site>();
        std::vector<Kind> kinds = kindsOf(*site, folder.widePath());

        // The floor: the stop's whole save, every file new.
        StateSaver::Snapshot all;
        auto start = Clock::now();
        for (const Kind& kind : kinds) {
            for (StateSaver::File& file : kind.take()) all.push_back(std::move(file));
        }
        {
            StateSaver stop([](std::function<void()>) {});
            stop.writeChanged(all);
        }
        const double floorSave = milliseconds(Clock::now() - start);
        state.counters["floor_save_ms"] = floorSave;
        for (const Kind& kind : kinds) {
            const std::string bytes = test::readWholeFile(base::toUtf8(kind.path));
            start = Clock::now();
            base::writeFileAtomically(kind.path + L".floor", bytes);
            state.counters["floor_write_ms_" + kind.name] = milliseconds(Clock::now() - start);
            state.counters["file_mb_" + kind.name] = static_cast<double>(bytes.size()) / (1 << 20);
        }

        // The saver as the window runs it: the takes on a thread of their own, timed there.
        test::FakeGuiThread window;
        std::mutex lock;
        std::condition_variable written;
        std::map<std::wstring, Clock::time_point> writtenAt;
        std::map<std::string, std::vector<double>> takes;
        StateSaver saver(window.poster(), [&](const std::wstring& path, const std::string& bytes) {
            const base::AtomicWriteResult result = base::writeFileAtomically(path, bytes);
            {
                std::lock_guard<std::mutex> guard(lock);
                writtenAt[path] = Clock::now();
            }
            written.notify_all();
            return result;
        });
        for (const Kind& kind : kinds) {
            saver.watch(kind.mark, [&, name = kind.name, take = kind.take] {
                const auto begun = Clock::now();
                StateSaver::Snapshot files = take();
                const double spent = milliseconds(Clock::now() - begun);
                std::lock_guard<std::mutex> guard(lock);
                takes[name].push_back(spent);
                return files;
            });
        }
        const double upRss = residentMegabytes();
        saver.start();
        double cpu = cpuMilliseconds();
        std::this_thread::sleep_for(kRest);
        const double floorCpu = cpuMilliseconds() - cpu;
        const double floorRss = residentMegabytes();
        state.counters["floor_rest_cpu_ms"] = floorCpu;
        state.counters["floor_rss_mb"] = floorRss;
        state.counters["up_rss_mb"] = upRss;

        for (const Kind& kind : kinds) {
            double worst = 0;
            for (int n = 1; n <= 3; ++n) {
                const auto changed = Clock::now();
                std::promise<void> done;
                window.post([&] {
                    kind.change(n);
                    done.set_value();
                });
                done.get_future().wait();
                std::unique_lock<std::mutex> guard(lock);
                written.wait(guard, [&] {
                    const auto at = writtenAt.find(kind.path);
                    return at != writtenAt.end() && at->second > changed;
                });
                worst = std::max(worst, milliseconds(writtenAt[kind.path] - changed));
            }
            std::lock_guard<std::mutex> guard(lock);
            std::vector<double>& spent = takes[kind.name];
            std::sort(spent.begin(), spent.end());
            const double median = spent.empty() ? 0 : spent[spent.size() / 2];
            state.counters["disk_ms_" + kind.name] = worst;
            state.counters["take_us_" + kind.name] = median * 1e3;
            state.counters["take_pct_" + kind.name] = 100 * median / floorSave;
        }

        cpu = cpuMilliseconds();
        std::this_thread::sleep_for(kRest);
        const double restCpu = cpuMilliseconds() - cpu;
        const double restRss = residentMegabytes();
        state.counters["rest_cpu_ms"] = restCpu;
        state.counters["rest_rss_mb"] = restRss;
        state.counters["cpu_ratio"] = restCpu / std::max(floorCpu, 1.0);
        state.counters["rss_ratio"] = restRss / floorRss;
        state.counters["rss_vs_up"] = restRss / upRss;
        saver.stop();
    }
    delete pref::instanceSlot().release();
    base::ThreadDispatcher::destroy();
}

BENCHMARK(BM_StateSaverAtALargeSite)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
