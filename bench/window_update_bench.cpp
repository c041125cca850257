// The window thread's share of an operator's change at a large site: 1000 loudspeakers, 500 zones
// of 2-50 of them, 1000 daily tasks of 10-100 loudspeakers each, a playlist of 10 000 items and
// 10 000 service messages, written as state files into a temporary data folder by the program's
// own storage code and read by the main window as at a start. The window is the program's, built
// and shown on a private X server; the benchmark's thread is the window's.
//
// The state saver is not started: its snapshots would fall into the figures at random. Each figure
// is the window thread's CPU time ("cpu_ms", the median of the iterations, "cpu_max_ms" the
// longest; "wall_ms" beside it) from the change until the window has handled and drawn everything
// the change queued for it:
// - BM_RenameLoudspeaker: what the property page's rename does on the window's thread (the
//   device's setTitle and the page's update callback, the zone panel's updateAll), until the
//   device list shows the new name;
// - BM_RenameZone: the zone panel's "Переименовать" for a zone, the new name answered;
// - BM_DisableTask: a task selected in the scheduler's list and "Выкл задание" pressed, then
//   "Вкл задание" at the next iteration; "show_view_ms" is the first showing of that view,
//   "show_again_ms" the second.
// Each is set beside its floor in the same run: the same view built once plainly in a bare control
// of the toolkit (the zone tree's labels appended to a wxTreeCtrl and expanded, the task list's
// texts set into a report wxListCtrl), "floor_ms", and "ratio" = cpu_ms / floor_ms.

#include <benchmark/benchmark.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/kit/ZoneElementPanel.h"
#include "audio/ListOfPlaylist.h"
#include "audio/Playlist.h"
#include "bench/ShownWindow.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "panels/MessageStore.h"
#include "panels/SchedulerStore.h"
#include "panels/SourceSchedulerPanel.h"

namespace {

using bench::findControl;
using bench::loudspeakerAddress;
using bench::loudspeakerName;
using bench::press;
using bench::Tree;

constexpr int kLoudspeakers = 1000;
constexpr int kZones = 500;
constexpr int kTasks = 1000;
constexpr int kPlaylistItems = 10000;
constexpr int kMessages = 10000;
const wchar_t kPlaylist[] = L"Музыка";

// The site's state files, made as the program makes them.
class Site {
public:
    explicit Site(const std::wstring& folder) : folder_(folder) {
        bench::writeLoudspeakers(folder_, kLoudspeakers);
        zones = bench::writeZones(folder_, kZones, kLoudspeakers, random_);
        writePlaylist();
        writeMessages();
        writeTasks();
    }

    // The zones' labels as the zone tree shows them, depth first, and each zone's devices.
    bench::ZoneLabels zones;

private:
    void save(const wchar_t* name, const Tree& tree) const { storage::save(folder_ + name, tree); }

    void writePlaylist() const {
        ListOfPlaylist list(ListOfPlaylist::kMusicFile);
        auto playlist = std::make_shared<Playlist>(kPlaylist, true);
        std::vector<Playlist::Item> items;
        for (int number = 0; number < kPlaylistItems; ++number) {
            const std::wstring title = L"Композиция " + std::to_wstring(number + 1);
            items.emplace_back(title, L"/music/" + title + L".mp3");
        }
        playlist->add(items);
        list.add(playlist);
        save(ListOfPlaylist::kMusicFile, list.toTree());
    }

    void writeMessages() const {
        frm::MessageItem root;
        for (int number = 0; number < kMessages; ++number) {
            frm::MessageItem message;
            message.kind = frm::MessageItem::messageItem;
            message.name = L"Сообщение " + std::to_wstring(number + 1);
            message.message = L"/messages/" + message.name + L".mp3";
            root.children.push_back(std::move(message));
        }
        save(L"service_message.xml", frm::writeMessageTree(root, L"/messages"));
    }

    void writeTasks() {
        std::vector<std::vector<int>> tasks;
        for (int number = 0; number < kTasks; ++number) {
            const int count = std::uniform_int_distribution<int>(10, 100)(random_);
            const int first = std::uniform_int_distribution<int>(0, kLoudspeakers - 1)(random_);
            tasks.emplace_back();
            for (int member = 0; member < count; ++member)
                tasks.back().push_back((first + member * 7) % kLoudspeakers);
        }
        bench::writeDailyTasks(folder_, kPlaylist, tasks);
    }

