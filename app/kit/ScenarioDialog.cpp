#include "app/kit/ScenarioDialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdint>

#include "foundation/Place.h"

namespace frm {
namespace {

void* itemData(std::int16_t id) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(id));
}

std::int16_t selectedId(const wxChoice* choice) {
    const int item = choice->GetSelection();
    if (item == wxNOT_FOUND) return -1;
    return static_cast<std::int16_t>(reinterpret_cast<std::intptr_t>(choice->GetClientData(item)));
}

}  // namespace

ScenarioDialog::ScenarioDialog(wxWindow* parent, const std::vector<device::memory::FragmentEntry>& fragments,
                               Submit submit)
    : wxDialog(parent, wxID_ANY, L"Добавить сообщение", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      submit_(std::move(submit)),
      self_(std::make_shared<ScenarioDialog*>(this)) {
    auto* fields = new wxFlexGridSizer(2, wxSize(5, 5));
    fields->AddGrowableCol(1);
    const auto label = [&](const wchar_t* text) {
        fields->Add(new wxStaticText(this, wxID_ANY, text), 0, wxALIGN_CENTER_VERTICAL);
    };
    label(L"Название:");
    name_ = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(250, -1), 0,
                           wxDefaultValidator, L"scenarioName");
    fields->Add(name_, 1, wxEXPAND);
    label(L"Гонг:");
    gong_ = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0, wxDefaultValidator,
                         L"scenarioGong");
    fields->Add(gong_, 1, wxEXPAND);
    label(L"Фрагмент:");
    fragment_ = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0,
                             wxDefaultValidator, L"scenarioFragment");
    fields->Add(fragment_, 1, wxEXPAND);
    label(L"Повторять каждые, сек");
    period_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                             0, UINT16_MAX, 0, L"scenarioPeriod");
    fields->Add(period_, 0);

    for (const device::memory::FragmentEntry& fragment : fragments) {
        const wxString text = wxString::Format(L"%u - %ls", unsigned(fragment.order), fragment.name.c_str());
        gong_->Append(text, itemData(fragment.id));
        fragment_->Append(text, itemData(fragment.id));
    }
    if (!gong_->IsEmpty()) {
        gong_->SetSelection(0);
        fragment_->SetSelection(0);
    }

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    save_ = new wxButton(this, wxID_ANY, L"&Сохранить");
    buttons->Add(save_, 0, wxALL, 5);
    buttons->Add(new wxButton(this, wxID_CANCEL, L"О&тмена"), 0, wxALL, 5);
    save_->Bind(wxEVT_BUTTON, &ScenarioDialog::saveOnButtonClick, this);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(fields, 1, wxEXPAND | wxALL, 10);
    sizer->Add(buttons, 0, wxALIGN_RIGHT | wxRIGHT | wxBOTTOM, 5);
    SetSizerAndFit(sizer);
}

void ScenarioDialog::saveOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::ScenarioDialog::saveOnButtonClick").trace(L"");
    // One scenario at a time: the button waits for the memory's answer.
    save_->Disable();
    const std::weak_ptr<ScenarioDialog*> self = self_;
    submit_(Scenario{selectedId(gong_), selectedId(fragment_), static_cast<std::uint16_t>(period_->GetValue()),
                     name_->GetValue().ToStdWstring()},
            [self](const std::optional<std::wstring>& refusal) {
                if (const auto dialog = self.lock()) (*dialog)->answered(refusal);
            });
}

void ScenarioDialog::answered(const std::optional<std::wstring>& refusal) {
    if (!refusal) {
        if (IsModal()) EndModal(wxID_OK);
        return;
    }
    // The operator corrects the entry in the dialog that is still open.
    debug::Place("frm::ScenarioDialog::saveOnButtonClick").warn(L"%1%", *refusal);
    save_->Enable();
}

}  // namespace frm
