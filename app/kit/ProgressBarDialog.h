#pragma once
// A modal dialog with one gauge line per device that reports its progress; it ends by itself
// once every device has ended, with OK when the last report was a success. Reports come from any
// thread through a reporter, bound to the dialog by a token that dies when the dialog ends: a
// device may keep the reporter for later images, and what it reports afterwards is dropped on the
// GUI thread. The operator may stop waiting ("Закрыть"); the devices that had not ended then
// count as failed.

#include <wx/dialog.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/kit/ProgressModel.h"

class wxFlexGridSizer;
class wxGauge;
class wxStaticText;

namespace device {
class DeviceBase;
}

namespace frm {

class ProgressBarDialog : public wxDialog {
public:
    using DevicePtr = std::shared_ptr<device::DeviceBase>;
    using Reporter = std::function<void(const DevicePtr& device, int value)>;

    ProgressBarDialog(wxWindow* parent, const wxString& title);
    ~ProgressBarDialog() override;

    // Adds the line of a device that will report; GUI thread.
    void expect(const DevicePtr& device);
    // Queues the report for the GUI thread; any thread. value: 0 to 99 progress, 100 done, -1 an
    // exchange error.
    void postProgress(const DevicePtr& device, int value);
    // The same, callable after the dialog is gone.
    Reporter reporter();

    // Returns at once when every device has ended before the dialog was shown.
    int ShowModal() override;

    // The devices that reported an exchange error or never ended, in that order.
    std::vector<DevicePtr> failedDevices() const;

private:
    struct Token;

    void onReport(const DevicePtr& device, int value);
    // The device's line, added when it is new.
    std::size_t lineOf(const DevicePtr& device, std::size_t index);
    void finish();

    std::shared_ptr<Token> token_;
    ProgressModel model_;
    std::vector<DevicePtr> devices_;
    std::vector<wxGauge*> gauges_;
    std::vector<wxStaticText*> states_;
    wxFlexGridSizer* lines_;
    int result_ = 0;
};

}  // namespace frm
