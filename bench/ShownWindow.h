#pragma once
// What the window benchmarks share: the program's main window built as the program builds it and
// shown on a private X server, over a data folder whose state files the benchmark writes first
// with the program's own storage code, the benchmark's thread being the window's; the site's
// loudspeakers and zones as files; and the measures of the window's thread: its CPU time from a
// change until the window has handled and drawn all that the change queued, and the longest slice
// for which it was held meanwhile, in which the window answered nothing else (a click, a redraw,
// the window manager's ping).
//
// The log is written at INFO into the data folder, as the program writes it. The state saver is not
// started: its snapshots would fall into the figures at random.

#include <time.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/DebugPref.h"
#include "app/GuardedApp.h"
#include "app/MainFrame.h"
#include "app/kit/ZoneElement.h"
#include "devicelink/DeviceType.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/LogCalls.h"
#include "foundation/NetworkAddress.h"
#include "foundation/Settings.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/SchedulerStore.h"
#include "support/DataRoot.h"
#include "support/DeviceEmulator.h"
#include "support/ProcessThreads.h"
#include "support/ScriptedQuestions.h"
#include "support/XServer.h"

namespace bench {

using Tree = boost::property_tree::wptree;

inline double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

inline net::HardwareAddress loudspeakerAddress(int number) {
    return net::HardwareAddress(0x00027E, 0x100000 + static_cast<std::uint32_t>(number));
}

inline std::wstring loudspeakerName(int number) {
    return L"Громкоговоритель " + std::to_wstring(number + 1);
}

// "device_collection.xml" of the loudspeakers 0 to count - 1, named by loudspeakerName.
inline void writeLoudspeakers(const std::wstring& folder, int count) {
    Tree tree;
    Tree& collection = tree.add_child(L"device_collection", Tree());
    collection.put(L"<xmlattr>.version", 1);
    for (int number = 0; number < count; ++number) {
        Tree& node = collection.add_child(L"device", Tree());
        node.put(L"<xmlattr>.id", number + 1);
        node.put(L"<xmlattr>.type", base::widen(device::toText(device::types::vokarB)));
        node.put(L"<xmlattr>.address", base::widen(loudspeakerAddress(number).canonicalText()));
        node.put(L"<xmlattr>.ip", L"0.0.0.0");
        node.put(L"<xmlattr>.title", loudspeakerName(number));
    }
    storage::save(folder + L"device_collection.xml", tree);
}

// The zones' labels as the zone tree shows them, depth first, and each zone's loudspeakers.
using ZoneLabels = std::vector<std::pair<std::wstring, std::vector<int>>>;

// "zone_collection.xml" of `count` zones "Зона N" under the root, each of 2 to 50 of the
// `loudspeakers`, drawn by `random`.
inline ZoneLabels writeZones(const std::wstring& folder, int count, int loudspeakers, std::mt19937& random) {
    ZoneLabels zones;
    const frm::ZoneElement::ZonePtr root = frm::ZoneElement::makeRoot();
    for (int number = 0; number < count; ++number) {
        const auto zone = root->createZone(*root, L"Зона " + std::to_wstring(number + 1));
        std::vector<int> members;
        const int size = std::uniform_int_distribution<int>(2, 50)(random);
        for (int member = 0; member < size; ++member) {
            const int device = std::uniform_int_distribution<int>(0, loudspeakers - 1)(random);
            if (std::find(members.begin(), members.end(), device) != members.end()) continue;
            members.push_back(device);
            zone->unknownDevices.push_back(loudspeakerAddress(device));
        }
        zones.emplace_back(zone->name, members);
    }
    storage::save(folder + L"zone_collection.xml", root->toTree());
    return zones;
}

// A daily task of the playlist to the loudspeakers, at an hour its number gives, as the scheduler's
// file holds it.
inline void addDailyTask(Tree& scheduler, int number, const std::wstring& playlist,
                         const std::vector<int>& loudspeakers) {
    Tree& task = scheduler.add_child(L"task", Tree());
    task.add(L"type", L"daily");
    task.add(L"startDate", L"2026-01-01");
    task.add(L"finalDate", L"");
    task.add(L"startTime", (number % 24 < 10 ? L"0" : L"") + std::to_wstring(number % 24) + L":00");
    task.add(L"stopTime", L"");
    task.add(L"enable", L"true");
    Tree& playback = task.add_child(L"playback", Tree());
    playback.add(L"placeName", L"playlist");
    playback.add(L"subPlaceName", playlist);
    Tree& devices = playback.add_child(L"devices", Tree());
    for (const int loudspeaker : loudspeakers)
        devices.add(L"devices", base::widen(loudspeakerAddress(loudspeaker).canonicalText()));
}

// "scheduler.xml" of one daily task for each list of loudspeakers.
inline void writeDailyTasks(const std::wstring& folder, const std::wstring& playlist,
                            const std::vector<std::vector<int>>& tasks) {
    Tree tree;
    Tree& scheduler = tree.add_child(frm::SchedulerStore::kRoot, Tree());
    for (std::size_t number = 0; number < tasks.size(); ++number)
        addDailyTask(scheduler, static_cast<int>(number), playlist, tasks[number]);
    storage::save(folder + frm::SchedulerStore::kFileName, tree, frm::SchedulerStore::kMaximumFileSize);
}

// The first window of the type at or below the window that `matches` takes, depth first.
template <class Control>
Control* findControl(wxWindow* window, const std::function<bool(Control&)>& matches) {
    if (auto* control = dynamic_cast<Control*>(window); control != nullptr && matches(*control))
        return control;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* control = findControl<Control>(child, matches)) return control;
    }
    return nullptr;
}

