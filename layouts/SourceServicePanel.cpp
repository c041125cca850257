#include "layouts/SourceServicePanel.h"

#include <wx/sizer.h>

#include "layouts/LayoutParts.h"

namespace frm::fb {

SourceServicePanel::SourceServicePanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                       const wxSize& size, long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {}

void SourceServicePanel::buildLayout() {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    m_tree = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                            wxTR_HAS_BUTTONS | wxTR_NO_LINES | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT);
    row->Add(m_tree, 1, wxEXPAND | wxALL, 4);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->SetMinSize(wxSize(300, -1));
    const wxString actions[] = {wxT("Создать группу"), wxT("Добавить сообщение"), wxT("Удалить выделенное")};
    m_action = new wxRadioBox(this, wxID_ANY, wxT("Действие"), wxDefaultPosition, wxDefaultSize, 3, actions,
                              1, wxRA_SPECIFY_COLS);
    column->Add(m_action, 0, wxEXPAND | wxALL, 4);

    m_nameArea = new wxPanel(this, wxID_ANY);
    auto* nameRow = new wxBoxSizer(wxHORIZONTAL);
    nameRow->Add(new wxStaticText(m_nameArea, wxID_ANY, wxT("Название")), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 5);
    m_name = new wxTextCtrl(m_nameArea, wxID_ANY);
    nameRow->Add(m_name, 1, wxALIGN_CENTER_VERTICAL);
    m_nameArea->SetSizer(nameRow);
    column->Add(m_nameArea, 0, wxEXPAND | wxALL, 4);

    m_messageArea = new wxPanel(this, wxID_ANY);
    auto* choices = new wxFlexGridSizer(2, 5, 5);
    choices->AddGrowableCol(1);
    m_gong = addLabelled(choices, wxT("Гонг"), new wxChoice(m_messageArea, wxID_ANY), 1, wxEXPAND);
    m_message = addLabelled(choices, wxT("Сообщение"), new wxChoice(m_messageArea, wxID_ANY), 1, wxEXPAND);
    m_messageArea->SetSizer(choices);
    column->Add(m_messageArea, 0, wxEXPAND | wxALL, 4);

    m_execute = new wxButton(this, wxID_ANY, wxT("Создать группу"));
    column->Add(m_execute, 0, wxALIGN_RIGHT | wxALL, 4);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_play = addBitmapButton(this, buttons, 4, wxEmptyString);
    m_stop = addBitmapButton(this, buttons, 4, wxEmptyString);
    column->Add(buttons, 0);
    m_information = new wxStaticText(this, wxID_ANY, wxEmptyString);
    column->Add(m_information, 1, wxEXPAND | wxALL, 4);
    row->Add(column, 0, wxEXPAND);
    SetSizer(row);
    Layout();
    const std::pair<wxWindow*, const char*> names[] = {
        {m_tree, "messages"},   {m_action, "action"},           {m_name, "name"}, {m_gong, "gong"},
        {m_message, "message"}, {m_information, "information"}, {m_play, "play"}, {m_stop, "stop"},
    };
    for (const auto& [window, windowName] : names) window->SetName(windowName);

    m_tree->Bind(wxEVT_TREE_SEL_CHANGING, [this](wxTreeEvent& event) { onSelectMessage(event); });
    m_action->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent& event) { actionOnRadioBox(event); });
    m_execute->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { executeOnButtonClick(event); });
    m_play->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { playOnButtonClick(event); });
    m_stop->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { stopOnButtonClick(event); });
}

}  // namespace frm::fb
