#include "layouts/SourcePlaylistPanel.h"

#include <wx/sizer.h>

#include "layouts/LayoutParts.h"

namespace frm::fb {

SourcePlaylistPanel::SourcePlaylistPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                         const wxSize& size, long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {}

void SourcePlaylistPanel::buildLayout() {
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* lists = new wxBoxSizer(wxHORIZONTAL);
    m_listOfPlaylist = place(lists, new VirtualListCtrl(this, wxLC_REPORT), 2, wxEXPAND | wxALL, 4);
    m_playlist = place(lists, new VirtualListCtrl(this, wxLC_REPORT), 3, wxEXPAND | wxALL, 4);
    column->Add(lists, 1, wxEXPAND);

    m_folderProgress = new wxPanel(this, wxID_ANY);
    auto* progress = new wxBoxSizer(wxHORIZONTAL);
    m_folderGauge =
        place(progress, new wxGauge(m_folderProgress, wxID_ANY, 100), 1, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    m_folderText = place(progress, new wxStaticText(m_folderProgress, wxID_ANY, wxEmptyString), 2,
                         wxALIGN_CENTER_VERTICAL | wxALL, 4);
    m_folderCancel = place(progress, new wxButton(m_folderProgress, wxID_ANY, wxT("Отмена")), 0, wxALL, 4);
    m_folderProgress->SetSizer(progress);
    m_folderProgress->Hide();
    column->Add(m_folderProgress, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);

    m_buttonPanel = new wxPanel(this, wxID_ANY);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    addTransportButtons(m_buttonPanel, buttons, 4, m_buttonPrev, m_buttonPlay, m_buttonStop, m_buttonNext);
    buttons->AddStretchSpacer(1);
    m_controlPlaylists = addBitmapButton(m_buttonPanel, buttons, 4, wxT("Список"));
    m_buttonPanel->SetSizer(buttons);
    column->Add(m_buttonPanel, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    SetSizer(column);
    Layout();

    m_menu = new wxMenu();
    const auto addItem = [&](int id, const wxString& label) {
        auto* item = new wxMenuItem(m_menu, id, label);
        m_menu->Append(item);
        return item;
    };
    m_addFiles = addItem(idAddFiles, wxT("Добавить &файлы..."));
    m_captureAudioWithDevice = addItem(idCaptureAudioWithDevice, wxT("&Захватить аудио с устройства..."));
    m_addDir = addItem(idAddDir, wxT("Добавить &каталог..."));
    m_addUrl = addItem(idAddUrl, wxT("Добавить интернет-&радиостанцию..."));
    m_editUrl = addItem(idEditUrl, wxT("Р&едактировать..."));
    m_rename = addItem(idRename, wxT("&Переименовать..."));
    m_clearPlayList = addItem(idClearPlayList, wxT("&Очистить список"));
    m_addPlaylist = addItem(idAddPlaylist, wxT("Добавить &список..."));
    m_deleteSelected = addItem(idDeleteSelected, wxT("&Удалить выделенное"));

    for (wxListCtrl* list : {m_listOfPlaylist, m_playlist}) {
        list->Bind(wxEVT_KEY_UP, &SourcePlaylistPanel::listCtrlKeyUp, this);
        list->Bind(wxEVT_LEAVE_WINDOW, &SourcePlaylistPanel::listCtrlLeaveWindow, this);
        list->Bind(wxEVT_LEFT_DCLICK, &SourcePlaylistPanel::listCtrlLeftDoubleClick, this);
        list->Bind(wxEVT_LEFT_DOWN, &SourcePlaylistPanel::listCtrlLeftDown, this);
        list->Bind(wxEVT_LIST_COL_RIGHT_CLICK, &SourcePlaylistPanel::listCtrlOnListColRightClick, this);
        list->Bind(wxEVT_LIST_ITEM_DESELECTED, &SourcePlaylistPanel::listCtrlOnListItemDeselected, this);
        list->Bind(wxEVT_LIST_ITEM_SELECTED, &SourcePlaylistPanel::listCtrlOnListItemSelected, this);
        list->Bind(wxEVT_MOTION, &SourcePlaylistPanel::listCtrlMotion, this);
        list->Bind(wxEVT_RIGHT_DOWN, &SourcePlaylistPanel::listCtrlOnRightDown, this);
    }
    const std::pair<wxBitmapButton*, void (SourcePlaylistPanel::*)(wxCommandEvent&)> clicks[] = {
        {m_buttonPrev, &SourcePlaylistPanel::buttonPrev},
        {m_buttonPlay, &SourcePlaylistPanel::buttonPlay},
        {m_buttonStop, &SourcePlaylistPanel::buttonStop},
        {m_buttonNext, &SourcePlaylistPanel::buttonNext},
        {m_controlPlaylists, &SourcePlaylistPanel::controlPlaylistsOnButtonClick},
    };
    for (const auto& [button, handler] : clicks) {
        button->Bind(wxEVT_BUTTON,
                     [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); });
    }
    const std::pair<wxMenuItem*, void (SourcePlaylistPanel::*)(wxCommandEvent&)> selections[] = {
        {m_addFiles, &SourcePlaylistPanel::addFilesOnMenuSelection},
        {m_captureAudioWithDevice, &SourcePlaylistPanel::captureAudioWithDeviceOnMenuSelection},
        {m_addDir, &SourcePlaylistPanel::addDirOnMenuSelection},
        {m_addUrl, &SourcePlaylistPanel::addUrlOnMenuSelection},
        {m_editUrl, &SourcePlaylistPanel::editUrlOnMenuSelection},
        {m_rename, &SourcePlaylistPanel::renameOnMenuSelection},
        {m_clearPlayList, &SourcePlaylistPanel::clearPlayListOnMenuSelection},
        {m_addPlaylist, &SourcePlaylistPanel::addPlaylistOnMenuSelection},
        {m_deleteSelected, &SourcePlaylistPanel::deleteSelectedOnMenuSelection},
    };
    for (const auto& [item, handler] : selections) {
        Bind(
            wxEVT_MENU, [this, handler = handler](wxCommandEvent& event) { (this->*handler)(event); },
            item->GetId());
    }
    m_controlPlaylists->Bind(wxEVT_RIGHT_DOWN, &SourcePlaylistPanel::controlPlaylistsOnRightDown, this);
    m_folderCancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { folderCancelOnButtonClick(event); });
}

SourcePlaylistPanel::~SourcePlaylistPanel() {
    if (m_menu == nullptr) return;
    for (wxMenuItem* item : {m_addFiles, m_captureAudioWithDevice, m_addDir, m_addUrl, m_editUrl, m_rename,
                             m_clearPlayList, m_addPlaylist, m_deleteSelected}) {
        if (m_menu->FindChildItem(item->GetId()) == nullptr) delete item;
    }
    delete m_menu;
}

void SourcePlaylistPanel::controlPlaylistsOnRightDown(wxMouseEvent&) {
    PopupMenu(m_menu);
}

}  // namespace frm::fb
