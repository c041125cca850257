// The audio-memory page: the fragment and scenario lists with their menus, the memory menu with
// its images, and the write of the pending edits.

#include <wx/menu.h>

#include "app/kit/FragmentDialog.h"
#include "app/kit/GuiFreezer.h"
#include "app/kit/ProgressBarDialog.h"
#include "app/kit/Questions.h"
#include "app/kit/ScenarioDialog.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/IAudioControl.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "propertypanel/MemoryPage.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

std::int16_t idOf(const wxListCtrl* list, long row) {
    return static_cast<std::int16_t>(list->GetItemData(row));
}

}  // namespace

void PropertyDevicePanel::showAudioMemory() {
    m_fragmentFiles.clear();
    if (m_audioMemory) m_fragmentFiles.assign(m_audioMemory->getFragments().size(), L"");
    loadListCtrlAudioFragment();
    loadListCtrlAudioScenario();
}

void PropertyDevicePanel::requireAudioMemory(const char* place) const {
    debug::throwIfFalse(m_audioMemory != nullptr, place);
}

void PropertyDevicePanel::loadListCtrlAudioFragment() {
    GuiFreezer freezer(m_fragmentList);
    clearFragmentSelection();
    m_fragmentList->DeleteAllItems();
    if (!m_audioMemory) return;
    for (const memorypage::FragmentRow& row :
         memorypage::fragmentRows(m_audioMemory->getFragments(), m_fragmentFiles)) {
        const long item = m_fragmentList->InsertItem(m_fragmentList->GetItemCount(), wxEmptyString);
        m_fragmentList->SetItem(item, 1, row.name);
        m_fragmentList->SetItem(item, 2, row.size);
        m_fragmentList->SetItem(item, 3, row.path);
        m_fragmentList->SetItemData(item, row.id);
    }
    reorderListCtrlAudioFragment();
    m_stamp->SetLabel(m_audioMemory->getHash());
}

void PropertyDevicePanel::reorderListCtrlAudioFragment() {
    debug::Place("frm::PropertyDevicePanel::reorderListCtrlAudioFragment").trace2(L"");
    for (long row = 0; row < m_fragmentList->GetItemCount(); ++row)
        m_fragmentList->SetItem(row, 0, wxString::Format(L"%li", row + 1));
    if (m_audioMemory)
        m_freeMemory->ChangeValue(
            wxString::Format(L"%zu", std::size_t(m_audioMemory->getSizeOfFreeMemory())));
    clearFragmentSelection();
}

void PropertyDevicePanel::loadListCtrlAudioScenario() {
    GuiFreezer freezer(m_scenarioList);
    clearScenarioSelection();
    m_scenarioList->DeleteAllItems();
    if (!m_audioMemory) return;
    for (const memorypage::ScenarioRow& row :
         memorypage::scenarioRows(m_audioMemory->getScenarios(), m_audioMemory->getFragments())) {
        const long item = m_scenarioList->InsertItem(m_scenarioList->GetItemCount(), row.number);
        m_scenarioList->SetItem(item, 1, row.name);
        m_scenarioList->SetItem(item, 2, row.gong);
        m_scenarioList->SetItem(item, 3, row.fragment);
        m_scenarioList->SetItem(item, 4, row.period);
        m_scenarioList->SetItemData(item, row.id);
    }
    m_freeMemory->ChangeValue(memorypage::groupedDigits(m_audioMemory->getSizeOfFreeMemory()));
    m_stamp->SetLabel(m_audioMemory->getHash());
}

void PropertyDevicePanel::clearFragmentSelection() {
    m_selectedFragment = kNoEntry;
    m_selectedFragmentRow = -1;
}

void PropertyDevicePanel::clearScenarioSelection() {
    m_selectedScenario = kNoEntry;
    m_selectedScenarioRow = -1;
}

