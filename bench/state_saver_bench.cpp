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
//
// BM_ChangeToSyncedFile: from a change to its file written and synced, the worst of three, beside
// the synced write of that file's bytes alone: each kind at the walk's site (60 loudspeakers, 20
// zones, 50 tasks, a playlist of 2000 items, 200 messages), aim 500 ms; and a music list at its
// bound, of a site's Cyrillic songs or of the shortest items, aim 1 s, with where the time goes:
// the take on the window's thread, the file's text, its CRC and the synced write.
//
// BM_BoundCheckOfAnAddition: what the check of one addition against its file's bound costs the
// window's thread, each kind at its bound, beside the same check of a file that holds nothing
// (the ratio shows what grows with the file), and the text of the whole file that such a check
// once made.

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
#include "bench/FloorRatio.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devices/VokarInfo.h"
#include "foundation/Crc32.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/PlaylistEditor.h"
#include "panels/SchedulerStore.h"
#include "panels/SchedulerTasks.h"
#include "support/DeviceEmulator.h"
#include "support/FakeGuiThread.h"
#include "support/TempFolder.h"

namespace {

using Clock = std::chrono::steady_clock;
using frm::StateSaver;

// What a site holds: each zone and task holds a number of loudspeakers in the range.
struct SiteSize {
    int loudspeakers;
    int zones;
    int zoneLeast, zoneMost;
    int tasks;
    int taskLeast, taskMost;
    int items;
    int messageGroups;
    int messagesPerGroup;
};
constexpr SiteSize kLargeSite{1000, 500, 2, 50, 1000, 10, 100, 10000, 100, 100};
constexpr SiteSize kWalkSite{60, 20, 2, 10, 50, 5, 30, 2000, 10, 20};
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

