#pragma once
// The layout of the device property panel: a notebook of ten pages (common, audio memory,
// network, Nerida, sources, line, access keys, zone targets, linked consoles, debug messages),
// each a panel whose window id is its page id, and the bar below it with the device's name and
// the buttons "&Применить", "&Отмена", "&Закрыть". Every page is built here with all its
// controls; the derived panel fills them and overrides the handlers it serves.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/splitter.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <array>

namespace frm::fb {

class PropertyDevicePanel : public wxPanel {
public:
    // The window ids of the pages.
    enum PageId {
        ID_PAGE_COMMON = 1000,
        ID_PAGE_AUDIO_MEMORY = 1001,
        ID_PAGE_NETWORK = 1016,
        ID_PAGE_NERIDA = 1024,
        ID_PAGE_SOURCE = 1028,
        ID_PAGE_LINE_CONTROL = 1029,
        ID_PAGE_PASSKEY = 1030,
        ID_PAGE_ZONE_TARGETS = 1031,
        ID_PAGE_LINKED_CONSOLES = 1032,
        ID_PAGE_DEBUG_MESSAGE = 1033,
    };
    // The menu items of the audio-memory page.
    enum MenuId {
        ID_FRAGMENT_PLAY = 1002,
        ID_FRAGMENT_STOP = 1003,
        ID_FRAGMENT_ADD = 1004,
        ID_FRAGMENT_SAVE = 1005,
        ID_FRAGMENT_DELETE = 1006,
        ID_SCENARIO_ADD = 1007,
        ID_SCENARIO_DELETE = 1008,
        ID_SCENARIO_PLAY = 1009,
        ID_SCENARIO_STOP = 1010,
        ID_MEMORY_CLEAR = 1011,
        ID_MEMORY_REVERT = 1012,
        ID_MEMORY_SAVE_IMAGE = 1013,
        ID_MEMORY_SAVE_RAW_IMAGE = 1014,
        ID_MEMORY_LOAD_IMAGE = 1015,
    };
    static constexpr int kZoneCount = 20;
    static constexpr int kBandCount = 6;

    PropertyDevicePanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                        const wxSize& size = wxSize(900, 640), long style = wxTAB_TRAVERSAL,
                        const wxString& name = wxEmptyString);
    ~PropertyDevicePanel() override;

protected:
    wxNotebook* m_notebookPref;
    wxStaticText* m_deviceName;
    wxButton* m_apply;
    wxButton* m_cancel;
    wxButton* m_close;

    // "Общие".
    wxPanel* m_pageCommon;
    wxStaticText* m_nameLabel;
    wxTextCtrl* m_name;
    wxStaticText* m_tribelWarning;
    wxButton* m_updateFirmware;
    wxButton* m_reboot;
    wxButton* m_testDevice;
    wxCheckBox* m_equalizerCheck;
    wxPanel* m_equalizerArea;
    wxPanel* m_bassTreblePanel;
    wxStaticText* m_trebleLabel;
    wxSlider* m_trebleSlider;
    wxStaticText* m_bassLabel;
    wxSlider* m_bassSlider;
    wxPanel* m_bandPanel;
    std::array<wxSlider*, kBandCount> m_bands;
    wxButton* m_resetEqualizer;
    wxStaticBoxSizer* m_lineSettingsBox;
    wxCheckBox* m_lineTest;
    wxChoice* m_lineMode;
    wxButton* m_setLine;
    wxPanel* m_tribelPanel;
    wxCheckBox* m_keySound;
    wxCheckBox* m_singlePower;
    wxCheckBox* m_analogInput;
    wxCheckBox* m_faultSound;
    wxCheckBox* m_zoneIndication;
    wxCheckBox* m_holdToTalk;
    wxChoice* m_tribelType;
    wxSpinCtrl* m_typePriority;
    wxChoice* m_powerInput1;
    wxChoice* m_powerInput2;
    wxComboBox* m_gongCombo;
    wxCheckBox* m_useGong;
    wxPanel* m_directExchangePanel;
    wxTextCtrl* m_command;
    wxButton* m_exchange;
    wxButton* m_addCommand;
    wxButton* m_commandSuite;
    wxScrolledWindow* m_commandList;
    wxBoxSizer* m_commandRows;
    wxTextCtrl* m_reply;

    // "Аудио память".
    wxPanel* m_pageAudioMemory;
    wxStaticText* m_lowVolumeWarning;
    wxListCtrl* m_fragmentList;
    wxMenu* m_fragmentMenu;
    wxStaticBoxSizer* m_scenarioBox;
    wxListCtrl* m_scenarioList;
    wxMenu* m_scenarioMenu;
    wxTextCtrl* m_freeMemory;
    wxButton* m_audioMemoryButton;
    wxMenu* m_audioMemoryMenu;
    wxStaticText* m_stamp;

