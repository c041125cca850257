#include "app/kit/CmdSuiteDialog.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "app/kit/CommandSuites.h"
#include "app/kit/Questions.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace frm {

CmdSuiteDialog::CmdSuiteDialog(wxWindow* parent, Questions& questions, std::function<Commands()> getList,
                               std::function<void(const Commands&)> fillList, std::function<void()> clearList)
    : wxDialog(parent, wxID_ANY, L"Наборы команд", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      questions_(questions),
      getList_(std::move(getList)),
      fillList_(std::move(fillList)),
      clearList_(std::move(clearList)),
      folder_(suites::folder()) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    suites_ = new wxListBox(this, wxID_ANY, wxDefaultPosition, wxSize(300, 200), 0, nullptr, wxLB_SINGLE,
                            wxDefaultValidator, L"suites");
    sizer->Add(suites_, 1, wxEXPAND | wxALL, 5);
    auto* nameRow = new wxBoxSizer(wxHORIZONTAL);
    nameRow->Add(new wxStaticText(this, wxID_ANY, L"Название набора:"), 0, wxALIGN_CENTER_VERTICAL | wxALL,
                 5);
    name_ = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                           wxDefaultValidator, L"suiteName");
    nameRow->Add(name_, 1, wxALL, 5);
    sizer->Add(nameRow, 0, wxEXPAND);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    const auto button = [&](const wchar_t* label, void (CmdSuiteDialog::*handler)(wxCommandEvent&)) {
        auto* made = new wxButton(this, wxID_ANY, label);
        made->Bind(wxEVT_BUTTON, handler, this);
        buttons->Add(made, 0, wxALL, 5);
    };
    button(L"Сохранить", &CmdSuiteDialog::saveOnButtonClick);
    button(L"Загрузить", &CmdSuiteDialog::loadOnButtonClick);
    button(L"Удалить", &CmdSuiteDialog::deleteOnButtonClick);
    buttons->Add(new wxButton(this, wxID_CANCEL, L"Закрыть"), 0, wxALL, 5);
    sizer->Add(buttons, 0, wxALIGN_RIGHT);
    SetSizerAndFit(sizer);
    suites_->Bind(wxEVT_LISTBOX,
                  [this](wxCommandEvent&) { name_->ChangeValue(suites_->GetStringSelection()); });
    showSuites();
}

void CmdSuiteDialog::showSuites() {
    suites_->Clear();
    for (const std::wstring& name : suites::names(folder_)) suites_->Append(name);
}

std::wstring CmdSuiteDialog::chosenName() const {
    const std::wstring typed = name_->GetValue().ToStdWstring();
    return typed.empty() ? suites_->GetStringSelection().ToStdWstring() : typed;
}

void CmdSuiteDialog::saveOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::CmdSuiteDialog::saveOnButtonClick");
    place.trace(L"");
    const std::wstring name = chosenName();
    if (!suites::validName(name)) {
        place.warn(L"Некорректное название набора");
        return;
    }
    const std::vector<std::wstring> existing = suites::names(folder_);
    if (std::find(existing.begin(), existing.end(), name) != existing.end() &&
        !questions_.askYesNo(L"Наборы команд", L"Набор '" + name + L"' уже существует. Заменить?"))
        return;
    try {
        suites::save(folder_, name, getList_());
    } catch (const exception::ExternalError& failure) {
        place.warn(L"%1%", failure.message);
    }
    showSuites();
}

void CmdSuiteDialog::loadOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::CmdSuiteDialog::loadOnButtonClick");
    place.trace(L"");
    const std::wstring name = chosenName();
    if (!suites::validName(name)) return;
    try {
        const std::vector<std::wstring> commands = suites::load(folder_, name);
        clearList_();
        fillList_(commands);
    } catch (const exception::ExternalError& failure) {
        place.warn(L"%1%", failure.message);
        return;
    }
    EndModal(wxID_OK);
}

void CmdSuiteDialog::deleteOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::CmdSuiteDialog::deleteOnButtonClick");
    place.trace(L"");
    const std::wstring name = suites_->GetStringSelection().ToStdWstring();
    if (name.empty() || !questions_.askYesNo(L"Наборы команд", L"Удалить набор '" + name + L"'?")) return;
    try {
        suites::remove(folder_, name);
    } catch (const exception::ExternalError& failure) {
        place.warn(L"%1%", failure.message);
    }
    name_->ChangeValue(wxEmptyString);
    showSuites();
}

}  // namespace frm
