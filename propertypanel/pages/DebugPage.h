#pragma once
// The debug messages page ("Отладочные сообщения"): polling the device's diagnostic text every
// chosen period, its numbered and colour-marked history per target (the main board or the line
// control), the painted plain block, copy and clear, the device's volume slider, and the error
// lines the device sends of its own accord, collected whichever page is shown.

#include <wx/event.h>

#include <atomic>
#include <memory>
#include <string>

#include "propertypanel/ConsoleLog.h"
#include "propertypanel/DebugMessages.h"
#include "propertypanel/pages/PropertyPage.h"

class wxTextCtrl;

namespace device {
class TransferProtocol;
}

namespace frm {

class DebugPage : public PropertyPage {
public:
    // The target that marks the end of the polling.
    static constexpr int kStoppedTarget = 2;

    explicit DebugPage(PropertyDevicePanel& panel);

    void fill() override;
    void leave() override;
    void deviceChanged() override;

    // Sends the error lines of the shown device to the error log.
    void listen();

    void debugTargetOnToggleButton(wxCommandEvent& event);
    void debugMessagesOnCheckBox(wxCommandEvent& event);
    void refreshTimeOnChoice(wxCommandEvent& event);
    void copyOnButtonClick(wxCommandEvent& event);
    void clearOnButtonClick(wxCommandEvent& event);
    void setVolumeOnScrollChanged(wxScrollEvent& event);
    void chartOnCheckBox(wxCommandEvent& event);
    void paintTextOnPanel(wxPaintEvent& event);

private:
    // What a polling cycle reads on the dispatcher; it touches no control and nothing of the page
    // but this.
    struct Polling {
        std::shared_ptr<device::TransferProtocol> transfer;
        std::atomic<bool> requested{false};
        std::atomic<bool> once{false};
        std::atomic<unsigned> period{0};
        std::atomic<int> target{0};
    };

    void start();
    void startRequestingDebugMessages();
    void stopRequestingDebugMessages();
    // One polling cycle, on the dispatcher: `page` is only handed to the answer's GUI work.
    static void requestDebugMessage(DebugPage* page, const std::shared_ptr<Polling>& polling,
                                    const PageTicket& ticket, const DevicePtr& device);
    void handleDebugMessage(const std::string& reply, bool ok, int target);
    void showDebugText(const std::wstring& text);
    wxTextCtrl* debugHistory(int target) const;
    void toConsoleLog(const std::string& line);
    void fillConsoleLog();
    // Shows the device's volume on the slider once read, unless the operator moved it meanwhile.
    void initVolumeSlider();

    // The polling period, milliseconds.
    unsigned refreshPeriod_;
    // The polled target: 0 the main board, 1 the line control.
    int target_ = 0;
    // The slider shows the volume read from the device shown: it takes moves.
    bool volumeRead_ = false;
    std::shared_ptr<Polling> polling_ = std::make_shared<Polling>();
    debugpage::DebugMessages messages_;
    std::wstring text_;
    ConsoleLog consoleLines_;
    // Lives as long as the page, for what reaches it from the transport.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace frm
