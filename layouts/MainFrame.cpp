#include "layouts/MainFrame.h"

#include <wx/sizer.h>
#include <wx/statbox.h>

#include "resources/ResourceLoader.h"

namespace frm::fb {
namespace {

constexpr int kLogoImage = 1;

// An area inside a titled box of the device view.
wxPanel* boxedArea(wxWindow* parent, wxSizer* row, const wxString& title, int proportion, int minimumWidth) {
    auto* box = new wxStaticBoxSizer(wxVERTICAL, parent, title);
    auto* area = new wxPanel(box->GetStaticBox(), wxID_ANY);
    area->SetMinSize(wxSize(minimumWidth, -1));
    area->SetSizer(new wxBoxSizer(wxVERTICAL));
    box->Add(area, 1, wxEXPAND | wxALL, 2);
    row->Add(box, proportion, wxEXPAND | wxALL, 4);
    return area;
}

}  // namespace

MainFrame::MainFrame(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                     const wxSize& size, long style)
    : wxFrame(parent, id, title, pos, size, style) {
    SetSizeHints(wxSize(800, 500), wxDefaultSize);
    auto* top = new wxBoxSizer(wxHORIZONTAL);

    m_viewPanel = new wxPanel(this, wxID_ANY);
    auto* views = new wxBoxSizer(wxVERTICAL);
    m_logo = new wxStaticBitmap(m_viewPanel, wxID_ANY, frm::loadResource(kLogoImage));
    views->Add(m_logo, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 8);
    const auto addButton = [&](const wxString& label) {
        auto* button = new wxButton(m_viewPanel, wxID_ANY, label);
        views->Add(button, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
        return button;
    };
    m_devicesButton = addButton(wxT("Устройства"));
    m_playlistButton = addButton(wxT("Плейлист"));
    m_radioButton = addButton(wxT("Радио"));
    m_schedulerButton = addButton(wxT("Планировщик"));
    m_microphoneButton = addButton(wxT("Микрофон"));
    m_serviceButton = addButton(wxT("Служебные сообщения"));
    m_alarmButton = addButton(wxT("Тревожные сообщения"));
    m_drivesButton = addButton(wxT("Накопители"));
    views->AddStretchSpacer(1);
    m_settingsButton = new wxButton(m_viewPanel, wxID_ANY, wxT("Настройки"));
    views->Add(m_settingsButton, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
    m_administratorButton = new wxToggleButton(m_viewPanel, wxID_ANY, wxT("Администратор"));
    views->Add(m_administratorButton, 0, wxEXPAND | wxALL, 6);
    m_viewPanel->SetSizer(views);
    views->SetMinSize(wxSize(190, -1));
    top->Add(m_viewPanel, 0, wxEXPAND);

    m_book = new wxSimplebook(this, wxID_ANY);
    m_mainView = new wxPanel(m_book, wxID_ANY);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    m_deviceListArea = boxedArea(m_mainView, row, wxT("Устройства"), 1, 400);
    m_zoneArea = boxedArea(m_mainView, row, wxT("Зоны"), 0, 350);
    m_mainView->SetSizer(row);
    m_book->AddPage(m_mainView, wxT("Устройства"), true);

    m_lockView = new wxPanel(m_book, wxID_ANY);
    auto* lock = new wxBoxSizer(wxVERTICAL);
    lock->AddStretchSpacer(1);
    m_lockText = new wxStaticText(m_lockView, wxID_ANY, wxT("Интерфейс заблокирован"));
    m_lockText->SetFont(m_lockText->GetFont().Scaled(1.6f).Bold());
    lock->Add(m_lockText, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 12);
    m_unlockButton = new wxButton(m_lockView, wxID_ANY, wxT("Разблокировать"));
    lock->Add(m_unlockButton, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 6);
    lock->AddStretchSpacer(1);
    m_lockView->SetSizer(lock);
    m_book->AddPage(m_lockView, wxT("Блокировка"), false);
    top->Add(m_book, 1, wxEXPAND);

    SetSizer(top);
    m_statusBar = CreateStatusBar(2);
    const int widths[] = {-1, 170};
    m_statusBar->SetStatusWidths(2, widths);
    Layout();
    Centre(wxBOTH);

    Bind(wxEVT_CLOSE_WINDOW, &MainFrame::OnClose, this);
    const std::pair<wxButton*, void (MainFrame::*)(wxCommandEvent&)> buttons[] = {
        {m_devicesButton, &MainFrame::devicesOnButtonClick},
        {m_playlistButton, &MainFrame::playlistOnButtonClick},
        {m_radioButton, &MainFrame::radioOnButtonClick},
        {m_schedulerButton, &MainFrame::schedulerOnButtonClick},
        {m_microphoneButton, &MainFrame::microphoneOnButtonClick},
        {m_serviceButton, &MainFrame::serviceOnButtonClick},
        {m_alarmButton, &MainFrame::alarmOnButtonClick},
        {m_drivesButton, &MainFrame::drivesOnButtonClick},
        {m_settingsButton, &MainFrame::settingsOnButtonClick},
        {m_unlockButton, &MainFrame::unlockOnButtonClick},
    };
    for (const auto& [button, handler] : buttons) {
        button->Bind(wxEVT_BUTTON,
                     [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    m_administratorButton->Bind(wxEVT_TOGGLEBUTTON, &MainFrame::administratorOnToggleButton, this);
}

MainFrame::~MainFrame() = default;

}  // namespace frm::fb