inline void press(wxButton* button) {
    wxCommandEvent click(wxEVT_BUTTON, button->GetId());
    click.SetEventObject(button);
    button->ProcessWindowEvent(click);
}

// The longest slice of the window's thread while a change was handled: its CPU time and its wall
// time (each the longest of the slices), and the CPU time of all of them.
struct Hold {
    double cpu = 0;
    double wall = 0;
    double totalCpu = 0;
    std::size_t slices = 0;

    void add(double sliceCpu, double sliceWall) {
        cpu = std::max(cpu, sliceCpu);
        wall = std::max(wall, sliceWall);
        totalCpu += sliceCpu;
        ++slices;
    }
};

class ShownWindow {
public:
    // `fill` writes the state files into the data folder (its path ends in '/') before the
    // window reads them.
    explicit ShownWindow(const std::function<void(const std::wstring& folder)>& fill) {
        setenv("DISPLAY", screen_.display().c_str(), 1);
        wxApp::SetInstance(new app::GuardedApp());
        int argc = 0;
        if (!wxEntryStart(argc, static_cast<wxChar**>(nullptr))) throw std::runtime_error("no toolkit");
        app::startLog(false);
        pref::instanceSlot().install(pref_init(pref::defaultPath()));
        pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
        pref::setInt(setting::securityInterfaceTimeout.key, 0);
        debug::setMessagePresenter([](const std::wstring&, const std::wstring&, debug::MessageIcon) {});
        std::filesystem::create_directories(root_.dataFolder());
        fill(base::fromUtf8(root_.dataFolder()) + L"/");
        base::ThreadDispatcher::create();
        const std::uint16_t port = test::freeUdpPort();
        pref::setInt(setting::multicastBasePort.key, port);
        transport_ = std::make_shared<device::TransferProtocol>(port, "127.0.0.1");
        frame_ = new frm::MainFrame(transport_, port, "127.0.0.1", questions_, false);
        // The window's own update is measured, before the state saver, which the window's first
        // showing would start (the handler bound last is the first to see the event).
        frame_->Bind(wxEVT_SHOW, [](wxShowEvent&) {});
        frame_->Startup();
        frame_->SetSize(wxRect(0, 0, 1500, 880));
        frame_->Show();
        settle();
        if (!test::threadsNamed("state saver").empty()) throw std::runtime_error("the state saver runs");
    }

    frm::MainFrame& frame() { return *frame_; }
    test::ScriptedQuestions& questions() { return questions_; }
    wxButton* button(const wxString& label) {
        return findControl<wxButton>(frame_, [&](wxButton& each) { return each.GetLabel() == label; });
    }

    // Handles what is queued for the window until nothing more comes within a short while.
    void settle() {
        auto quiet = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - quiet < std::chrono::milliseconds(50)) {
            bool busy = wxTheApp->Pending() || wxTheApp->HasPendingEvents();
            while (wxTheApp->Pending()) wxTheApp->Dispatch();
            wxTheApp->ProcessPendingEvents();
            wxTheApp->ProcessIdle();
            if (busy) quiet = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // The window thread's CPU time of the change and of what it queued until `done` holds, and the
    // wall time.
    template <class Change>
    std::pair<double, double> measure(
        Change change, const std::function<bool()>& done = [] { return true; }) {
        const double cpu = threadCpuMilliseconds();
        const auto wall = std::chrono::steady_clock::now();
        change();
        while (!done()) {
            wxTheApp->ProcessPendingEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        while (wxTheApp->Pending()) wxTheApp->Dispatch();
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        // What the change made the shown windows draw anew is drawn now.
        for (wxWindow* shown : wxTopLevelWindows) shown->Update();
        return {threadCpuMilliseconds() - cpu,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count()};
    }

    // The slices of the window's thread from the change until `done` holds and the window has
    // handled and drawn all it queued: the change itself, then each event of the display and
    // each round of the window's own queued events, as the window's loop takes them one after
    // another.
    template <class Change>
    Hold hold(
        Change change, const std::function<bool()>& done = [] { return true; }) {
        Hold held;
        const auto slice = [&held](const auto& work) {
            const double cpu = threadCpuMilliseconds();
            const auto wall = std::chrono::steady_clock::now();
            work();
            held.add(
                threadCpuMilliseconds() - cpu,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count());
        };
        slice(change);
        for (;;) {
            bool handled = false;
            if (wxTheApp->Pending()) {
                slice([] { wxTheApp->Dispatch(); });
                handled = true;
            }
            if (wxTheApp->HasPendingEvents()) {
                slice([] { wxTheApp->ProcessPendingEvents(); });
                handled = true;
            }
            if (handled) continue;
            if (done()) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        slice([] {
            wxTheApp->ProcessIdle();
            for (wxWindow* shown : wxTopLevelWindows) shown->Update();
        });
        return held;
    }

    void close() {
        frame_->Close(true);
        settle();
        transport_.reset();
        base::ThreadDispatcher::destroy();
        debug::setMessagePresenter(nullptr);
        delete pref::instanceSlot().release();
        wxEntryCleanup();
        dbg_free();
    }

private:
    test::XServer screen_;
    test::DataRoot root_;
    test::ScriptedQuestions questions_;
    std::shared_ptr<device::TransferProtocol> transport_;
    frm::MainFrame* frame_ = nullptr;
};

}  // namespace bench
