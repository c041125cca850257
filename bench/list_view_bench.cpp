// The window thread's hold at the largest lists the state files' bounds admit: the music list
// filled with one playlist of site-shaped items (Cyrillic titles and paths, as a site's songs)
// up to its bound less the room of the folder added below, the radio list with one playlist of
// the shortest items the program writes up to 95 % of its bound (the most rows); each list also
// holds a playlist of 30 such items. The files are written by the program's own storage code into
// a temporary data folder and read by the main window at its start; the bounds are taken by name
// (ListOfPlaylist::kMaximumFileSize), so the lists follow them.
//
// Each figure is the longest slice of the window's thread (ShownWindow::hold) from the operator's
// act until the window has handled and drawn all that it queued: the CPU time of that slice
// ("hold_ms", the median over the iterations, "hold_max_ms" the longest), its wall time
// ("hold_wall_ms"), and beside it the same act on the playlist of 30 items in the same run
// ("floor_ms", "ratio" = hold_ms / floor_ms):
// - BM_ShowView/0 music, /1 radio: the view's button pressed from the device view, the large
//   playlist being the current one;
// - BM_ChoosePlaylist: a click on the large playlist in the list of playlists, after one on the
//   playlist of 30;
// - BM_Scroll: the item list scrolled to a row a third further on, and drawn;
// - BM_Drag: a row dragged three rows down (a press on it and a move over the third row below);
// - BM_AddFolder/0: "Добавить каталог..." of 8000 files of a site's shape in folders of 12 to
//   the playlist of 30, until the items are shown ("took_ms" its wall time; the floor: a folder
//   of 30 files); /1: a folder of twice as many files, which the bound refuses, until the window
//   has told it ("took_ms" the wall time to the refusal).
// - BM_DeleteAll (last, once): every item of the large playlist of the music list selected and
//   deleted (Ctrl+A and Delete, the question answered yes); the floor deletes the playlist of 30.
//
// The site beside them: 1000 loudspeakers, 500 zones of 2-50 of them, and the scheduler's file
// filled up to 95 % of its bound (SchedulerStore::kMaximumFileSize) with daily tasks of the
// playlist of 30, each to 500 loudspeakers, or with "--tasks=shortest" each to one (the most rows):
// - BM_ShowScheduler: the scheduler's view shown from the device view ("first_ms" the first
//   showing, which makes its controls); the floor is the same view, a panel of its own in a frame
//   of its own, over no zones and no tasks, shown the same way in the same run.
// The service and the alarm messages are each filled up to 95 % of their file's bound with
// messages of a site's shape in one group:
// - BM_ShowMessages/0 service, /1 alarm: the view shown from the device view ("first_ms" the first
//   showing, which makes its tree); the floor is the same view without messages, a panel of its own.

#include <benchmark/benchmark.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "audio/ListOfPlaylist.h"
#include "audio/Playlist.h"
#include "bench/FloorRatio.h"
#include "bench/ShownWindow.h"
#include "panels/MessageStore.h"
#include "panels/SourcePlaylistPanel.h"
#include "panels/SourceSchedulerPanel.h"
#include "panels/SourceServicePanel.h"
#include "support/TempFolder.h"

