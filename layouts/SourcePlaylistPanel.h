#pragma once
// The layout of the playlist panel: the list of playlists beside the items of one playlist, the
// progress of a folder being added under them (hidden until one is), the row of transport buttons
// and the "Список" button, and the panel's menu of editing commands. The nine list events of both
// lists go to the same handlers. Both lists are virtual: the panel gives them their rows.

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "layouts/VirtualListCtrl.h"

namespace frm::fb {

class SourcePlaylistPanel : public wxPanel {
public:
    SourcePlaylistPanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                        const wxSize& size = wxSize(700, 500), long style = wxTAB_TRAVERSAL,
                        const wxString& name = wxEmptyString);
    // Deletes the menu together with the items that are out of it at the time.
    ~SourcePlaylistPanel() override;

    // The identifiers of the menu's nine items, in menu order.
    enum MenuId : int {
        idAddFiles = wxID_HIGHEST + 1160,
        idCaptureAudioWithDevice,
        idAddDir,
        idAddUrl,
        idEditUrl,
        idRename,
        idClearPlayList,
        idAddPlaylist,
        idDeleteSelected,
    };

protected:
    // Makes the controls and binds their events. The panel stands empty until the derived panel
    // calls it, once, when its view is first shown; the control pointers are null until then.
    void buildLayout();

    VirtualListCtrl* m_listOfPlaylist = nullptr;
    VirtualListCtrl* m_playlist = nullptr;
    wxPanel* m_folderProgress = nullptr;
    wxGauge* m_folderGauge = nullptr;
    wxStaticText* m_folderText = nullptr;
    wxButton* m_folderCancel = nullptr;
    wxPanel* m_buttonPanel = nullptr;
    wxBitmapButton* m_buttonPrev = nullptr;
    wxBitmapButton* m_buttonPlay = nullptr;
    wxBitmapButton* m_buttonStop = nullptr;
    wxBitmapButton* m_buttonNext = nullptr;
    wxBitmapButton* m_controlPlaylists = nullptr;

    wxMenu* m_menu = nullptr;
    wxMenuItem* m_addFiles = nullptr;
    wxMenuItem* m_captureAudioWithDevice = nullptr;
    wxMenuItem* m_addDir = nullptr;
    wxMenuItem* m_addUrl = nullptr;
    wxMenuItem* m_editUrl = nullptr;
    wxMenuItem* m_rename = nullptr;
    wxMenuItem* m_clearPlayList = nullptr;
    wxMenuItem* m_addPlaylist = nullptr;
    wxMenuItem* m_deleteSelected = nullptr;

    virtual void listCtrlKeyUp(wxKeyEvent& event) = 0;
    virtual void listCtrlLeaveWindow(wxMouseEvent& event) = 0;
    virtual void listCtrlLeftDoubleClick(wxMouseEvent& event) = 0;
    virtual void listCtrlLeftDown(wxMouseEvent& event) = 0;
    virtual void listCtrlOnListColRightClick(wxListEvent& event) = 0;
    virtual void listCtrlOnListItemDeselected(wxListEvent& event) = 0;
    virtual void listCtrlOnListItemSelected(wxListEvent& event) = 0;
    virtual void listCtrlMotion(wxMouseEvent& event) { event.Skip(); }
    virtual void listCtrlOnRightDown(wxMouseEvent& event) = 0;
    virtual void buttonPrev(wxCommandEvent& event) = 0;
    virtual void buttonPlay(wxCommandEvent& event) = 0;
    virtual void buttonStop(wxCommandEvent& event) = 0;
    virtual void buttonNext(wxCommandEvent& event) = 0;
    virtual void controlPlaylistsOnButtonClick(wxCommandEvent& event) = 0;
    virtual void addFilesOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void captureAudioWithDeviceOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void addDirOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void addUrlOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void editUrlOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void renameOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void clearPlayListOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void addPlaylistOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void deleteSelectedOnMenuSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void folderCancelOnButtonClick(wxCommandEvent& event) { event.Skip(); }

private:
    void controlPlaylistsOnRightDown(wxMouseEvent& event);
};

}  // namespace frm::fb
