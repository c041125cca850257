#include "layouts/SettingsDialog.h"

#include <wx/fontenum.h>
#include <wx/statbox.h>

#include "layouts/LayoutParts.h"

namespace frm::fb {
namespace {

constexpr int kGap = 6;

wxStaticText* restartNotice(wxWindow* page, wxSizer* column) {
    auto* notice = new wxStaticText(page, wxID_ANY,
                                    wxT("Чтобы изменения вступили в силу, требуется перезапуск программы"));
    notice->SetForegroundColour(wxColour(255, 0, 0));
    notice->SetFont(notice->GetFont().Scaled(10.0f / notice->GetFont().GetFractionalPointSize()));
    column->Add(notice, 0, wxALL, kGap);
    return notice;
}

// A titled box with a folder field and its "..." button.
wxStaticBoxSizer* folderBox(wxWindow* page, wxSizer* column, const wxString& title, wxTextCtrl*& field,
                            wxButton*& button) {
    auto* box = new wxStaticBoxSizer(wxHORIZONTAL, page, title);
    field = new wxTextCtrl(box->GetStaticBox(), wxID_ANY);
    box->Add(field, 1, wxALIGN_CENTER_VERTICAL | wxALL, kGap);
    button = new wxButton(box->GetStaticBox(), wxID_ANY, wxT("..."), wxDefaultPosition, wxDefaultSize,
                          wxBU_EXACTFIT);
    box->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxALL, kGap);
    column->Add(box, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    return box;
}

wxSlider* volumeBox(wxWindow* page, wxSizer* column, const wxString& title) {
    auto* box = new wxStaticBoxSizer(wxVERTICAL, page, title);
    auto* slider = new wxSlider(box->GetStaticBox(), wxID_ANY, 90, 1, 100, wxDefaultPosition, wxDefaultSize,
                                wxSL_HORIZONTAL);
    box->Add(slider, 0, wxEXPAND | wxALL, kGap);
    column->Add(box, 0, wxEXPAND | wxALL, kGap);
    return slider;
}

// A titled box with the masked fields "Пароль" and "Повторить".
wxStaticBoxSizer* passwordBox(wxWindow* page, wxSizer* column, const wxString& title, wxTextCtrl*& typed,
                              wxTextCtrl*& repeated) {
    auto* box = new wxStaticBoxSizer(wxVERTICAL, page, title);
    auto* grid = new wxFlexGridSizer(2, kGap, kGap);
    grid->AddGrowableCol(1);
    const auto addField = [&](const wxString& label) {
        grid->Add(new wxStaticText(box->GetStaticBox(), wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        auto* field = new wxTextCtrl(box->GetStaticBox(), wxID_ANY, wxEmptyString, wxDefaultPosition,
                                     wxSize(260, -1), wxTE_PASSWORD);
        grid->Add(field, 0, wxALIGN_CENTER_VERTICAL);
        return field;
    };
    typed = addField(wxT("Пароль"));
    repeated = addField(wxT("Повторить"));
    box->Add(grid, 0, wxEXPAND | wxALL, kGap);
    column->Add(box, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    return box;
}

// "Courier New" where it is installed, else the fixed-width face of the system.
wxFont logFont(const wxFont& base) {
    wxFont font(wxFontInfo(base.GetPointSize()).Family(wxFONTFAMILY_TELETYPE));
    if (wxFontEnumerator::IsValidFacename(wxT("Courier New"))) font.SetFaceName(wxT("Courier New"));
    return font;
}

}  // namespace

SettingsDialog::SettingsDialog(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                               const wxSize& size, long style)
    : wxDialog(parent, id, title, pos, size, style) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    m_notebook = new wxNotebook(this, wxID_ANY);

    m_placePage = new wxPanel(m_notebook, wxID_ANY);
    auto* place = new wxBoxSizer(wxVERTICAL);
    m_placeNotice = restartNotice(m_placePage, place);
    folderBox(m_placePage, place, wxT("Путь к папке с файлами типа \"Гонг\""), m_dirGong, m_buttonDirGong);
    folderBox(m_placePage, place, wxT("Путь к папке с файлами типа \"Служебные сообщения\""), m_dirService,
              m_buttonDirService);
    m_alarmDirBox = folderBox(m_placePage, place, wxT("Путь к папке с файлами типа \"Тревожные оповещения\""),
                              m_dirAlarm, m_buttonDirAlarm);
    folderBox(m_placePage, place, wxT("Путь к папке с файлами типа \"Записанные сообщения\""), m_dirRecord,
              m_buttonDirRecord);
    m_gongBox = new wxStaticBoxSizer(wxVERTICAL, m_placePage,
                                     wxT("Гонг который будет воспроизведен при нажатии кнопки \"Гонг\""));
    m_gongChoice = new wxChoice(m_gongBox->GetStaticBox(), wxID_ANY);
    m_gongBox->Add(m_gongChoice, 0, wxEXPAND | wxALL, kGap);
    place->Add(m_gongBox, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    m_placePage->SetSizerAndFit(place);
    m_notebook->AddPage(m_placePage, wxT("Расположение"), true);

    m_volumePage = new wxPanel(m_notebook, wxID_ANY);
    auto* volume = new wxBoxSizer(wxVERTICAL);
    m_serviceVolume = volumeBox(m_volumePage, volume, wxT("Служебные сообщения"));
    m_microphoneVolume = volumeBox(m_volumePage, volume, wxT("Микрофон"));
    m_volumePage->SetSizerAndFit(volume);
    m_notebook->AddPage(m_volumePage, wxT("Громкость"));

    m_networkPage = new wxPanel(m_notebook, wxID_ANY);
    auto* network = new wxBoxSizer(wxVERTICAL);
    m_networkNotice = restartNotice(m_networkPage, network);
    auto* networkGrid = new wxFlexGridSizer(2, kGap, 2 * kGap);
    const auto addRow = [&](const wxString& label, auto* control) {
        return addLabelled(networkGrid, label, control, 0, wxALIGN_CENTER_VERTICAL);
    };
    m_interfaceChoice =
        addRow(wxT("Интерфейс"), new wxChoice(m_networkPage, wxID_ANY, wxDefaultPosition, wxSize(360, -1)));
    m_multicastAddress =
        addRow(wxT("IP Мультикаст-вещания"), new wxTextCtrl(m_networkPage, wxID_ANY, wxT("224.0.224.1")));
    m_ttl = addRow(wxT("Время жизни мультикаста (TTL)"),
                   new wxSpinCtrl(m_networkPage, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxSP_ARROW_KEYS, 1, 255, 1));
    m_basePort =
        addRow(wxT("Базовый порт"), new wxSpinCtrl(m_networkPage, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                                   wxDefaultSize, wxSP_ARROW_KEYS, 2000, 65000, 11990));
    network->Add(networkGrid, 0, wxALL, 2 * kGap);
    m_networkPage->SetSizerAndFit(network);
    m_notebook->AddPage(m_networkPage, wxT("Сеть"));

    m_recordPage = new wxPanel(m_notebook, wxID_ANY);
    auto* record = new wxBoxSizer(wxHORIZONTAL);
    record->Add(new wxStaticText(m_recordPage, wxID_ANY, wxT("Устройство")), 0,
                wxALIGN_CENTER_VERTICAL | wxALL, 2 * kGap);
    m_captureDevice = new wxChoice(m_recordPage, wxID_ANY, wxDefaultPosition, wxSize(360, -1));
    record->Add(m_captureDevice, 1, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM, 2 * kGap);
    m_buttonPlay = new wxButton(m_recordPage, wxID_ANY, wxT("Воспроизвести"));
    record->Add(m_buttonPlay, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2 * kGap);
    auto* recordColumn = new wxBoxSizer(wxVERTICAL);
    recordColumn->Add(record, 0, wxEXPAND);
    m_recordPage->SetSizerAndFit(recordColumn);
    m_notebook->AddPage(m_recordPage, wxT("Запись"));

    m_securityPage = new wxPanel(m_notebook, wxID_ANY);
    auto* security = new wxBoxSizer(wxVERTICAL);
    security->AddSpacer(kGap);
    // Why the password boxes are disabled, while they are.
    m_passwordsNote = new wxStaticText(m_securityPage, wxID_ANY, wxEmptyString);
    m_passwordsNote->Hide();
    security->Add(m_passwordsNote, 0, wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    passwordBox(m_securityPage, security, wxT("Пароль администратора"), m_administratorPassword,
                m_administratorRepeat);
    m_alarmPasswordBox = passwordBox(m_securityPage, security, wxT("Пароль для воспроизведения тревог"),
                                     m_alarmPassword, m_alarmRepeat);
    passwordBox(m_securityPage, security, wxT("Пароль для блокирования интерфейса"), m_interfacePassword,
                m_interfaceRepeat);
    auto* idleBox = new wxStaticBoxSizer(wxHORIZONTAL, m_securityPage, wxT("Время до блокировки интерфейса"));
    m_idleTime = new wxSpinCtrl(idleBox->GetStaticBox(), wxID_ANY, wxEmptyString, wxDefaultPosition,
                                wxDefaultSize, wxSP_ARROW_KEYS, 0, 1000, 10);
    idleBox->Add(m_idleTime, 0, wxALIGN_CENTER_VERTICAL | wxALL, kGap);
    idleBox->Add(new wxStaticText(idleBox->GetStaticBox(), wxID_ANY, wxT("мин (0 - выкл)")), 0,
                 wxALIGN_CENTER_VERTICAL | wxALL, kGap);
    security->Add(idleBox, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    m_securityPage->SetSizerAndFit(security);
    m_notebook->AddPage(m_securityPage, wxT("Безопасность"));

    m_eventsPage = new wxPanel(m_notebook, wxID_ANY);
    auto* events = new wxBoxSizer(wxVERTICAL);
    auto* eventsRow = new wxBoxSizer(wxHORIZONTAL);
    eventsRow->Add(new wxStaticText(m_eventsPage, wxID_ANY, wxT("Дата")), 0,
                   wxALIGN_CENTER_VERTICAL | wxRIGHT, kGap);
    m_logDate = new wxChoice(m_eventsPage, wxID_ANY, wxDefaultPosition, wxSize(160, -1));
    eventsRow->Add(m_logDate, 0, wxALIGN_CENTER_VERTICAL);
    eventsRow->AddStretchSpacer(1);
    m_logLevelLabel = new wxStaticText(m_eventsPage, wxID_ANY, wxT("Уровень логирования"));
    eventsRow->Add(m_logLevelLabel, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kGap);
    const wxString levels[] = {wxT("trace3"), wxT("trace2"), wxT("trace"), wxT("debug"), wxT("info")};
    m_logLevel = new wxChoice(m_eventsPage, wxID_ANY, wxDefaultPosition, wxDefaultSize, 5, levels);
    m_logLevel->SetSelection(4);
    eventsRow->Add(m_logLevel, 0, wxALIGN_CENTER_VERTICAL);
    events->Add(eventsRow, 0, wxEXPAND | wxALL, kGap);
    m_logView = new wxTextCtrl(m_eventsPage, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               wxTE_MULTILINE | wxTE_READONLY | wxHSCROLL | wxTE_DONTWRAP);
    m_logView->SetFont(logFont(m_logView->GetFont()));
    events->Add(m_logView, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    m_eventsPage->SetSizerAndFit(events);
    m_notebook->AddPage(m_eventsPage, wxT("События"));

    top->Add(m_notebook, 1, wxEXPAND | wxALL, kGap);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer(1);
    m_buttonOk = new wxButton(this, wxID_ANY, wxT("&Сохранить"));
    buttons->Add(m_buttonOk, 0, wxALL, kGap);
    m_buttonCancel = new wxButton(this, wxID_ANY, wxT("Отмена"));
    buttons->Add(m_buttonCancel, 0, wxALL, kGap);
    top->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);
    SetSizer(top);
    Layout();
    Centre(wxBOTH);

    m_notebook->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &SettingsDialog::onNotebookPageChanged, this);
    const std::pair<wxButton*, void (SettingsDialog::*)(wxCommandEvent&)> buttonHandlers[] = {
        {m_buttonDirGong, &SettingsDialog::buttonDirGongOnButtonClick},
        {m_buttonDirService, &SettingsDialog::buttonDirServiceOnButtonClick},
        {m_buttonDirAlarm, &SettingsDialog::buttonDirAlarmOnButtonClick},
        {m_buttonDirRecord, &SettingsDialog::buttonDirRecordOnButtonClick},
        {m_buttonPlay, &SettingsDialog::buttonPlayOnButtonClick},
        {m_buttonOk, &SettingsDialog::buttonOkOnClick},
        {m_buttonCancel, &SettingsDialog::buttonCancelOnClick},
    };
    for (const auto& [button, handler] : buttonHandlers) {
        button->Bind(wxEVT_BUTTON,
                     [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    const wxEventTypeTag<wxScrollEvent> scrollEvents[] = {
        wxEVT_SCROLL_TOP,        wxEVT_SCROLL_BOTTOM,       wxEVT_SCROLL_LINEUP,
        wxEVT_SCROLL_LINEDOWN,   wxEVT_SCROLL_PAGEUP,       wxEVT_SCROLL_PAGEDOWN,
        wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED};
    for (wxSlider* slider : {m_serviceVolume, m_microphoneVolume}) {
        for (const auto& type : scrollEvents) slider->Bind(type, &SettingsDialog::volumeOnScroll, this);
    }
    m_logDate->Bind(wxEVT_CHOICE, &SettingsDialog::logOnChoice, this);
}

SettingsDialog::~SettingsDialog() = default;

}  // namespace frm::fb