    explicit Site(const SiteSize& size) {
        std::mt19937 random(7);
        registry = std::make_shared<device::DeviceCollection>(transport, test::freeUdpPort());
        registry->setFactory(device::types::loudspeaker,
                             std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
        for (int n = 1; n <= size.loudspeakers; ++n) {
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
        for (int n = 1; n <= size.zones; ++n) {
            const auto zone = zones->createZone(*zones, L"Зона этажа " + std::to_wstring(n));
            zone->addDevices(some(size.zoneLeast, size.zoneMost));
        }
        auto playlist = std::make_shared<Playlist>(L"Фоновая музыка", true);
        for (int n = 1; n <= size.items; ++n) {
            playlist->restore(Playlist::Item(
                L"Композиция номер " + std::to_wstring(n),
                L"/srv/музыка/альбом " + std::to_wstring(n / 20) + L"/трек " + std::to_wstring(n) + L".mp3"));
        }
        music->add(playlist);
        for (int group = 1; group <= size.messageGroups; ++group) {
            frm::MessageItem folder;
            folder.name = L"Группа " + std::to_wstring(group);
            for (int n = 1; n <= size.messagesPerGroup; ++n) {
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
        for (int n = 0; n < size.tasks; ++n) {
            auto playback = collection->getPlaybacks().front()->clone();
            frm::Targets targets;
            for (const auto& loudspeaker : some(size.taskLeast, size.taskMost)) targets.insert(loudspeaker);
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
                         site.zones->zones.front()->rename(L"Зона " + std::to_wstring(n));
                         site.zoneChanges.mark();
                     }});
    return kinds;
}

// The saver as the window runs it: the takes on a thread of their own that stands for the window's,
// timed there, and the time each file was last written.
struct TimedSaver {
    test::FakeGuiThread window;
    std::mutex lock;
    std::condition_variable written;
    std::map<std::wstring, Clock::time_point> writtenAt;
    std::map<std::string, std::vector<double>> takes;
    StateSaver saver{window.poster(), [this](const std::wstring& path, const std::string& bytes) {
                         const base::AtomicWriteResult result = base::writeFileAtomically(path, bytes);
                         {
                             std::lock_guard<std::mutex> guard(lock);
                             writtenAt[path] = Clock::now();
                         }
                         written.notify_all();
                         return result;
                     }};

    explicit TimedSaver(const std::vector<Kind>& kinds) {
        for (const Kind& kind : kinds) {
            saver.watch(kind.mark, [this, name = kind.name, take = kind.take] {
                const auto begun = Clock::now();
                StateSaver::Snapshot files = take();
                const double spent = milliseconds(Clock::now() - begun);
                std::lock_guard<std::mutex> guard(lock);
                takes[name].push_back(spent);
                return files;
            });
        }
    }
    ~TimedSaver() { saver.stop(); }

    // Three changes of the kind, each on the window's thread: the worst time from the change to its
    // file written and synced, and the median take; `first` gets the first change's time, which
    // includes the first look at the file on disk.
    std::pair<double, double> change(const Kind& kind, double* first = nullptr) {
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
            if (first && n == 1) *first = worst;
        }
        std::lock_guard<std::mutex> guard(lock);
        return {worst, bench::median(takes[kind.name])};
    }
};

// The synced write of the file's bytes alone, to a file beside it.
double floorWriteMilliseconds(const std::wstring& path) {
    const std::string bytes = test::readWholeFile(base::toUtf8(path));
    const auto start = Clock::now();
    base::writeFileAtomically(path + L".floor", bytes);
    return milliseconds(Clock::now() - start);
}

void BM_StateSaverAtALargeSite(benchmark::State& state) {
    base::ThreadDispatcher::create();
    pref::instanceSlot().install(pref_init(L""));
    for (auto _ : state) {
        test::TempFolder folder;
        auto site = std::make_unique<Site>(kLargeSite);
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
            state.counters["floor_write_ms_" + kind.name] = floorWriteMilliseconds(kind.path);
            state.counters["file_mb_" + kind.name] =
                static_cast<double>(test::readWholeFile(base::toUtf8(kind.path)).size()) / (1 << 20);
        }

        TimedSaver timed(kinds);
        const double upRss = residentMegabytes();
        timed.saver.start();
        double cpu = cpuMilliseconds();
        std::this_thread::sleep_for(kRest);
        const double floorCpu = cpuMilliseconds() - cpu;
        const double floorRss = residentMegabytes();
        state.counters["floor_rest_cpu_ms"] = floorCpu;
        state.counters["floor_rss_mb"] = floorRss;
        state.counters["up_rss_mb"] = upRss;

        for (const Kind& kind : kinds) {
            const auto [worst, take] = timed.change(kind);
            state.counters["disk_ms_" + kind.name] = worst;
            state.counters["take_us_" + kind.name] = take * 1e3;
            state.counters["take_pct_" + kind.name] = 100 * take / floorSave;
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
    }
    delete pref::instanceSlot().release();
    base::ThreadDispatcher::destroy();
}

BENCHMARK(BM_StateSaverAtALargeSite)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A song of a site (Cyrillic title and path, about 180 bytes written), or the shortest item.
Playlist::Item listItem(bool shortest, std::size_t n) {
    if (shortest) return Playlist::Item(std::to_wstring(n), L"/" + std::to_wstring(n));
    const std::wstring title = L"Исполнитель — песня " + std::to_wstring(n);
    return Playlist::Item(
        title, L"/home/оператор/Музыка/Альбом " + std::to_wstring(n / 12) + L"/" + title + L".mp3");
}

// A music list of one playlist whose file stands `room` bytes short of its bound, or less.
std::shared_ptr<ListOfPlaylist> listAtItsBound(bool shortest, std::size_t room) {
    auto list = std::make_shared<ListOfPlaylist>(L"music");
    auto playlist = std::make_shared<Playlist>(L"Весь день", true);
    list->add(playlist);
    std::size_t size = list->writtenSize();
    for (std::size_t n = 0;; ++n) {
        Playlist::Item item = listItem(shortest, n);
        size += ListOfPlaylist::writtenSize(item);
        if (size + room > ListOfPlaylist::kMaximumFileSize) break;
        playlist->restore(std::move(item));
    }
    return list;
}

void BM_ChangeToSyncedFile(benchmark::State& state) {
    base::ThreadDispatcher::create();
    pref::instanceSlot().install(pref_init(L""));
    for (auto _ : state) {
        test::TempFolder folder;
        if (state.range(0) == 0) {
            state.SetLabel("walk's site");
            Site site(kWalkSite);
            const std::vector<Kind> kinds = kindsOf(site, folder.widePath());
            TimedSaver timed(kinds);
            timed.saver.start();
            double worstRatio = 0;
            for (const Kind& kind : kinds) {
                const double worst = timed.change(kind).first;
                const double floor = floorWriteMilliseconds(kind.path);
                state.counters["disk_ms_" + kind.name] = worst;
                state.counters["floor_write_ms_" + kind.name] = floor;
                worstRatio = std::max(worstRatio, worst / floor);
            }
            state.counters["worst_ratio"] = worstRatio;
            continue;
        }
        const bool shortest = state.range(0) == 2;
        state.SetLabel(shortest ? "music list at its bound, shortest items"
                                : "music list at its bound, songs");
        const auto list = listAtItsBound(shortest, 1024);
        const std::wstring path = folder.widePath() + L"/" + ListOfPlaylist::kMusicFile;
        // A drag: the first item one row down and back.
        const Kind kind{"music", path, list->changes(),
                        [list, path] { return StateSaver::Snapshot{frm::playlistsFile(path, list)}; },
                        [list](int n) { list->getOne(0)->moveItem(n % 2 == 1 ? 0 : 1, n % 2 == 1 ? 1 : 0); }};
        TimedSaver timed({kind});
        // On disk as it stands, so that the first look at the file is one of its changes.
        list->save(path);
        timed.saver.start();
        double first = 0;
        const auto [worst, take] = timed.change(kind, &first);
        state.counters["disk_ms"] = worst;
        state.counters["first_disk_ms"] = first;
        state.counters["take_us"] = take * 1e3;
        auto start = Clock::now();
        const std::string text = list->xmlText();
        state.counters["text_ms"] = milliseconds(Clock::now() - start);
        start = Clock::now();
        benchmark::DoNotOptimize(base::crc32(text));
        state.counters["crc_ms"] = milliseconds(Clock::now() - start);
        state.counters["file_mb"] = static_cast<double>(text.size()) / (1 << 20);
        state.counters["items"] = static_cast<double>(list->getOne(0)->written().items);
        const double floor = floorWriteMilliseconds(path);
        state.counters["floor_write_ms"] = floor;
        state.counters["ratio"] = worst / floor;
    }
    delete pref::instanceSlot().release();
    base::ThreadDispatcher::destroy();
}

BENCHMARK(BM_ChangeToSyncedFile)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The median of many runs of the check, in microseconds.
double checkMicroseconds(const std::function<bool()>& check) {
    std::vector<double> runs;
    for (int n = 0; n < 5; ++n)
        runs.push_back(bench::nanosecondsEach([&] { benchmark::DoNotOptimize(check()); }, 200) / 1e3);
    return bench::median(runs);
}

void BM_BoundCheckOfAnAddition(benchmark::State& state) {
    base::ThreadDispatcher::create();
    pref::instanceSlot().install(pref_init(L""));
    for (auto _ : state) {
        // Music: a song added to a list at its bound, beside one added to an empty list.
        const auto list = listAtItsBound(false, 1024);
        const std::vector<Playlist::Item> song{listItem(false, 1)};
        const auto emptyList = std::make_shared<ListOfPlaylist>(L"music");
        emptyList->add(std::make_shared<Playlist>(L"Весь день", true));
        state.counters["music_us"] =
            checkMicroseconds([&] { return frm::PlaylistEditor::fitsInFile(*list, *list->getOne(0), song); });
        state.counters["music_floor_us"] = checkMicroseconds(
            [&] { return frm::PlaylistEditor::fitsInFile(*emptyList, *emptyList->getOne(0), song); });
        auto start = Clock::now();
        benchmark::DoNotOptimize(storage::xmlText(list->toTree()).size());
        state.counters["music_text_ms"] = milliseconds(Clock::now() - start);

        // The scheduler: a task to 500 loudspeakers beside 1000 tasks each to 850 of 1000, a file at
        // its bound, and beside none.
        SiteSize atBound = kLargeSite;
        atBound.zones = 0;
        atBound.items = 1;
        atBound.messageGroups = 0;
        atBound.taskLeast = atBound.taskMost = 850;
        Site site(atBound);
        SiteSize none = atBound;
        none.tasks = 0;
        Site empty(none);
        auto record = site.tasks.tasks().front()->getClientData();
        frm::Targets targets;
        for (std::size_t n = 0; n < 500; ++n) targets.insert(site.loudspeakers[n]);
        record.playback = record.playback->clone();
        record.playback->setTargets(targets);
        state.counters["scheduler_mb"] = static_cast<double>(site.store.writtenSize()) / (1 << 20);
        state.counters["scheduler_us"] =
            checkMicroseconds([&] { return site.store.takes(record, frm::taskDaily); });
        state.counters["scheduler_floor_us"] =
            checkMicroseconds([&] { return empty.store.takes(record, frm::taskDaily); });
        start = Clock::now();
        benchmark::DoNotOptimize(storage::xmlText(site.store.toTree()).size());
        state.counters["scheduler_text_ms"] = milliseconds(Clock::now() - start);

        // Zones: a new zone beside 500 zones each of 430 loudspeakers, and beside none.
        atBound = kLargeSite;
        atBound.tasks = 0;
        atBound.items = 1;
        atBound.messageGroups = 0;
        atBound.zoneLeast = atBound.zoneMost = 430;
        Site zoned(atBound);
        const auto noZones = frm::ZoneElement::makeRoot();
        state.counters["zones_mb"] = static_cast<double>(zoned.zones->writtenSize()) / (1 << 20);
        state.counters["zones_us"] =
            checkMicroseconds([&] { return zoned.zones->takesZone(*zoned.zones, L"Новая зона"); });
        state.counters["zones_floor_us"] =
            checkMicroseconds([&] { return noZones->takesZone(*noZones, L"Новая зона"); });
        start = Clock::now();
        benchmark::DoNotOptimize(storage::xmlText(zoned.zones->toTree()).size());
        state.counters["zones_text_ms"] = milliseconds(Clock::now() - start);
        for (const char* kind : {"music", "scheduler", "zones"})
            state.counters[std::string(kind) + "_ratio"] =
                state.counters[std::string(kind) + "_us"] / state.counters[std::string(kind) + "_floor_us"];
    }
    delete pref::instanceSlot().release();
    base::ThreadDispatcher::destroy();
}

BENCHMARK(BM_BoundCheckOfAnAddition)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
