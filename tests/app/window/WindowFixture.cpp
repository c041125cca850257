#include "tests/app/window/WindowFixture.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <thread>

#include "audio/AudioStartup.h"
#include "audio/ListOfPlaylist.h"
#include "foundation/NetworkProbes.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadRole.h"

namespace test {
namespace {

wxTreeItemId findItem(wxTreeCtrl* tree, const wxTreeItemId& from, const wxString& text) {
    if (tree->GetItemText(from) == text) return from;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(from, cookie); child.IsOk();
         child = tree->GetNextChild(from, cookie)) {
        const wxTreeItemId found = findItem(tree, child, text);
        if (found.IsOk()) return found;
    }
    return wxTreeItemId();
}

}  // namespace

void WindowFixture::SetUp() {
    os::setThreadRole(os::ThreadRole::window);
    os::setStrictThreadRoles(true);
    ASSERT_TRUE(pref::instanceSlot().install(pref_init(pref::defaultPath())));
    keepLibvlcLoaded();
    pref::setString(setting::netInterfaceIp.key, "127.0.0.1");
    pref::setInt(setting::securityInterfaceTimeout.key, 0);
    loudspeakers_.hold(true);
    // A text an earlier test showed is no repeat here (that test may have moved the clock on, too).
    debug::resetRecentMessages();
    debug::setMessagePresenter([this](const std::wstring&, const std::wstring& text, debug::MessageIcon) {
        std::lock_guard<std::mutex> guard(lock_);
        messages_.push_back(text);
    });
}

void WindowFixture::TearDown() {
    if (frame_) closeWindow();
    debug::setMessagePresenter(nullptr);
    delete pref::instanceSlot().release();
    os::setStrictThreadRoles(false);
}

void WindowFixture::writeList(const wchar_t* file, const Playlists& playlists) {
    ListOfPlaylist list(file);
    for (const auto& [name, items] : playlists) {
        auto playlist = std::make_shared<Playlist>(name, true);
        playlist->add(items);
        list.add(playlist);
    }
    std::filesystem::create_directories(root_.dataFolder());
    storage::save(base::fromUtf8(root_.dataFolder() + "/") + file, list.toTree());
}

void WindowFixture::openWindow(bool debug) {
    pref::setString(setting::multicastAddress.key, group_);
    pref::setInt(setting::multicastBasePort.key, port_);
    base::ThreadDispatcher::create();
    transport_ = std::make_shared<device::TransferProtocol>(port_, "127.0.0.1");
    frame_ = new frm::MainFrame(transport_, port_, "127.0.0.1", questions_, debug);
    audio::startUp(L"" MELVOX_PLUGIN_DIR, frame_->getRegistry());
    // The discovery datagrams stay on this machine: no factory address or broadcast off loopback.
    os::DiscoveryTargets loopbackOnly;
    loopbackOnly.factoryAddress = "127.0.0.254";
    loopbackOnly.limitedBroadcast = "127.255.255.255";
    frame_->getDeviceCollection().setDiscoveryTargets(loopbackOnly);
    frame_->getDeviceCollection().setWatchTiming(
        {std::chrono::milliseconds(100), std::chrono::milliseconds(100)});
    frame_->Startup();
    frame_->SetPosition(wxPoint(0, 0));
    frame_->Show();
    // The window listens now: it learns of the devices in their order.
    loudspeakers_.hold(false);
    ASSERT_TRUE(pumpUntil([&] { return frame_->IsShownOnScreen(); }));
}

void WindowFixture::closeWindow() {
    loudspeakers_.hold(true);
    frame_->Close(true);
    ASSERT_TRUE(pumpUntil([&] { return !frame_; }));
    audio::shutDown();
    transport_.reset();
    base::ThreadDispatcher::destroy();
}

bool WindowFixture::onDisk(const std::string& file, const std::string& text) {
    return pumpUntil(
        [&] { return readWholeFile(root_.dataFolder() + "/" + file).find(text) != std::string::npos; });
}

bool WindowFixture::pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool WindowFixture::runLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    wxGUIEventLoop loop;
    bool held = false;
    wxTimer look;
    look.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        // Only this loop can end itself: a dialog's loop that runs inside it ends first.
        if (wxEventLoopBase::GetActive() != &loop) return;
        held = condition();
        if (held || std::chrono::steady_clock::now() > end) loop.Exit();
    });
    look.Start(10);
    loop.Run();
    return held;
}

void WindowFixture::click(wxWindow* window, const wxRect& area) {
    mouseClick(window, area, false);
}

void WindowFixture::doubleClick(wxWindow* window, const wxRect& area) {
    mouseClick(window, area, true);
}

