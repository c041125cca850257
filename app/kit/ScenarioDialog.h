#pragma once
// The dialog that composes a scenario of an audio memory (its name, gong fragment, message
// fragment and repeat period) and hands it to the page, which adds it to the memory off the
// window; it ends with OK once the memory took it and stays open, with the refusal logged, while
// the memory refuses it.

#include <wx/dialog.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devicelink/IAudioControl.h"

class wxButton;
class wxChoice;
class wxSpinCtrl;
class wxTextCtrl;

namespace frm {

class ScenarioDialog : public wxDialog {
public:
    struct Scenario {
        std::int16_t gongId = -1;
        std::int16_t fragmentId = -1;
        std::uint16_t repeatPeriod = 0;
        std::wstring name;
    };
    // Called on the window's thread with the memory's refusal, none when it took the scenario.
    using Answer = std::function<void(const std::optional<std::wstring>& refusal)>;
    // Adds the scenario to the memory and answers on the window's thread, the dialog open or not.
    using Submit = std::function<void(const Scenario& scenario, Answer answer)>;

    ScenarioDialog(wxWindow* parent, const std::vector<device::memory::FragmentEntry>& fragments, Submit submit);

private:
    void saveOnButtonClick(wxCommandEvent& event);
    void answered(const std::optional<std::wstring>& refusal);

    Submit submit_;
    // Gone with the dialog: an answer that comes after it ended finds nothing to end. Copies of
    // the answer are let go on the dispatcher too, which a toolkit weak reference would not take.
    std::shared_ptr<ScenarioDialog*> self_;
    wxTextCtrl* name_;
    wxChoice* gong_;
    wxChoice* fragment_;
    wxSpinCtrl* period_;
    wxButton* save_;
};

}  // namespace frm
