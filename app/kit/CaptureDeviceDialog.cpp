#include "app/kit/CaptureDeviceDialog.h"

#include "audio/PulseCapture.h"
#include "foundation/Place.h"

namespace frm {

CaptureDeviceDialog::CaptureDeviceDialog(wxWindow* parent) : fb::CaptureDeviceDialog(parent) {
    // The names the player looks the device up by when it plays "adev://<name>".
    for (const std::wstring& name : audio::captureSources()) m_devices->Append(name);
}

std::wstring CaptureDeviceDialog::getDeviceName() const {
    const int chosen = m_devices->GetSelection();
    return chosen == wxNOT_FOUND ? std::wstring() : m_devices->GetString(chosen).ToStdWstring();
}

void CaptureDeviceDialog::okOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::CaptureDeviceDialog::okOnButtonClick");
    place.trace(L"");
    if (getDeviceName().empty()) {
        place.notice(L"Необходимо выбрать устройство для захвата аудиосигнала");
        return;
    }
    EndModal(wxID_OK);
}

}  // namespace frm