bool WindowFixture::handleEvents() {
    // Within a yield the toolkit takes no events.
    const wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    if (loop != nullptr && loop->IsYielding()) return false;
    void* const connection = wxGetDisplayInfo().dpy;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        // Every event the server made so far is on the connection now; the toolkit takes them all.
        eventsQueuedAfterSync(connection);
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        if (eventsQueuedAfterSync(connection) == 0 && !wxTheApp->HasPendingEvents()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void WindowFixture::mouseClick(wxWindow* window, const wxRect& area, bool twice) {
    wxUIActionSimulator simulator;
    const wxPoint centre =
        window->ClientToScreen(area.GetPosition() + wxPoint(area.width / 2, area.height / 2));
    simulator.MouseMove(centre);
    // The control knows the pointer is over it before the button goes down, as it is for the
    // operator.
    ASSERT_TRUE(handleEvents()) << "the pointer's move was never handled";
    if (twice) {
        simulator.MouseDblClick();
    } else {
        simulator.MouseClick();
    }
    ASSERT_TRUE(handleEvents()) << "the click was never handled";
}

void WindowFixture::clickButton(const wxString& label) {
    wxWindow* button = wxWindow::FindWindowByLabel(label, frame_);
    ASSERT_NE(button, nullptr) << label;
    click(button, wxRect(button->GetClientSize()));
}

void WindowFixture::pressButton(wxWindow* dialog, const wxString& label) {
    for (wxWindow* child : dialog->GetChildren()) {
        auto* button = dynamic_cast<wxButton*>(child);
        if (button == nullptr || button->GetLabelText() != label) continue;
        wxCommandEvent click(wxEVT_BUTTON, button->GetId());
        click.SetEventObject(button);
        button->ProcessWindowEvent(click);
        return;
    }
    ADD_FAILURE() << "no button " << label;
}

bool WindowFixture::screenshot(const std::string& name) {
    if (!handleEvents()) return false;
    // Every shown window is drawn anew, laid out as it is now: the picture shows what the test saw.
    std::vector<wxWeakRef<wxWindow>> windows;
    for (wxWindow* window : wxTopLevelWindows) {
        if (window->IsShownOnScreen()) windows.emplace_back(window);
    }
    std::set<wxWindow*> drawn;
    const auto paint = [&drawn](wxPaintEvent& event) {
        drawn.insert(static_cast<wxWindow*>(event.GetEventObject()));
        event.Skip();
    };
    for (const wxWeakRef<wxWindow>& window : windows) {
        window->Bind(wxEVT_PAINT, paint);
        window->Refresh();
    }
    // A window that went meanwhile is not waited for.
    const bool painted = pumpUntil([&] {
        return std::all_of(windows.begin(), windows.end(), [&](const wxWeakRef<wxWindow>& window) {
            return !window || drawn.count(window.get());
        });
    });
    for (const wxWeakRef<wxWindow>& window : windows) {
        if (window) window->Unbind(wxEVT_PAINT, paint);
    }
    // The drawing has reached the server before the picture is taken from it.
    if (!painted || !handleEvents()) return false;
    return toolkitScreen().screenshot(toolkitScreen().findWindow(::getpid()), screenshotPath(name));
}

bool WindowFixture::hears(StreamReceiver& receiver, double hertz) {
    receiver.clear();
    std::size_t checked = 0;
    double last = 0;
    const bool heard = pumpUntil(
        [&] {
            const std::size_t count = receiver.count();
            if (count < checked + 16) return false;
            checked = count;
            auto audio = decodeMpegAudio(readTransportStream(receiver.payloads()).audio);
            const std::size_t second = static_cast<std::size_t>(audio.rate);
            if (second == 0 || audio.samples.size() < second) return false;
            audio.samples.erase(audio.samples.begin(), audio.samples.end() - second);
            last = strongestFrequency(audio.samples, audio.rate);
            return std::abs(last - hertz) <= hertz * 0.02;
        },
        std::chrono::seconds(30));
    if (!heard) ADD_FAILURE() << "heard " << last << " Hz, not " << hertz;
    return heard;
}

bool WindowFixture::hearsSilence(StreamReceiver& receiver) {
    receiver.clear();
    return pumpUntil([&] {
        std::size_t keepAlives = 0;
        for (const std::string& payload : receiver.payloads()) {
            if (isKeepAlive(payload)) {
                ++keepAlives;
            } else if (keepAlives > 0) {
                keepAlives = 0;  // audio after a keep-alive: not idle yet
            }
        }
        return keepAlives >= 2;
    });
}

wxListCtrl* WindowFixture::deviceList() {
    return findControl<wxListCtrl>(frame_);
}

wxTreeCtrl* WindowFixture::zoneTree() {
    return findControl<wxTreeCtrl>(frame_);
}

frm::PropertyDevicePanel* WindowFixture::propertyPanel() {
    return findControl<frm::PropertyDevicePanel>(frame_);
}

wxTreeItemId WindowFixture::treeItem(const wxString& text) {
    return findItem(zoneTree(), zoneTree()->GetRootItem(), text);
}

std::wstring WindowFixture::deviceState(long row) {
    wxListCtrl* list = deviceList();
    if (row >= list->GetItemCount()) return L"";
    return list->GetItemText(row, frm::DeviceListModel::state).ToStdWstring();
}

bool WindowFixture::messageShown(const std::wstring& text) {
    return pumpUntil([&] {
        std::lock_guard<std::mutex> guard(lock_);
        for (const std::wstring& message : messages_) {
            if (message.find(text) != std::wstring::npos) return true;
        }
        return false;
    });
}

std::vector<std::wstring> WindowFixture::messages() {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
}

}  // namespace test