namespace {

using bench::findControl;
using bench::Hold;

const wchar_t kLarge[] = L"Весь день";
const wchar_t kThirty[] = L"Тридцать";
constexpr std::size_t kFolderFiles = 8000;
constexpr std::size_t kFolderPerSubfolder = 12;
constexpr int kLoudspeakers = 1000;
constexpr int kZones = 500;
// The loudspeakers of each task: 500, or one with "--tasks=shortest".
int g_taskLoudspeakers = 500;

Playlist::Item siteItem(std::size_t number) {
    const std::wstring title = L"Исполнитель — песня " + std::to_wstring(number);
    return {title, L"/home/оператор/Музыка/Альбом " + std::to_wstring(number / kFolderPerSubfolder) + L"/" +
                       title + L".mp3"};
}

Playlist::Item shortItem(std::size_t number) {
    return {std::to_wstring(number), L"/" + std::to_wstring(number) + L".mp3"};
}

// The room a folder's items take in a list's file.
std::size_t writtenSize(const std::vector<Playlist::Item>& items) {
    std::size_t size = 0;
    for (const Playlist::Item& item : items) size += ListOfPlaylist::writtenSize(item);
    return size;
}

// A list of a playlist of 30 items and a large one filled up to `size` bytes of its file.
void writeList(const std::wstring& path, const wchar_t* name, Playlist::Item (*item)(std::size_t),
               std::size_t size) {
    ListOfPlaylist list(name);
    auto thirty = std::make_shared<Playlist>(kThirty, true);
    for (std::size_t number = 0; number < 30; ++number) thirty->restore(item(number));
    auto large = std::make_shared<Playlist>(kLarge, true);
    list.add(thirty);
    list.add(large);
    std::size_t written = list.writtenSize();
    for (std::size_t number = 0;; ++number) {
        Playlist::Item next = item(number);
        written += ListOfPlaylist::writtenSize(next);
        if (written > size) break;
        large->restore(std::move(next));
    }
    storage::save(path, list.toTree(), ListOfPlaylist::kMaximumFileSize);
}

// A folder of site-shaped files in folders of 12; the paths of its files.
std::vector<std::wstring> writeFolder(const std::string& folder, std::size_t files) {
    std::vector<std::wstring> paths;
    for (std::size_t number = 0; number < files; ++number) {
        const std::string sub =
            folder + "/" + base::toUtf8(L"Альбом ") + std::to_string(number / kFolderPerSubfolder);
        if (number % kFolderPerSubfolder == 0) std::filesystem::create_directories(sub);
        const std::string file = sub + "/" + base::toUtf8(siteItem(number).title) + ".mp3";
        std::ofstream(file) << "x";
        paths.push_back(base::fromUtf8(file));
    }
    return paths;
}

class Lists {
    // First: the folders below are in it.
    test::TempFolder files_;

public:
    Lists()
        : folder_(files_.file("folder")),
          floorFolder_(files_.file("thirty")),
          refusedFolder_(files_.file("refused")),
          shown_([this](const std::wstring& data) { write(data); }) {}

    bench::ShownWindow& shown() { return shown_; }

    // Opens the view of the list (0 music, 1 radio) as its button does.
    frm::SourcePlaylistPanel& open(int kind) {
        shown_.frame().Raise();
        bench::press(shown_.button(kind == 0 ? L"Плейлист" : L"Радио"));
        shown_.settle();
        panel_ = findControl<frm::SourcePlaylistPanel>(
            &shown_.frame(), [](frm::SourcePlaylistPanel& each) { return each.IsShownOnScreen(); });
        playlists_ = dynamic_cast<wxListCtrl*>(panel_->GetChildren()[0]);
        items_ = dynamic_cast<wxListCtrl*>(panel_->GetChildren()[1]);
        return *panel_;
    }
    wxListCtrl& playlists() { return *playlists_; }
    wxListCtrl& items() { return *items_; }
    frm::SourcePlaylistPanel& panel() { return *panel_; }

    // The row's middle where its label is, as the list's rows (below its header) tell a mouse
    // event's position.
    static wxPoint middle(wxListCtrl& list, long row) {
        wxRect area;
        list.GetItemRect(row, area);
        // The list's rows are its tallest child, below the header.
        wxWindow* rows = nullptr;
        for (wxWindow* child : list.GetChildren()) {
            if (rows == nullptr || child->GetSize().y > rows->GetSize().y) rows = child;
        }
        return area.GetPosition() - rows->GetPosition() +
               wxPoint(std::min(area.width / 4, 40), area.height / 2);
    }
    // A press of the left button (and with it a move) on the row, as the list passes it on.
    static void mouse(wxListCtrl& list, wxEventType type, long row) {
        wxMouseEvent event(type);
        event.SetPosition(middle(list, row));
        event.m_leftDown = true;
        event.SetEventObject(&list);
        list.GetEventHandler()->ProcessEvent(event);
    }
    // Chooses the playlist of the name in the list of playlists, as a click does.
    void click(const wchar_t* name) {
        long row = 0;
        while (row < playlists_->GetItemCount() && playlists_->GetItemText(row) != name) ++row;
        mouse(*playlists_, wxEVT_LEFT_DOWN, row);
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetEventObject(playlists_);
        playlists_->GetEventHandler()->ProcessEvent(up);
    }
    // The same, and the window handles what that queued.
    void choose(const wchar_t* name) {
        click(name);
        shown_.settle();
    }

