#include "app/kit/FragmentDialog.h"

#include <wx/button.h>
#include <wx/filepicker.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "foundation/Files.h"
#include "foundation/Place.h"

namespace frm {

FragmentDialog::FragmentDialog(wxWindow* parent, const wxString& title, std::wstring& name,
                               std::wstring& path)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxSize(400, 190),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      name_(name),
      path_(path) {
    auto* fields = new wxFlexGridSizer(2, wxSize(5, 5));
    fields->AddGrowableCol(1);
    fields->Add(new wxStaticText(this, wxID_ANY, L"Название: "), 0, wxALIGN_CENTER_VERTICAL);
    nameField_ = new wxTextCtrl(this, wxID_ANY, name, wxDefaultPosition, wxDefaultSize, 0, wxDefaultValidator,
                                L"fragmentName");
    fields->Add(nameField_, 1, wxEXPAND);
    fields->Add(new wxStaticText(this, wxID_ANY, L"Аудио файл:"), 0, wxALIGN_CENTER_VERTICAL);
    file_ = new wxFilePickerCtrl(this, wxID_ANY, path, L"Добавить аудио файл",
                                 L"MPEG Layer3 Files (*.mp3)|*.mp3", wxDefaultPosition, wxDefaultSize,
                                 wxFLP_OPEN | wxFLP_FILE_MUST_EXIST | wxFLP_USE_TEXTCTRL, wxDefaultValidator,
                                 L"fragmentFile");
    // The toolkit's own label of the button may stay untranslated.
    file_->GetPickerCtrl()->SetLabel(L"Обзор…");
    fields->Add(file_, 1, wxEXPAND);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* save = new wxButton(this, wxID_ANY, L"&Сохранить");
    buttons->Add(save, 0, wxALL, 5);
    buttons->Add(new wxButton(this, wxID_CANCEL, L"О&тмена"), 0, wxALL, 5);
    save->Bind(wxEVT_BUTTON, &FragmentDialog::saveOnButtonClick, this);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(fields, 1, wxEXPAND | wxALL, 10);
    sizer->Add(buttons, 0, wxALIGN_RIGHT | wxRIGHT | wxBOTTOM, 5);
    SetSizer(sizer);
    Layout();
}

void FragmentDialog::saveOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::FragmentDialog::saveOnButtonClick");
    place.trace(L"");
    const std::wstring path = file_->GetPath().ToStdWstring();
    if (path.empty() || base::isFolder(path) || !base::pathExists(path)) {
        place.warn(L"Файл '%1%' не существует", path);
        return;
    }
    name_ = nameField_->GetValue().ToStdWstring();
    path_ = path;
    EndModal(wxID_OK);
}

}  // namespace frm
