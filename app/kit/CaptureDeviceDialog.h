#pragma once
// The modal dialog "Выбор устройства захвата" in which the operator chooses a sound-capture
// device by name among the capture sources present now.

#include <string>

#include "layouts/CaptureDeviceDialog.h"

namespace frm {

class CaptureDeviceDialog : public fb::CaptureDeviceDialog {
public:
    explicit CaptureDeviceDialog(wxWindow* parent);
    CaptureDeviceDialog(const CaptureDeviceDialog&) = delete;
    CaptureDeviceDialog& operator=(const CaptureDeviceDialog&) = delete;

    // The chosen device's name; empty when none is chosen.
    std::wstring getDeviceName() const;

protected:
    void okOnButtonClick(wxCommandEvent& event) override;
};

}  // namespace frm
