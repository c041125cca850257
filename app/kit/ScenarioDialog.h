#pragma once
// The dialog that composes a scenario of an audio memory (its name, gong fragment, message
// fragment and repeat period) and adds it to the memory itself; it ends with OK once the memory
// took it and stays open, with the refusal shown, while the memory refuses it.

#include <wx/dialog.h>

#include <memory>

class wxChoice;
class wxSpinCtrl;
class wxTextCtrl;

namespace device::memory {
class IAudioControl;
}

namespace frm {

class ScenarioDialog : public wxDialog {
public:
    ScenarioDialog(wxWindow* parent, std::shared_ptr<device::memory::IAudioControl> memory);

private:
    void saveOnButtonClick(wxCommandEvent& event);

    std::shared_ptr<device::memory::IAudioControl> memory_;
    wxTextCtrl* name_;
    wxChoice* gong_;
    wxChoice* fragment_;
    wxSpinCtrl* period_;
};

}  // namespace frm
