#pragma once
// What the window tests share: the main window built as the program builds it, on a transport
// at 127.0.0.1 and a free port, with the common stream on a multicast group of the test's own
// and the shipped plug-ins, the settings in a temporary data folder, scripted answers to its
// questions, the message boxes recorded, emulated loudspeakers sending it their status packets,
// real clicks on its controls and screenshots of it. The test's thread is the window's.

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/treectrl.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/MainFrame.h"
#include "audio/Playlist.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/LogCalls.h"
#include "foundation/Settings.h"
#include "foundation/ThreadDispatcher.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "support/DataRoot.h"
#include "support/LogCapture.h"
#include "support/LoudspeakerGroup.h"
#include "support/ScriptedQuestions.h"
#include "support/StreamReceiver.h"
#include "support/XServer.h"

namespace test {

// The X server of the window toolkit.
XServer& toolkitScreen();

// The first control of the type in the window or below it, depth first.
template <class Control>
Control* findControl(wxWindow* window) {
    if (auto* control = dynamic_cast<Control*>(window)) return control;
    for (wxWindow* child : window->GetChildren()) {
        if (auto* control = findControl<Control>(child)) return control;
    }
    return nullptr;
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    using Playlists = std::vector<std::pair<std::wstring, std::vector<Playlist::Item>>>;
    // Writes a list of playlists file as the program keeps it, before the window is opened.
    void writeList(const wchar_t* file, const Playlists& playlists);

    // Builds and starts the main window (and a dispatcher, a transport and the player for it).
    void openWindow(bool debug = false);
    // Closes it as the operator does and waits until it is gone.
    void closeWindow();

    // Runs the toolkit's events until the condition holds; false after the deadline. What a test
    // asserts after an action is waited for with it, unless the action's own handlers did it.
    bool pumpUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // The same in an event loop of its own rather than in yields: a modal dialog that an event
    // opens meanwhile runs as it does in the program, so that a test can act from within it.
    bool runLoopUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // Runs the toolkit until it has handled every event queued for it so far: the input the X
    // server made for the program (a click's press and release, a key), what other threads
    // queued for the window, and the events that their handling queued. False when it never got
    // there.
    bool handleEvents();
    // Real clicks on the middle of the area. They return once the toolkit has handled them, so
    // what their handlers did is done; what the handlers set off for later is the caller's to
    // wait for.
    void click(wxWindow* window, const wxRect& area);
    void doubleClick(wxWindow* window, const wxRect& area);
    void clickButton(const wxString& label);
    // Presses the dialog's button (found by its label without the mnemonic) as a click does; it
    // need not be on screen, so it works from within the dialog's modal loop.
    static void pressButton(wxWindow* dialog, const wxString& label);
    // Whether the data folder's file comes to hold the text while the window runs on: what the
    // operator did is on disk without a stop.
    bool onDisk(const std::string& file, const std::string& text);
    wxListCtrl* deviceList();
    wxTreeCtrl* zoneTree();
    frm::PropertyDevicePanel* propertyPanel();
    // The tree item with this text, searched from the root.
    wxTreeItemId treeItem(const wxString& text);
    std::wstring deviceState(long row);
    bool messageShown(const std::wstring& text);
    // The texts of the message boxes shown so far, in their order.
    std::vector<std::wstring> messages();
    // Saves the program's window in front (the main window, or a dialog from inside its modal
    // loop) as "<build>/screenshots/<name>.png", once what is queued is handled and the shown
    // windows are drawn anew; false when it could not.
    bool screenshot(const std::string& name);
    // Whether the last second of a stream comes to carry `hertz` (within 2 %).
    bool hears(StreamReceiver& receiver, double hertz);
    // Whether the common stream comes to send only the keep-alive of an idle stream.
    bool hearsSilence(StreamReceiver& receiver);

    // The test's own hand on a device: a device exchange that waits on the window's thread ends
    // the sanitizer build's test program (and logs an ERROR in every build), so `work` runs on a
    // thread of its own while the window goes on taking its events. What it returned, or threw.
    template <class Work>
    auto offWindow(Work work) -> decltype(work()) {
        std::packaged_task<decltype(work())()> task(std::move(work));
        auto result = task.get_future();
        std::thread worker(std::move(task));
        pumpUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                  std::chrono::seconds(60));
        worker.join();
        return result.get();
    }

    LogCapture capture_;
    DataRoot root_;
    ScriptedQuestions questions_;
    const std::uint16_t port_ = freeUdpPort();
    const std::string group_ = privateMulticastGroup();
    std::shared_ptr<device::TransferProtocol> transport_;
    wxWeakRef<frm::MainFrame> frame_;
    LoudspeakerGroup loudspeakers_{port_};

private:
    void mouseClick(wxWindow* window, const wxRect& area, bool twice);

    std::mutex lock_;
    std::vector<std::wstring> messages_;
};

}  // namespace test
