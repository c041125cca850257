#pragma once
// The direct command exchange of the common and the debug page: a command typed or saved is sent
// to the device as it stands, and its answer is shown on the page it was sent from. The common
// page also keeps a list of saved commands, kept as suites in files.

#include <wx/event.h>

#include <string>
#include <vector>

namespace frm {

class PropertyDevicePanel;

class CommandExchange {
public:
    explicit CommandExchange(PropertyDevicePanel& panel);

    void OnSize(wxSizeEvent& event);
    void textDebugExchangeOnPress(wxCommandEvent& event);
    void buttonDebugExchangeOnClick(wxCommandEvent& event);
    void addCommandOnButtonClick(wxCommandEvent& event);
    void commandSuiteOnButtonClick(wxCommandEvent& event);
    void removeStrSizerOnClick(wxCommandEvent& event);

private:
    // Sends the command; its answer, or nothing when it is not answered, is shown once it came.
    void transferDirectRequest(const std::string& command);
    void addCommandRow(const std::wstring& command);
    std::vector<std::wstring> getCommandList() const;
    void fillCommandList(const std::vector<std::wstring>& commands);
    void clearCommandList();
    void fitCommandList();

    PropertyDevicePanel& panel_;
};

}  // namespace frm
