// What a state file at 95 % of its kind's bound costs the program: from its start to its main
// window on the screen, the peak of its resident memory over the whole run, and from "--quit" to
// the end of the process (every state file written), beside the same start with an empty data
// folder. One program run per kind, each with that one file in its data folder (the scheduler's
// beside the playlist and the loudspeakers its tasks name); the file is made of records of the
// shape the program writes, with Cyrillic texts where the operator types them.
//
// Aims: the window within 15 s, the peak at most 2 GB, the stop within a minute.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "app/DeviceCollectionFile.h"
#include "app/kit/ZoneElement.h"
#include "audio/GiveBackJournal.h"
#include "audio/ListOfPlaylist.h"
#include "foundation/TextConversion.h"
#include "panels/MessageStore.h"
#include "panels/SchedulerStore.h"
#include "panels/SourceServicePanel.h"
#include "support/ProgramUnderTest.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// The n-th of 1000 loudspeakers' hardware addresses.
std::string address(std::size_t n) {
    char text[18];
    std::snprintf(text, sizeof text, "02:7E:41:00:%02X:%02X", static_cast<unsigned>((n % 1000) >> 8),
                  static_cast<unsigned>(n % 1000 & 0xFF));
    return text;
}

// The n-th of sixteen million distinct hardware addresses.
std::string distinctAddress(std::size_t n) {
    char text[18];
    std::snprintf(text, sizeof text, "02:7E:%02X:%02X:%02X:00", static_cast<unsigned>(n >> 16 & 0xFF),
                  static_cast<unsigned>(n >> 8 & 0xFF), static_cast<unsigned>(n & 0xFF));
    return text;
}

std::string utf8(const std::wstring& text) {
    return base::toUtf8(text);
}

// The n-th device of a collection, with its address and title; the rest as the program writes it.
std::string deviceRecord(std::size_t n, const std::string& ip, const std::string& title) {
    return "<device id=\"" + std::to_string(n + 1) + "\" type=\"Vokar-B\" address=\"" + distinctAddress(n) +
           "\" ip=\"" + ip + "\" title=\"" + title + "\"/>";
}

// Writes `head`, then records made by `record` (given their number) while the file stays below
// `size` less the tail, then `tail`.
void writeFile(const std::string& path, std::size_t size, const std::string& head,
               const std::function<std::string(std::size_t)>& record, const std::string& tail) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::size_t written = kDeclaration.size() + head.size() + tail.size();
    file << kDeclaration << head;
    for (std::size_t n = 0;; ++n) {
        const std::string text = record(n);
        if (written + text.size() > size) break;
        file << text;
        written += text.size();
    }
    file << tail;
}

struct Kind {
    const char* name;
    std::wstring file;
    std::size_t bound;
    // Writes the file of that size at the path; `program` may take other files beside it.
    std::function<void(test::ProgramUnderTest& program, const std::string& path, std::size_t size)> make;
};

void deviceCollection(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<device_collection version=\"1\">",
        [](std::size_t n) {
            return deviceRecord(n, "10.1." + std::to_string(n >> 8 & 0xFF) + "." + std::to_string(n & 0xFF),
                                utf8(L"Громкоговоритель, корпус 2, этаж 3, №") + std::to_string(n));
        },
        "</device_collection>");
}

// 500 zones below the root, the loudspeakers spread evenly over them.
void zoneCollection(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    const std::size_t perZone = size / 500 / 37;
    writeFile(
        path, size,
        "<zone_collection version=\"1\"><zone name=\"" + utf8(frm::ZoneElement::kRootName) +
            "\" volume=\"-1\">",
        [perZone](std::size_t n) {
            std::string text;
            if (n % perZone == 0) {
                if (n > 0) text += "</zone>";
                text += "<zone name=\"" + utf8(L"Зона ") + std::to_string(n / perZone) + "\" volume=\"50\">";
            }
            return text + "<device address=\"" + address(n) + "\"/>";
        },
        "</zone></zone></zone_collection>");
}

// The playlist the tasks play, in a music list of its own.
const std::wstring kTaskPlaylist = L"Утро";

