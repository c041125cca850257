#pragma once
// The dialog of the saved command suites: it stores the panel's command list as a named suite,
// replaces the list with a stored suite and deletes suites, through the three functions the
// panel gives it.

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

class wxListBox;
class wxTextCtrl;

namespace frm {

class Questions;

class CmdSuiteDialog : public wxDialog {
public:
    using Commands = std::vector<std::wstring>;

    CmdSuiteDialog(wxWindow* parent, Questions& questions, std::function<Commands()> getList,
                   std::function<void(const Commands&)> fillList, std::function<void()> clearList);

private:
    void saveOnButtonClick(wxCommandEvent& event);
    void loadOnButtonClick(wxCommandEvent& event);
    void deleteOnButtonClick(wxCommandEvent& event);
    void showSuites();
    // The name in the field, else the selected suite's.
    std::wstring chosenName() const;

    Questions& questions_;
    std::function<Commands()> getList_;
    std::function<void(const Commands&)> fillList_;
    std::function<void()> clearList_;
    const std::wstring folder_;
    wxListBox* suites_;
    wxTextCtrl* name_;
};

}  // namespace frm
