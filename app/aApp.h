#pragma once
// The application object: the program's start-up in its order, the main loop's exception
// handling and the exit.

#include <wx/intl.h>
#include <wx/weakref.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/GuardedApp.h"
#include "app/Options.h"
#include "app/kit/Dialogs.h"

namespace device {
class TransferProtocol;
}
namespace frm {
class MainFrame;
}

namespace app {
class SingleInstance;
class StopChannel;
}  // namespace app

class aApp : public app::GuardedApp {
public:
    aApp();
    ~aApp() override;

    // Whether the start ended early because a stop was asked for (a stop signal or --quit).
    static bool startEndedByStop();

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

protected:
    // An internal fault reached the main loop: the program stops as a stop request stops it, with
    // its files written, and exits with status 1.
    void endProgram() override;

private:
    // The start-up steps; false ends the program.
    bool initialise();
    // The network interface of the settings, or the operator's choice when it is gone.
    bool chooseNetworkInterface(std::string& interfaceIp);
    // Whether the start goes on when a stream already plays on the common group: the operator's.
    bool acceptStreamAlreadyPlaying(bool playing, const std::string& group);
    // Undoes what the start-up did, in the exit order.
    void tearDown();
    // A start that failed before its window came up tells why on the standard error and in a box:
    // the messages held for the window, else `failure`.
    void tellWhyTheStartEnded(const std::wstring& failure);
    // On the GUI thread: a second start asked this copy to stop.
    void onStopRequest();

    app::Options options_;
    wxLocale locale_;
    frm::Dialogs dialogs_;
    std::unique_ptr<app::SingleInstance> instance_;
    std::unique_ptr<app::StopChannel> stopChannel_;
    std::shared_ptr<device::TransferProtocol> transport_;
    wxWeakRef<frm::MainFrame> frame_;
    std::atomic<bool> stopRequested_{false};
    bool endedByFault_ = false;
    // Whether the settings and the state files were written as the program stopped.
    bool stateWritten_ = true;
    bool logger_ = false;
    bool dispatcher_ = false;
    bool audio_ = false;
    bool awake_ = false;
};