// The music list holding the playlist that the tasks play, and the site's 1000 loudspeakers, which
// the tasks play on.
void writeTaskPlaylist(test::ProgramUnderTest& program) {
    std::ofstream(program.dataFile(utf8(ListOfPlaylist::kMusicFile)), std::ios::binary)
        << kDeclaration << "<listOfPlaylist name=\"music\"><playlist name=\"" << utf8(kTaskPlaylist)
        << "\" repeat=\"true\" current=\"0\"><item title=\"a\" "
           "path=\"/tmp/a.mp3\"/></playlist></listOfPlaylist>";
    std::ofstream devices(program.dataFile("device_collection.xml"), std::ios::binary);
    devices << kDeclaration << "<device_collection version=\"1\">";
    for (std::size_t n = 0; n < 1000; ++n) {
        devices << "<device id=\"" << n + 1 << "\" type=\"Vokar-B\" address=\"" << address(n)
                << "\" ip=\"10.1." << n / 250 << "." << n % 250 + 1 << "\" title=\""
                << utf8(L"Громкоговоритель №") << n << "\"/>";
    }
    devices << "</device_collection>";
}

// The n-th daily task of that playlist up to its first loudspeaker.
std::string taskHead(std::size_t n) {
    return "<task><type>daily</type><startDate>2024-05-02</startDate><finalDate/><startTime>" +
           std::to_string(10 + n % 10) + ":" + std::to_string(10 + n % 50) +
           "</startTime><stopTime/><enable>true</enable><playback><placeName>playlist</"
           "placeName><subPlaceName>" +
           utf8(kTaskPlaylist) + "</subPlaceName><devices>";
}

// 1000 daily tasks, the loudspeakers spread evenly over them.
void scheduler(test::ProgramUnderTest& program, const std::string& path, std::size_t size) {
    writeTaskPlaylist(program);
    const std::size_t perTask = size / 1000 / 36;
    writeFile(
        path, size, "<scheduler_v2>",
        [perTask](std::size_t n) {
            std::string text;
            if (n % perTask == 0) {
                if (n > 0) text += "</devices></playback></task>";
                text += taskHead(n / perTask);
            }
            return text + "<devices>" + address(n) + "</devices>";
        },
        "</devices></playback></task></scheduler_v2>");
}

// One playlist of songs with Cyrillic titles and paths.
void musicList(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size,
        "<listOfPlaylist name=\"music\"><playlist name=\"" + utf8(L"Весь день") +
            "\" repeat=\"true\" current=\"0\">",
        [](std::size_t n) {
            const std::string title = utf8(L"Исполнитель — песня ") + std::to_string(n);
            return "<item title=\"" + title + "\" path=\"" + utf8(L"/home/оператор/Музыка/Альбом ") +
                   std::to_string(n / 12) + "/" + title + ".mp3\"/>";
        },
        "</playlist></listOfPlaylist>");
}

void serviceMessages(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<tree>",
        [](std::size_t n) {
            const std::string name = utf8(L"Объявление ") + std::to_string(n);
            return "<message><name>" + name + "</name><message>" + utf8(L"/srv/сообщения/") + name +
                   ".mp3</message><gong/></message>";
        },
        "</tree>");
}

void giveBackJournal(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<alarm_give_back>",
        [](std::size_t n) {
            return "<loudspeaker><hardwareAddress>" + distinctAddress(n) +
                   "</hardwareAddress><switched>true</switched><scale>dB</scale><level>-12</level>"
                   "<percent>60</percent></loudspeaker>";
        },
        "</alarm_give_back>");
}

// The same kinds with records as short as the program writes them: the most records, and so
// the most elements and rows, that the bound lets through.
void deviceCollectionUntitled(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<device_collection version=\"1\">",
        [](std::size_t n) { return deviceRecord(n, "0.0.0.0", ""); }, "</device_collection>");
}

void emptyZones(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size,
        "<zone_collection version=\"1\"><zone name=\"" + utf8(frm::ZoneElement::kRootName) +
            "\" volume=\"-1\">",
        [](std::size_t n) { return "<zone name=\"" + std::to_string(n) + "\" volume=\"-1\"/>"; },
        "</zone></zone_collection>");
}

void tasksOfOneLoudspeaker(test::ProgramUnderTest& program, const std::string& path, std::size_t size) {
    writeTaskPlaylist(program);
    writeFile(
        path, size, "<scheduler_v2>",
        [](std::size_t n) {
            return taskHead(n) + "<devices>" + address(n) + "</devices></devices></playback></task>";
        },
        "</scheduler_v2>");
}

void shortItems(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<listOfPlaylist name=\"music\"><playlist name=\"a\" repeat=\"true\" current=\"0\">",
        [](std::size_t n) {
            return "<item title=\"" + std::to_string(n) + "\" path=\"/" + std::to_string(n) + ".mp3\"/>";
        },
        "</playlist></listOfPlaylist>");
}

void shortMessages(test::ProgramUnderTest&, const std::string& path, std::size_t size) {
    writeFile(
        path, size, "<tree>",
        [](std::size_t n) {
            return "<message><name>" + std::to_string(n) + "</name><message>/" + std::to_string(n) +
                   ".mp3</message><gong/></message>";
        },
        "</tree>");
}

