#include "layouts/SourceMicrophonePanel.h"

#include <wx/sizer.h>
#include <wx/statbox.h>

namespace frm::fb {

SourceMicrophonePanel::SourceMicrophonePanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                             const wxSize& size, long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {}

void SourceMicrophonePanel::buildLayout() {
    auto* column = new wxBoxSizer(wxVERTICAL);
    m_listCtrlRecord = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_LIST);
    column->Add(m_listCtrlRecord, 1, wxEXPAND | wxALL, 5);

    m_panelOptions = new wxPanel(this, wxID_ANY);
    auto* options = new wxBoxSizer(wxHORIZONTAL);
    const wxString sources[] = {wxT("Микрофон"), wxT("Список")};
    m_radioBoxRecordSource = new wxRadioBox(m_panelOptions, wxID_ANY, wxT("Источник"), wxDefaultPosition,
                                            wxDefaultSize, 2, sources, 1, wxRA_SPECIFY_COLS);
    options->Add(m_radioBoxRecordSource, 0, wxALL, 5);

    auto* passing = new wxStaticBoxSizer(wxVERTICAL, m_panelOptions, wxT("Способ передачи"));
    m_checkBoxList = new wxCheckBox(passing->GetStaticBox(), wxID_ANY, wxT("Трансляция"));
    passing->Add(m_checkBoxList, 0, wxALL, 5);
    auto* recording = new wxBoxSizer(wxHORIZONTAL);
    m_checkBoxRecord = new wxCheckBox(passing->GetStaticBox(), wxID_ANY, wxT("Запись"));
    recording->Add(m_checkBoxRecord, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_textCtrlRecordName = new wxTextCtrl(passing->GetStaticBox(), wxID_ANY, wxT("Название"),
                                          wxDefaultPosition, wxSize(240, -1));
    m_textCtrlRecordName->SetMaxLength(60);
    m_textCtrlRecordName->Enable(false);
    recording->Add(m_textCtrlRecordName, 1, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    m_buttonRecordSave = new wxButton(passing->GetStaticBox(), wxID_ANY, wxT("Сохранить"));
    m_buttonRecordSave->Enable(false);
    recording->Add(m_buttonRecordSave, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    passing->Add(recording, 0, wxEXPAND);
    options->Add(passing, 1, wxALL, 5);

    auto* gong = new wxStaticBoxSizer(wxVERTICAL, m_panelOptions, wxT("Гонг"));
    m_checkBoxGong = new wxCheckBox(gong->GetStaticBox(), wxID_ANY, wxT("Включить"));
    gong->Add(m_checkBoxGong, 0, wxALL, 5);
    m_choiceGong = new wxChoice(gong->GetStaticBox(), wxID_ANY, wxDefaultPosition, wxSize(240, -1));
    gong->Add(m_choiceGong, 0, wxALL | wxEXPAND, 5);
    options->Add(gong, 1, wxALL, 5);
    m_panelOptions->SetSizer(options);
    column->Add(m_panelOptions, 0, wxEXPAND);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_buttonStartAndStop = new wxButton(this, wxID_ANY, wxT("Старт"));
    buttons->Add(m_buttonStartAndStop, 0, wxALL, 5);
    m_buttonDelete = new wxButton(this, wxID_ANY, wxT("Удалить"));
    m_buttonDelete->Enable(false);
    buttons->Add(m_buttonDelete, 0, wxALL, 5);
    column->Add(buttons, 0, wxEXPAND);
    SetSizer(column);
    Layout();

    m_listCtrlRecord->Bind(wxEVT_KEY_UP, &SourceMicrophonePanel::listCtrlRecordKeyUp, this);
    m_listCtrlRecord->Bind(wxEVT_LIST_ITEM_DESELECTED,
                           &SourceMicrophonePanel::listCtrlRecordOnListItemDeselected, this);
    m_listCtrlRecord->Bind(wxEVT_LIST_ITEM_SELECTED, &SourceMicrophonePanel::listCtrlRecordOnListItemSelected,
                           this);
    m_radioBoxRecordSource->Bind(wxEVT_RADIOBOX, &SourceMicrophonePanel::radioBoxRecordSourceOnRadioBox,
                                 this);
    m_checkBoxList->Bind(wxEVT_CHECKBOX, &SourceMicrophonePanel::checkBoxListOnCheckBox, this);
    m_checkBoxRecord->Bind(wxEVT_CHECKBOX, &SourceMicrophonePanel::checkBoxRecordOnCheckBox, this);
    m_buttonRecordSave->Bind(wxEVT_BUTTON, &SourceMicrophonePanel::buttonRecordSaveOnClick, this);
    m_checkBoxGong->Bind(wxEVT_CHECKBOX, &SourceMicrophonePanel::checkBoxGongOnCheckBox, this);
    m_buttonStartAndStop->Bind(wxEVT_BUTTON, &SourceMicrophonePanel::buttonStartAndStopOnButtonClick, this);
    m_buttonDelete->Bind(wxEVT_BUTTON, &SourceMicrophonePanel::deleteOnButtonClick, this);
}

}  // namespace frm::fb
