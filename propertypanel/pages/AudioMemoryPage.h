#pragma once
// The audio-memory page ("Аудио память"): the fragments and scenarios of the device's memory as
// a working copy that the operator edits through the lists' menus and the memory menu (images,
// clearing, dropping the edits), written to the device by apply with a progress dialog. The
// memory is read, edited, and read back to drop edits, off the window; until it arrives the page
// is empty and disabled, and it takes nothing while an edit is made.

#include <wx/event.h>
#include <wx/listctrl.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/kit/ScenarioDialog.h"
#include "propertypanel/MemoryRules.h"
#include "propertypanel/pages/PropertyPage.h"

class wxMenu;

namespace device::memory {
class IAudioControl;
}

namespace frm {

class AudioMemoryPage : public PropertyPage {
public:
    explicit AudioMemoryPage(PropertyDevicePanel& panel);

    void fill() override;
    // Writes the pending edits; without any nothing is written.
    void apply(AppliedHandler done) override;
    // The pending edits go as the memory is read again.
    void cancel() override;
    // The pending edits are dropped off the window.
    void leave() override;
    void release() override;

    // Writes the pending edits with a progress dialog; true when the device took them all. A
    // refusal of the memory passes on.
    bool writeAudioMemory();

    void listCtrlAudioFragmentOnRightDown(wxMouseEvent& event);
    void listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event);
    void listCtrlAudioFragmentOnListItemSelected(wxListEvent& event);
    void listCtrlAudioFragmentOnRightUp(wxMouseEvent& event);
    void menuFragmentPlayOnSelection(wxCommandEvent& event);
    void menuAudioStopOnSelection(wxCommandEvent& event);
    void menuFragmentAddOnSelection(wxCommandEvent& event);
    void menuFragmentSaveOnSelection(wxCommandEvent& event);
    void menuFragmentDeleteOnSelection(wxCommandEvent& event);
    void listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event);
    void listCtrlAudioScenarioOnListItemSelected(wxListEvent& event);
    void listCtrlAudioScenarioOnRightDown(wxMouseEvent& event);
    void listCtrlAudioScenarioOnRightUp(wxMouseEvent& event);
    void menuScenarioAddOnSelection(wxCommandEvent& event);
    void menuScenarioDeleteOnSelection(wxCommandEvent& event);
    void menuScenarioPlayOnSelection(wxCommandEvent& event);
    void audioMemoryOnButtonClick(wxCommandEvent& event);
    void clearMemory(wxCommandEvent& event);
    void revertChanges(wxCommandEvent& event);
    void saveImageMemory(wxCommandEvent& event);
    void saveRawImageMemory(wxCommandEvent& event);
    void loadImageMemory(wxCommandEvent& event);

private:
    using Memory = std::shared_ptr<device::memory::IAudioControl>;
    static constexpr std::int16_t kNoEntry = -1;

    // Empties and disables the page until the memory, read off the window, arrives; with
    // `dropEdits` the read drops the pending edits first.
    void awaitAudioMemory(bool dropEdits);
    // Reads the memory on the dispatcher and shows it, or the failure, when the page still shows.
    void readAudioMemory(bool overwrite, bool dropEdits);
    void showReadAudioMemory(const Memory& memory, const std::exception_ptr& failure);
    void showAudioMemory();
    void requireAudioMemory(const char* place) const;
    void loadListCtrlAudioFragment();
    void reorderListCtrlAudioFragment();
    void loadListCtrlAudioScenario();
    void clearFragmentSelection();
    void clearScenarioSelection();
    // Asks the memory whether it plays, off the window, then pops the menu up with its items.
    void popupMemoryMenu(wxMenu* menu, bool fragments, bool selected);
    void saveImage(bool raw);
    // An edit of the working copy: the memory first asks the device whether it plays, so the
    // change is made off the window and `show` shows it on the window's thread.
    void edit(const wchar_t* description, std::function<void(device::memory::IAudioControl&)> change,
              std::function<void()> show);
    void addScenario(const ScenarioDialog::Scenario& scenario, ScenarioDialog::Answer answer);

    // The working copy; empty while none is loaded.
    Memory memory_;
    // The selected rows and their ids, and where each fragment came from, in list order (empty:
    // already in the device's memory).
    std::int16_t selectedFragment_ = kNoEntry;
    int selectedFragmentRow_ = -1;
    std::int16_t selectedScenario_ = kNoEntry;
    int selectedScenarioRow_ = -1;
    std::vector<std::wstring> fragmentFiles_;
    std::map<int, wxString> menuLabels_;
};

}  // namespace frm