    const std::wstring folder_;
    std::mt19937 random_{91};
};

// The main window at the site, shown; its scheduler view is shown by showScheduler.
class Window {
public:
    Window() : shown_([this](const std::wstring& folder) { site_ = std::make_unique<Site>(folder); }) {
        frame_ = &shown_.frame();
        zonePanel_ = findControl<frm::ZoneElementPanel>(frame_, [](auto&) { return true; });
        zoneTree_ = findControl<wxTreeCtrl>(zonePanel_, [](auto&) { return true; });
        deviceList_ =
            findControl<wxListCtrl>(frame_, [](wxListCtrl& list) { return list.GetItemCount() > 0; });
    }

    // Shows the scheduler's view as its button does, twice; the window thread's CPU time of the
    // first showing and of the second, which shows the view again as it stands.
    std::pair<double, double> showScheduler() {
        if (scheduler_ != nullptr) return schedulerShown_;
        wxButton* const button = shown_.button(L"Планировщик");
        schedulerShown_.first = measure([&] { press(button); }).first;
        settle();
        schedulerShown_.second = measure([&] { press(button); }).first;
        settle();
        scheduler_ = findControl<frm::SourceSchedulerPanel>(frame_, [](auto&) { return true; });
        taskList_ = findControl<wxListCtrl>(scheduler_, [](wxListCtrl& list) {
            wxListItem column;
            column.SetMask(wxLIST_MASK_TEXT);
            return list.GetColumnCount() > 0 && list.GetColumn(0, column) &&
                   column.GetText() == L"Дата начала";
        });
        disable_ = findControl<wxButton>(
            scheduler_, [](wxButton& button) { return button.GetLabel() == L"Выкл задание"; });
        enable_ = findControl<wxButton>(scheduler_,
                                        [](wxButton& button) { return button.GetLabel() == L"Вкл задание"; });
        return schedulerShown_;
    }

    void settle() { shown_.settle(); }
    template <class Change>
    std::pair<double, double> measure(
        Change change, const std::function<bool()>& done = [] { return true; }) {
        return shown_.measure(change, done);
    }
    void close() { shown_.close(); }

    std::shared_ptr<device::DeviceBase> loudspeaker(int number) {
        return frame_->getDeviceCollection().searchForFamily(loudspeakerAddress(number),
                                                             device::types::loudspeaker);
    }

    std::unique_ptr<Site> site_;
    bench::ShownWindow shown_;
    test::ScriptedQuestions& questions_ = shown_.questions();
    frm::MainFrame* frame_ = nullptr;
    frm::ZoneElementPanel* zonePanel_ = nullptr;
    wxTreeCtrl* zoneTree_ = nullptr;
    wxListCtrl* deviceList_ = nullptr;
    frm::SourceSchedulerPanel* scheduler_ = nullptr;
    wxListCtrl* taskList_ = nullptr;
    wxButton* disable_ = nullptr;
    wxButton* enable_ = nullptr;
    std::pair<double, double> schedulerShown_;
};

Window& window() {
    static Window* shown = new Window();
    return *shown;
}

// The zone tree's labels appended plainly to a bare tree of the toolkit and expanded, once drawn.
double zoneTreeFloor(Window& site) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, L"floor", wxPoint(0, 0), wxSize(600, 800));
    auto* tree = new wxTreeCtrl(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxTR_DEFAULT_STYLE | wxTR_MULTIPLE | wxTR_HAS_BUTTONS);
    frame->Show();
    site.settle();
    const double cpu = site.measure([&] {
                               tree->Freeze();
                               const wxTreeItemId root = tree->AddRoot(frm::ZoneElement::kRootName);
                               for (const auto& [name, members] : site.site_->zones) {
                                   const wxTreeItemId zone = tree->AppendItem(root, name);
                                   tree->SetItemBold(zone);
                                   for (const int member : members)
                                       tree->AppendItem(zone, loudspeakerName(member));
                               }
                               tree->ExpandAll();
                               tree->Thaw();
                               tree->Update();
                           })
                           .first;
    frame->Destroy();
    site.settle();
    return cpu;
}