void PropertyDevicePanel::listCtrlAudioFragmentOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnListItemSelected").trace(L"");
    m_selectedFragmentRow = static_cast<int>(event.GetIndex());
    m_selectedFragment = idOf(m_fragmentList, event.GetIndex());
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnListItemDeselected").trace(L"");
    clearFragmentSelection();
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioScenarioOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnListItemSelected").trace(L"");
    m_selectedScenarioRow = static_cast<int>(event.GetIndex());
    m_selectedScenario = idOf(m_scenarioList, event.GetIndex());
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnListItemDeselected").trace(L"");
    clearScenarioSelection();
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioFragmentOnRightDown(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightDown").trace(L"");
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioScenarioOnRightDown(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightDown").trace(L"");
    event.Skip();
}

memorypage::MenuState PropertyDevicePanel::memoryMenuState(bool selected) {
    return {m_audioMemory->isPlaying(), selected, m_audioMemory->hasChanges(),
            dynamic_cast<device::VokarInfo*>(m_device.get()) != nullptr};
}

void PropertyDevicePanel::popupMemoryMenu(wxMenu* menu, const std::vector<int>& items) {
    // The menu is made anew from the labels the layout gave its items.
    if (m_memoryMenuLabels.empty()) {
        for (wxMenu* source : {m_fragmentMenu, m_scenarioMenu}) {
            for (const wxMenuItem* item : source->GetMenuItems())
                m_memoryMenuLabels[item->GetId()] = item->GetItemLabel();
        }
    }
    while (menu->GetMenuItemCount() > 0) menu->Destroy(menu->FindItemByPosition(0));
    for (const int id : items) menu->Append(id, m_memoryMenuLabels.at(id));
    const debug::Place place("frm::PropertyDevicePanel::popupMemoryMenu");
    place.trace2(L"Show menu for fragments.");
    if (!items.empty()) PopupMenu(menu, ScreenToClient(wxGetMousePosition()));
    place.debug(L"Showed menu for fragments.");
}

void PropertyDevicePanel::listCtrlAudioFragmentOnRightUp(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightUp").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightUp");
    popupMemoryMenu(m_fragmentMenu, memorypage::fragmentMenu(memoryMenuState(m_selectedFragmentRow >= 0)));
    event.Skip();
}

void PropertyDevicePanel::listCtrlAudioScenarioOnRightUp(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightUp").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightUp");
    popupMemoryMenu(m_scenarioMenu, memorypage::scenarioMenu(memoryMenuState(m_selectedScenarioRow >= 0)));
    event.Skip();
}

void PropertyDevicePanel::menuFragmentPlayOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentPlayOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentPlayOnSelection");
    if (m_selectedFragmentRow >= 0) m_audioMemory->playFragment(m_selectedFragment);
    event.Skip();
}

void PropertyDevicePanel::menuScenarioPlayOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioPlayOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioPlayOnSelection");
    if (m_selectedScenarioRow >= 0) m_audioMemory->playScenario(m_selectedScenario);
    event.Skip();
}

void PropertyDevicePanel::menuAudioStopOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuAudioStopOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuAudioStopOnSelection");
    m_audioMemory->stop();
    event.Skip();
}

void PropertyDevicePanel::menuFragmentAddOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentAddOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentAddOnSelection");
    std::wstring name;
    std::wstring path;
    FragmentDialog dialog(this, L"Добавить фрагмент", name, path);
    if (m_questions.showModal(dialog) == wxID_OK) {
        m_audioMemory->addFragment(base::readFile(path), name);
        m_fragmentFiles.push_back(path);
        loadListCtrlAudioFragment();
        enableApplyButtons(true);
    }
    clearFragmentSelection();
    event.Skip();
}

void PropertyDevicePanel::menuFragmentSaveOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentSaveOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentSaveOnSelection");
    event.Skip();
    if (m_selectedFragmentRow < 0) return;
    const device::memory::FragmentEntry fragment = m_audioMemory->getFragment(m_selectedFragment);
    const auto path = m_questions.askFile(
        {L"Сохранить фрагмент", L"Audio (*.mp3)|*.mp3", memorypage::exportFileName(fragment.name), true});
    if (path) base::writeFile(*path, m_audioMemory->getFragmentFile(fragment.id));
}

void PropertyDevicePanel::menuFragmentDeleteOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentDeleteOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentDeleteOnSelection");
    event.Skip();
    if (m_selectedFragmentRow < 0) return;
    const int row = m_selectedFragmentRow;
    m_audioMemory->removeFragment(m_selectedFragment);
    if (m_fragmentFiles.size() == m_audioMemory->getFragments().size() + 1 &&
        static_cast<std::size_t>(row) < m_fragmentFiles.size())
        m_fragmentFiles.erase(m_fragmentFiles.begin() + row);
    m_fragmentList->DeleteItem(row);
    reorderListCtrlAudioFragment();
    loadListCtrlAudioScenario();
    enableApplyButtons(true);
}