    // "Сеть".
    wxPanel* m_pageNetwork;
    wxCheckBox* m_lanRedundancy;
    wxCheckBox* m_dhcp;
    wxTextCtrl* m_ip;
    wxTextCtrl* m_mask;
    wxTextCtrl* m_gateway;
    wxTextCtrl* m_multicast;
    wxSpinCtrl* m_basePort;
    wxCheckBox* m_allowIp;
    wxTextCtrl* m_allowedIp;
    wxCheckBox* m_igmp;

    // "Нерида".
    wxPanel* m_pageNerida;
    wxSpinCtrl* m_neridaAddress;
    wxCheckBox* m_neridaRelay;
    wxCheckBox* m_neridaTest;
    wxCheckBox* m_neridaReserve;

    // "Источники".
    wxPanel* m_pageSource;
    wxCheckBox* m_allowOtherStream;
    wxCheckBox* m_passInput1;
    wxCheckBox* m_passInput2;
    // The six priority choices, items "7" down to "2".
    wxChoice* m_priVoiceAlert;
    wxChoice* m_priAin1;
    wxChoice* m_priAin0;
    wxChoice* m_priStreamMCast;
    wxChoice* m_priZoneInput;
    wxStaticText* m_priStreamLabel;
    wxChoice* m_priStream;
    wxChoice* m_ain0Scenario;
    wxChoice* m_ain1Scenario;
    wxCheckBox* m_ain0LineIntegrity;
    wxCheckBox* m_ain1LineIntegrity;
    wxButton* m_soundPressure;

    // "Линия".
    wxPanel* m_pageLine;
    wxStaticBoxSizer* m_tipBox;
    wxStaticText* m_tipVersion;
    wxStaticText* m_tipStatus;
    wxCheckBox* m_powerSave;
    wxButton* m_tipReboot;
    wxButton* m_tipAddAll;
    wxButton* m_tipRemoveAll;
    wxScrolledWindow* m_tipList;
    wxBoxSizer* m_tipRows;
    wxPanel* m_tipTemplateRow;

    // "Ключи".
    wxPanel* m_pagePasskey;
    wxPanel* m_accessControlPanel;
    wxToggleButton* m_accessControl;
    wxStaticText* m_passkeyHint;
    wxButton* m_addPasskey;
    wxButton* m_resetPasskeys;
    wxScrolledWindow* m_passkeyList;
    wxBoxSizer* m_passkeyRows;
    wxPanel* m_passkeyTemplateRow;

    // "Зоны трансляции".
    wxPanel* m_pageZoneTargets;
    wxPanel* m_zoneButtonsPanel;
    std::array<wxToggleButton*, kZoneCount> m_zoneButtons;
    wxComboBox* m_zoneMessage;
    wxStaticText* m_zoneMemoryHint;
    wxButton* m_removeZone;
    wxButton* m_resetZones;
    wxButton* m_fixZones;
    wxCheckBox* m_allZones;
    wxScrolledWindow* m_zoneDeviceList;
    wxBoxSizer* m_zoneDeviceRows;

    // "Связанные консоли".
    wxPanel* m_pageLinkedConsoles;
    wxScrolledWindow* m_linkedConsoleList;
    wxBoxSizer* m_linkedConsoleRows;
    wxButton* m_fixLinks;

    // "Отладочные сообщения".
    wxPanel* m_pageDebug;
    wxToggleButton* m_debugMain;
    wxToggleButton* m_debugLine;
    wxCheckBox* m_debugRequest;
    wxStaticText* m_debugMark;
    wxChoice* m_refreshTime;
    wxButton* m_copy;
    wxButton* m_clear;
    wxSlider* m_volumeSlider;
    wxCheckBox* m_chart;
    wxSplitterWindow* m_mainSplitter;
    wxScrolledWindow* m_debugTextScroll;
    wxPanel* m_debugTextPanel;
    wxSplitterWindow* m_historySplitter;
    wxTextCtrl* m_debugCommand;
    wxButton* m_debugExchange;
    wxTextCtrl* m_debugReply;
    wxPanel* m_historyPanel;
    wxTextCtrl* m_debugHistoryMain;
    wxTextCtrl* m_debugHistoryLine;
    wxTextCtrl* m_consoleLog;
    wxPanel* m_chartPanel;

    // The handlers, in slot order.
    virtual void notebookPrefOnNotebookPageChanged(wxNotebookEvent& event) { event.Skip(); }
    virtual void revertChanges(wxCommandEvent& event) { event.Skip(); }
    virtual void applyOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void cancelOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void closeOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    // Edits that only mark the page changed; the first lets the event go on, the second not.
    virtual void enableApplyOnChar(wxEvent& event) { event.Skip(); }
    virtual void enableApplyOnSettingChanged(wxEvent& event) { event.Skip(); }