const Kind kKinds[] = {
    {"device_collection", L"device_collection.xml", frm::kDeviceCollectionFileSize, deviceCollection},
    {"zones", L"zone_collection.xml", frm::ZoneElement::kMaximumFileSize, zoneCollection},
    {"scheduler", frm::SchedulerStore::kFileName, frm::SchedulerStore::kMaximumFileSize, scheduler},
    {"music_list", ListOfPlaylist::kMusicFile, ListOfPlaylist::kMaximumFileSize, musicList},
    {"service_messages", frm::SourceServicePanel::kServiceFile, frm::kMessageFileSize, serviceMessages},
    {"give_back_journal", frm::GiveBackJournal::kFileName, frm::GiveBackJournal::kMaximumFileSize,
     giveBackJournal},
    {"device_collection_untitled", L"device_collection.xml", frm::kDeviceCollectionFileSize,
     deviceCollectionUntitled},
    {"zones_empty", L"zone_collection.xml", frm::ZoneElement::kMaximumFileSize, emptyZones},
    {"scheduler_one_loudspeaker_a_task", frm::SchedulerStore::kFileName,
     frm::SchedulerStore::kMaximumFileSize, tasksOfOneLoudspeaker},
    {"music_list_short_items", ListOfPlaylist::kMusicFile, ListOfPlaylist::kMaximumFileSize, shortItems},
    {"service_messages_short", frm::SourceServicePanel::kServiceFile, frm::kMessageFileSize, shortMessages},
};

// The peak resident memory of the process in bytes, 0 once it is gone.
std::size_t peakResident(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

struct Run {
    double windowSeconds = -1;
    double quitSeconds = -1;
    double peakBytes = 0;
    bool ended = false;
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One start to the window and "--quit" to the end, the peak sampled throughout.
Run runProgram(test::ProgramUnderTest& program) {
    // The log as an installation keeps it, without the debug lines of the tests' settings.
    std::ofstream(program.dataFile("melvoxd.cfg"), std::ios::trunc)
        << "net: { interfaceIp = \"127.0.0.1\"; };\n"
        << "multicast: { basePort = " << program.basePort() << "; };\n"
        << "security: { interfaceTimeout = 0; };\n";
    Run result;
    const auto start = Clock::now();
    const std::unique_ptr<test::ProgramRun> run = program.start();
    std::atomic<bool> sampling{true};
    std::atomic<std::size_t> peak{0};
    std::thread sampler([&] {
        while (sampling) {
            const std::size_t now = peakResident(run->pid());
            if (now > peak) peak = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const unsigned long window = program.screen().waitForWindow(run->pid(), std::chrono::seconds(120));
    if (window != 0) result.windowSeconds = secondsSince(start);
    const auto quitting = Clock::now();
    const std::unique_ptr<test::ProgramRun> quit = program.start({"--quit"});
    result.ended = run->wait(std::chrono::seconds(180)).has_value();
    if (result.ended) result.quitSeconds = secondsSince(quitting);
    quit->wait(std::chrono::seconds(10));
    sampling = false;
    sampler.join();
    if (!result.ended) run->kill(SIGKILL), run->wait();
    result.peakBytes = static_cast<double>(peak.load());
    return result;
}

void BM_StateFileAtItsBound(benchmark::State& state) {
    const Kind& kind = kKinds[state.range(0)];
    state.SetLabel(kind.name);
    for (auto _ : state) {
        test::ProgramUnderTest empty;
        const Run floor = runProgram(empty);
        test::ProgramUnderTest program;
        const std::string path = program.dataFile(utf8(kind.file));
        kind.make(program, path, kind.bound / 100 * 95);
        const auto fileSize = std::ifstream(path, std::ios::ate | std::ios::binary).tellg();
        const Run measured = runProgram(program);
        state.counters["bound_mb"] = static_cast<double>(kind.bound) / (1 << 20);
        state.counters["file_mb"] = static_cast<double>(fileSize) / (1 << 20);
        state.counters["window_s"] = measured.windowSeconds;
        state.counters["peak_mb"] = measured.peakBytes / (1 << 20);
        state.counters["quit_s"] = measured.quitSeconds;
        state.counters["floor_window_s"] = floor.windowSeconds;
        state.counters["floor_peak_mb"] = floor.peakBytes / (1 << 20);
        state.counters["floor_quit_s"] = floor.quitSeconds;
        if (!measured.ended) state.SkipWithError("the program did not end within 180 s of --quit");
    }
}
BENCHMARK(BM_StateFileAtItsBound)
    ->DenseRange(0, std::size(kKinds) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