    const std::string folder_;
    const std::string floorFolder_;
    const std::string refusedFolder_;

private:
    void write(const std::wstring& data) {
        const std::vector<std::wstring> folder = writeFolder(folder_, kFolderFiles);
        writeFolder(floorFolder_, 30);
        writeFolder(refusedFolder_, 2 * kFolderFiles);
        std::vector<Playlist::Item> added;
        for (const std::wstring& path : folder) added.emplace_back(base::getFileName(path, true), path);
        // The folder fits with a tenth to spare; twice its files do not.
        writeList(data + ListOfPlaylist::kMusicFile, L"music", siteItem,
                  ListOfPlaylist::kMaximumFileSize - writtenSize(added) * 11 / 10);
        writeList(data + ListOfPlaylist::kRadioFile, L"radio", shortItem,
                  ListOfPlaylist::kMaximumFileSize / 20 * 19);
        for (const wchar_t* file :
             {frm::SourceServicePanel::kServiceFile, frm::SourceServicePanel::kAlarmFile})
            writeMessages(data + file);
        bench::writeLoudspeakers(data, kLoudspeakers);
        std::mt19937 random(91);
        bench::writeZones(data, kZones, kLoudspeakers, random);
        writeTasks(data);
    }

    // Messages of a site's shape in one group, up to 95 % of the file's bound.
    static void writeMessages(const std::wstring& path) {
        frm::MessageItem root;
        frm::MessageItem group;
        group.name = L"Объявления";
        std::size_t written = 0;
        for (std::size_t number = 0; written < frm::kMessageFileSize / 20 * 19; ++number) {
            frm::MessageItem message;
            message.kind = frm::MessageItem::messageItem;
            message.name = L"Объявление " + std::to_wstring(number + 1);
            message.message = L"/srv/сообщения/" + message.name + L".mp3";
            // Its element with the names written twice over in UTF-8.
            written += 60 + 4 * (message.name.size() + message.message.size());
            group.children.push_back(std::move(message));
        }
        root.children.push_back(std::move(group));
        storage::save(path, frm::writeMessageTree(root, L"/srv/сообщения"), frm::kMessageFileSize);
    }

    // Daily tasks of the playlist of 30 up to 95 % of the file's bound, each to g_taskLoudspeakers.
    static void writeTasks(const std::wstring& data) {
        const auto taskOf = [](std::size_t number) {
            std::vector<int> loudspeakers;
            for (int member = 0; member < g_taskLoudspeakers; ++member)
                loudspeakers.push_back(
                    static_cast<int>((number + static_cast<std::size_t>(member) * 7) % kLoudspeakers));
            return loudspeakers;
        };
        const auto written = [&](std::size_t tasks) {
            bench::Tree tree;
            bench::Tree& scheduler = tree.add_child(frm::SchedulerStore::kRoot, bench::Tree());
            for (std::size_t number = 0; number < tasks; ++number)
                bench::addDailyTask(scheduler, static_cast<int>(number), kThirty, taskOf(number));
            return storage::xmlText(tree, std::numeric_limits<std::size_t>::max()).size();
        };
        const std::size_t each = written(2) - written(1);
        const std::size_t count = (frm::SchedulerStore::kMaximumFileSize / 20 * 19 - written(0)) / each;
        std::vector<std::vector<int>> tasks;
        for (std::size_t number = 0; number < count; ++number) tasks.push_back(taskOf(number));
        bench::writeDailyTasks(data, kThirty, tasks);
    }