void PropertyDevicePanel::menuScenarioAddOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioAddOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioAddOnSelection");
    ScenarioDialog dialog(this, m_audioMemory);
    if (m_questions.showModal(dialog) == wxID_OK) {
        loadListCtrlAudioScenario();
        enableApplyButtons(true);
    }
    clearScenarioSelection();
    event.Skip();
}

void PropertyDevicePanel::menuScenarioDeleteOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioDeleteOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioDeleteOnSelection");
    event.Skip();
    if (m_selectedScenarioRow < 0) return;
    m_audioMemory->removeScenario(m_selectedScenario);
    enableApplyButtons(true);
    loadListCtrlAudioScenario();
}

void PropertyDevicePanel::audioMemoryOnButtonClick(wxCommandEvent& event) {
    PopupMenu(m_audioMemoryMenu, ScreenToClient(wxGetMousePosition()));
    event.Skip();
}

void PropertyDevicePanel::clearMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::clearMemory").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::clearMemory");
    event.Skip();
    clearFragmentSelection();
    clearScenarioSelection();
    m_audioMemory->clear();
    m_fragmentFiles.clear();
    loadListCtrlAudioFragment();
    loadListCtrlAudioScenario();
    enableApplyButtons(true);
}

void PropertyDevicePanel::revertChanges(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::revertChanges").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::revertChanges");
    event.Skip();
    enableApplyButtons(false);
    awaitAudioMemory(true);
}

void PropertyDevicePanel::saveImage(bool raw) {
    requireAudioMemory("frm::PropertyDevicePanel::saveImageMemory");
    const auto path = m_questions.askFile(
        raw ? Questions::
                  FileQuestion{L"Сохранить сырой образ аудио памяти напрямую с устройства (без проверок "
                               L"целостности)",
                               L"Аудио Память (*.raw-a-bin)|*.raw-a-bin", L"", true}
            : Questions::FileQuestion{L"Сохранить образ аудио памяти", L"Аудио Память (*.a-bin)|*.a-bin", L"",
                                      true});
    // The image is made before the file is touched: a refusal leaves the file as it was.
    if (path) base::writeFile(*path, m_audioMemory->getImage(raw));
}

void PropertyDevicePanel::saveImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::saveImageMemory").trace(L"");
    event.Skip();
    saveImage(false);
}

void PropertyDevicePanel::saveRawImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::saveRawImageMemory").trace(L"");
    event.Skip();
    saveImage(true);
}

void PropertyDevicePanel::loadImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::loadImageMemory").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::loadImageMemory");
    event.Skip();
    const auto path = m_questions.askFile(
        {L"Открыть образ аудио памяти", L"Аудио Память (*.a-bin)|*.a-bin;*.raw-a-bin", L"", false});
    if (!path) return;
    m_audioMemory->setImage(base::readFile(*path));
    m_fragmentFiles.assign(m_audioMemory->getFragments().size(), *path);
    enableApplyButtons(true);
    loadListCtrlAudioFragment();
    loadListCtrlAudioScenario();
}

bool PropertyDevicePanel::writeAudioMemory() {
    const debug::Place place("frm::PropertyDevicePanel::writeAudioMemory");
    place.trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::writeAudioMemory");
    ProgressBarDialog dialog(this, L"Прошивка аудио данных...");
    const ProgressBarDialog::Reporter report = dialog.reporter();
    // The memory belongs to the device: its progress handler holds the device weakly.
    const std::weak_ptr<device::DeviceBase> device = m_device;
    if (m_device) dialog.expect(m_device);
    try {
        m_audioMemory->writeChanges([report, device](int percent) {
            if (const DevicePtr alive = device.lock()) report(alive, percent);
        });
    } catch (const exception::Base& refusal) {
        place.debug(L"%1%", refusal.message);
        throw;
    }
    dialog.CentreOnParent();
    const int result = m_questions.showModal(dialog);
    const bool success = result == wxID_OK && dialog.failedDevices().empty();
    if (success) {
        m_fragmentFiles.assign(m_audioMemory->getFragments().size(), L"");
        updateData();
    } else {
        place.error(L"Произошла ошибка при обновлении аудио данных");
    }
    return success;
}

}  // namespace frm