    virtual void OnSize(wxSizeEvent& event) { event.Skip(); }
    virtual void textDebugExchangeOnPress(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonDebugExchangeOnClick(wxCommandEvent& event) { event.Skip(); }
    virtual void addCommandOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void commandSuiteOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void updateFirmwareOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void rebootOnClick(wxCommandEvent& event) { event.Skip(); }
    virtual void testDeviceOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void buttonSetLineOnClick(wxCommandEvent& event) { event.Skip(); }
    virtual void onCheckBoxEqualizer(wxCommandEvent& event) { event.Skip(); }
    virtual void onLeftUpBassSlider(wxMouseEvent& event) { event.Skip(); }
    virtual void onLeftUpTrebleSlider(wxMouseEvent& event) { event.Skip(); }
    virtual void onBandSlider(wxEvent& event) { event.Skip(); }
    virtual void resetEqOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void changeTribelTypeOnChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void singlePowerOnCheckBox(wxCommandEvent& event) { event.Skip(); }

    virtual void listCtrlAudioFragmentOnRightDown(wxMouseEvent& event) { event.Skip(); }
    virtual void listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event) { event.Skip(); }
    virtual void listCtrlAudioFragmentOnListItemSelected(wxListEvent& event) { event.Skip(); }
    virtual void listCtrlAudioFragmentOnRightUp(wxMouseEvent& event) { event.Skip(); }
    virtual void menuFragmentPlayOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuAudioStopOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuFragmentAddOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuFragmentSaveOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuFragmentDeleteOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event) { event.Skip(); }
    virtual void listCtrlAudioScenarioOnListItemSelected(wxListEvent& event) { event.Skip(); }
    virtual void listCtrlAudioScenarioOnRightDown(wxMouseEvent& event) { event.Skip(); }
    virtual void listCtrlAudioScenarioOnRightUp(wxMouseEvent& event) { event.Skip(); }
    virtual void menuScenarioAddOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuScenarioDeleteOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void menuScenarioPlayOnSelection(wxCommandEvent& event) { event.Skip(); }
    virtual void audioMemoryOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void clearMemory(wxCommandEvent& event) { event.Skip(); }
    virtual void saveImageMemory(wxCommandEvent& event) { event.Skip(); }
    virtual void saveRawImageMemory(wxCommandEvent& event) { event.Skip(); }
    virtual void loadImageMemory(wxCommandEvent& event) { event.Skip(); }

    virtual void dhcpOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void allowIpOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void onCheckBoxIsTestNerida(wxCommandEvent& event) { event.Skip(); }
    virtual void sourceOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void sourcePriorityOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void testSoundPressureOnButtonClick(wxCommandEvent& event) { event.Skip(); }

    virtual void tipDevicesOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void rebootMasterOfTipDevices(wxCommandEvent& event) { event.Skip(); }
    virtual void addAllTipDevices_onButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void resetPrefOnButtonClick(wxCommandEvent& event) { event.Skip(); }

    virtual void accessControlOnToggleButton(wxCommandEvent& event) { event.Skip(); }
    virtual void addPasskeyOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void resetPasskeysOnButtonClick(wxCommandEvent& event) { event.Skip(); }

    virtual void toggleZoneButton(wxCommandEvent& event) { event.Skip(); }
    virtual void removeZoneOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void resetZonesOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void fixZoneIntegrityOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void allZonesOnCheckBox(wxCommandEvent& event) { event.Skip(); }

    virtual void debugTargetOnToggleButton(wxCommandEvent& event) { event.Skip(); }
    virtual void debugMessagesOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void refreshTimeOnChoice(wxCommandEvent& event) { event.Skip(); }
    virtual void copyOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void clearOnButtonClick(wxCommandEvent& event) { event.Skip(); }
    virtual void setVolumeOnScrollChanged(wxScrollEvent& event) { event.Skip(); }
    virtual void chartOnCheckBox(wxCommandEvent& event) { event.Skip(); }
    virtual void paintTextOnPanel(wxPaintEvent& event) { event.Skip(); }

private:
    void buildCommonPage();
    void buildAudioMemoryPage();
    void buildNetworkPage();
    void buildNeridaPage();
    void buildSourcePage();
    void buildLinePage();
    void buildPasskeyPage();
    void buildZoneTargetsPage();
    void buildLinkedConsolesPage();
    void buildDebugPage();
    void bindEvents();
    // A page panel of the notebook with its id, added last.
    wxPanel* addPage(int id, const wxString& title);
};

}  // namespace frm::fb