    bench::ShownWindow shown_;
    frm::SourcePlaylistPanel* panel_ = nullptr;
    wxListCtrl* playlists_ = nullptr;
    wxListCtrl* items_ = nullptr;
};

Lists& lists() {
    static Lists* shown = new Lists();
    return *shown;
}

void report(benchmark::State& state, const std::vector<Hold>& holds, const std::vector<Hold>& floors) {
    std::vector<double> cpu, wall, floor;
    for (const Hold& hold : holds) {
        cpu.push_back(hold.cpu);
        wall.push_back(hold.wall);
    }
    for (const Hold& hold : floors) floor.push_back(hold.cpu);
    state.counters["hold_ms"] = bench::median(cpu);
    state.counters["hold_max_ms"] = *std::max_element(cpu.begin(), cpu.end());
    state.counters["hold_wall_ms"] = bench::median(wall);
    state.counters["floor_ms"] = bench::median(floor);
    state.counters["ratio"] = bench::median(cpu) / bench::median(floor);
}

// The same, with the rows of the large playlist.
void reportRows(benchmark::State& state, const std::vector<Hold>& holds, const std::vector<Hold>& floors) {
    report(state, holds, floors);
    Lists& site = lists();
    site.choose(kLarge);
    state.counters["rows"] = static_cast<double>(site.items().GetItemCount());
}

void BM_ShowView(benchmark::State& state) {
    Lists& site = lists();
    const int kind = static_cast<int>(state.range(0));
    const auto view = [&](const wchar_t* playlist) {
        site.open(kind);
        site.choose(playlist);
        bench::press(site.shown().button(L"Устройства"));
        site.shown().settle();
        return site.shown().hold(
            [&] { bench::press(site.shown().button(kind == 0 ? L"Плейлист" : L"Радио")); });
    };
    std::vector<Hold> holds, floors;
    for (auto _ : state) {
        holds.push_back(view(kLarge));
        floors.push_back(view(kThirty));
    }
    reportRows(state, holds, floors);
}

void BM_ChoosePlaylist(benchmark::State& state) {
    Lists& site = lists();
    std::vector<Hold> holds, floors;
    for (auto _ : state) {
        site.open(static_cast<int>(state.range(0)));
        site.choose(kThirty);
        holds.push_back(site.shown().hold([&] { site.click(kLarge); }));
        floors.push_back(site.shown().hold([&] { site.click(kThirty); }));
    }
    reportRows(state, holds, floors);
}

void BM_Scroll(benchmark::State& state) {
    Lists& site = lists();
    std::vector<Hold> holds, floors;
    long row = 0;
    for (auto _ : state) {
        site.open(static_cast<int>(state.range(0)));
        site.choose(kLarge);
        wxListCtrl& items = site.items();
        row = (row + items.GetItemCount() / 3) % items.GetItemCount();
        holds.push_back(site.shown().hold([&] { items.EnsureVisible(row); }));
        site.choose(kThirty);
        floors.push_back(site.shown().hold([&] { items.EnsureVisible(row % items.GetItemCount()); }));
    }
    reportRows(state, holds, floors);
}

void BM_Drag(benchmark::State& state) {
    Lists& site = lists();
    std::vector<Hold> holds, floors;
    const auto drag = [&](const wchar_t* playlist, long from) {
        site.choose(playlist);
        wxListCtrl& items = site.items();
        items.EnsureVisible(from + 3);
        site.shown().settle();
        Lists::mouse(items, wxEVT_LEFT_DOWN, from);
        site.shown().settle();
        const Hold hold = site.shown().hold([&] { Lists::mouse(items, wxEVT_MOTION, from + 3); });
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetEventObject(&items);
        items.GetEventHandler()->ProcessEvent(up);
        return hold;
    };
    long from = 0;
    for (auto _ : state) {
        site.open(static_cast<int>(state.range(0)));
        from = (from + 997) % 20;
        holds.push_back(drag(kLarge, site.items().GetItemCount() / 2 + from));
        floors.push_back(drag(kThirty, from));
    }
    reportRows(state, holds, floors);
}

// Adds the folder to the playlist of 30 of the music list as the operator does; the hold, and the
// wall time until the addition has ended and its items are shown.
std::pair<Hold, double> addFolder(Lists& site, const std::string& folder) {
    frm::SourcePlaylistPanel& panel = site.open(0);
    site.choose(kThirty);
    site.shown().questions().folders = {base::fromUtf8(folder)};
    const auto start = std::chrono::steady_clock::now();
    const Hold hold = site.shown().hold(
        [&] {
            wxCommandEvent command(wxEVT_MENU, frm::fb::SourcePlaylistPanel::idAddDir);
            command.SetEventObject(&panel);
            panel.ProcessWindowEvent(command);
        },
        [&] { return !panel.addingFolder(); });
    return {hold,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count()};
}

// Empties the playlist of 30 and adds the folder of 30 files to it again: the floor's addition.
Hold thirtyAgain(Lists& site) {
    site.open(0);
    site.choose(kThirty);
    wxCommandEvent command(wxEVT_MENU, frm::fb::SourcePlaylistPanel::idClearPlayList);
    command.SetEventObject(&site.panel());
    site.panel().ProcessWindowEvent(command);
    site.shown().settle();
    return addFolder(site, site.floorFolder_).first;
}

void BM_AddFolder(benchmark::State& state) {
    Lists& site = lists();
    const bool refused = state.range(0) == 1;
    std::vector<Hold> holds, floors;
    std::vector<double> took;
    for (auto _ : state) {
        floors.push_back(thirtyAgain(site));
        const auto [hold, wall] = addFolder(site, refused ? site.refusedFolder_ : site.folder_);
        holds.push_back(hold);
        took.push_back(wall);
        const auto rows = static_cast<std::size_t>(site.items().GetItemCount());
        if (rows != (refused ? 30 : 30 + kFolderFiles))
            state.SkipWithError("the folder was not added as expected");
    }
    thirtyAgain(site);
    reportRows(state, holds, floors);
    state.counters["took_ms"] = bench::median(took);
}

// The scheduler's view as its button shows it; the first showing makes its controls.
Hold showScheduler(Lists& site) {
    bench::press(site.shown().button(L"Устройства"));
    site.shown().settle();
    return site.shown().hold([&] { bench::press(site.shown().button(L"Планировщик")); });
}

// The same view over no zones and no tasks, a panel of its own in a frame of its own, shown as the
// main window shows it: the first showing, and the next.
std::pair<Hold, Hold> emptySchedulerShown(Lists& site) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, L"floor", wxPoint(0, 0), wxSize(1500, 880));
    auto* panel = new frm::SourceSchedulerPanel(frame, frm::ZoneElement::makeRoot(),
                                                site.shown().frame().getRegistry());
    frame->Show();
    site.shown().settle();
    const auto show = [&] {
        panel->buildControls();
        panel->setSettingsUnlocked(false);
        panel->selectTask(false);
        panel->fillPlaceChoice({});
        panel->reload();
    };
    const Hold first = site.shown().hold(show);
    site.shown().settle();
    const Hold again = site.shown().hold(show);
    panel->shutdown();
    frame->Destroy();
    site.shown().settle();
    return {first, again};
}