// The task list's texts set plainly into a bare report list of the toolkit, once drawn.
double taskListFloor(Window& site) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, L"floor", wxPoint(0, 0), wxSize(1400, 800));
    auto* list = new wxListCtrl(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    const long columns = site.taskList_->GetColumnCount();
    for (long column = 0; column < columns; ++column) list->AppendColumn(L"column", wxLIST_FORMAT_LEFT, 150);
    std::vector<std::vector<wxString>> rows;
    for (long row = 0; row < site.taskList_->GetItemCount(); ++row) {
        rows.emplace_back();
        for (long column = 0; column < columns; ++column)
            rows.back().push_back(site.taskList_->GetItemText(row, column));
    }
    frame->Show();
    site.settle();
    const double cpu = site.measure([&] {
                               list->Freeze();
                               for (const auto& texts : rows) {
                                   const long row = list->InsertItem(list->GetItemCount(), texts[0]);
                                   for (long column = 1; column < columns; ++column)
                                       list->SetItem(row, column, texts[column]);
                               }
                               list->Thaw();
                               list->Update();
                           })
                           .first;
    frame->Destroy();
    site.settle();
    return cpu;
}

void report(benchmark::State& state, std::vector<double> cpu, std::vector<double> wall, double floor) {
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    state.counters["cpu_ms"] = cpu[cpu.size() / 2];
    state.counters["cpu_max_ms"] = cpu.back();
    state.counters["wall_ms"] = wall[wall.size() / 2];
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = cpu[cpu.size() / 2] / floor;
}

void BM_RenameLoudspeaker(benchmark::State& state) {
    Window& site = window();
    const double floor = zoneTreeFloor(site);
    std::vector<double> cpu, wall;
    int round = 0;
    for (auto _ : state) {
        const int number = (round * 37) % kLoudspeakers;
        const auto loudspeaker = site.loudspeaker(number);
        const std::wstring name = L"Зал " + std::to_wstring(++round);
        const auto [used, took] = site.measure(
            [&] {
                loudspeaker->setTitle(name);
                site.zonePanel_->updateAll();
            },
            [&] { return site.deviceList_->GetItemText(number, 0) == name; });
        cpu.push_back(used);
        wall.push_back(took);
    }
    report(state, cpu, wall, floor);
}

void BM_RenameZone(benchmark::State& state) {
    Window& site = window();
    const double floor = zoneTreeFloor(site);
    std::vector<double> cpu, wall;
    int round = 0;
    wxButton* rename = findControl<wxButton>(
        site.zonePanel_, [](wxButton& button) { return button.GetLabel() == L"Переименовать"; });
    for (auto _ : state) {
        const int zone = (round * 13) % kZones;
        const std::wstring name = L"Этаж " + std::to_wstring(++round);
        wxTreeItemIdValue cookie;
        wxTreeItemId item = site.zoneTree_->GetFirstChild(site.zoneTree_->GetRootItem(), cookie);
        for (; item.IsOk(); item = site.zoneTree_->GetNextSibling(item)) {
            if (site.zoneTree_->IsBold(item) &&
                site.zoneTree_->GetItemText(item) == site.site_->zones[zone].first)
                break;
        }
        site.zoneTree_->UnselectAll();
        site.zoneTree_->SelectItem(item);
        site.settle();
        site.questions_.texts.push_back(name);
        const auto [used, took] = site.measure([&] { press(rename); });
        site.site_->zones[zone].first = name;
        cpu.push_back(used);
        wall.push_back(took);
    }
    report(state, cpu, wall, floor);
}

void BM_DisableTask(benchmark::State& state) {
    Window& site = window();
    const auto [shown, again] = site.showScheduler();
    state.counters["show_view_ms"] = shown;
    state.counters["show_again_ms"] = again;
    const double floor = taskListFloor(site);
    std::vector<double> cpu, wall;
    int round = 0;
    for (auto _ : state) {
        // Each task is disabled and then enabled again.
        const long row = (round / 2 * 29) % site.taskList_->GetItemCount();
        const bool enabling = round++ % 2 == 1;
        site.taskList_->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        site.settle();
        const auto [used, took] = site.measure([&] { press(enabling ? site.enable_ : site.disable_); });
        cpu.push_back(used);
        wall.push_back(took);
    }
    report(state, cpu, wall, floor);
}

}  // namespace

// As many changes as the default run time takes, at least one; --benchmark_min_time sets it.
BENCHMARK(BM_RenameLoudspeaker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenameZone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisableTask)->Unit(benchmark::kMillisecond);

// The window is closed as the operator closes it once the figures are taken.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window().close();
    return 0;
}