void BM_ShowScheduler(benchmark::State& state) {
    Lists& site = lists();
    const Hold first = showScheduler(site);
    const auto [floorFirst, floorAgain] = emptySchedulerShown(site);
    std::vector<Hold> holds;
    for (auto _ : state) holds.push_back(showScheduler(site));
    report(state, holds, {floorAgain});
    state.counters["first_ms"] = first.cpu;
    state.counters["floor_first_ms"] = floorFirst.cpu;
    const auto* scheduler =
        findControl<frm::SourceSchedulerPanel>(&site.shown().frame(), [](auto&) { return true; });
    state.counters["tasks"] = static_cast<double>(
        findControl<wxListCtrl>(const_cast<frm::SourceSchedulerPanel*>(scheduler), [](wxListCtrl& list) {
            return wxString(list.GetName()) == "tasks";
        })->GetItemCount());
}

// The message view of the button as it is shown from the device view.
Hold showMessages(Lists& site, const wchar_t* button) {
    bench::press(site.shown().button(L"Устройства"));
    site.shown().settle();
    return site.shown().hold([&] { bench::press(site.shown().button(button)); });
}

// The same view without messages, a panel of its own in a frame of its own, shown as the main
// window shows it: the first showing, and the next.
std::pair<Hold, Hold> emptyMessagesShown(Lists& site, bool alarm) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, L"floor", wxPoint(0, 0), wxSize(1500, 880));
    auto* panel = new frm::SourceServicePanel(frame, nullptr, alarm);
    frame->Show();
    site.shown().settle();
    const auto show = [&] {
        panel->buildControls();
        panel->reload();
    };
    const Hold first = site.shown().hold(show);
    site.shown().settle();
    const Hold again = site.shown().hold(show);
    frame->Destroy();
    site.shown().settle();
    return {first, again};
}

void BM_ShowMessages(benchmark::State& state) {
    Lists& site = lists();
    const bool alarm = state.range(0) == 1;
    const wchar_t* const button = alarm ? L"Тревожные сообщения" : L"Служебные сообщения";
    const Hold first = showMessages(site, button);
    const auto [floorFirst, floorAgain] = emptyMessagesShown(site, alarm);
    std::vector<Hold> holds;
    for (auto _ : state) holds.push_back(showMessages(site, button));
    report(state, holds, {floorAgain});
    state.counters["first_ms"] = first.cpu;
    state.counters["floor_first_ms"] = floorFirst.cpu;
    auto* tree = findControl<wxTreeCtrl>(&site.shown().frame(),
                                         [](wxTreeCtrl& each) { return each.IsShownOnScreen(); });
    state.counters["messages"] = tree ? static_cast<double>(tree->GetCount()) : 0;
}

// Every item of the playlist chosen in the music list selected and deleted (Ctrl+A and Delete in
// the item list, the question answered yes), until the list shows none.
Hold deleteAll(Lists& site, const wchar_t* playlist) {
    site.open(0);
    site.choose(playlist);
    wxListCtrl& items = site.items();
    wxKeyEvent selectAll(wxEVT_KEY_UP);
    selectAll.m_keyCode = 'A';
    selectAll.m_controlDown = true;
    selectAll.SetEventObject(&items);
    items.GetEventHandler()->ProcessEvent(selectAll);
    site.shown().settle();
    site.shown().questions().yes = true;
    return site.shown().hold([&] {
        wxKeyEvent remove(wxEVT_KEY_UP);
        remove.m_keyCode = WXK_DELETE;
        remove.SetEventObject(&items);
        items.GetEventHandler()->ProcessEvent(remove);
    });
}

void BM_DeleteAll(benchmark::State& state) {
    Lists& site = lists();
    std::vector<Hold> holds, floors;
    for (auto _ : state) {
        site.open(0);
        site.choose(kLarge);
        const auto rows = static_cast<double>(site.items().GetItemCount());
        floors.push_back(deleteAll(site, kThirty));
        holds.push_back(deleteAll(site, kLarge));
        if (site.items().GetItemCount() != 0) state.SkipWithError("the items were not deleted");
        state.counters["rows"] = rows;
    }
    report(state, holds, floors);
}

}  // namespace

BENCHMARK(BM_ShowMessages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShowScheduler)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShowView)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ChoosePlaylist)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Scroll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Drag)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AddFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
// Last: it empties the music list's playlists.
BENCHMARK(BM_DeleteAll)->Unit(benchmark::kMillisecond)->Iterations(1);

// The window is closed as the operator closes it once the figures are taken.
int main(int argc, char** argv) {
    // The program's own flag, taken out before the benchmark library reads the others.
    for (int arg = 1; arg < argc; ++arg) {
        if (std::string(argv[arg]) != "--tasks=shortest") continue;
        g_taskLoudspeakers = 1;
        std::copy(argv + arg + 1, argv + argc, argv + arg);
        --argc;
        break;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    lists().shown().close();
    return 0;
}
