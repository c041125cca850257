#include "propertypanel/pages/AudioMemoryPage.h"

#include <wx/menu.h>

#include <mutex>
#include <optional>

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
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

constexpr std::size_t kMemorySlot = 0;
constexpr std::size_t kMenuSlot = 1;
constexpr std::size_t kFileSlot = 2;

std::int16_t idOf(const wxListCtrl* list, long row) {
    return static_cast<std::int16_t>(list->GetItemData(row));
}

// What a read of the memory brought: the memory or why there is none.
using device::memory::IAudioControl;

struct MemoryRead {
    std::shared_ptr<device::memory::IAudioControl> memory;
    std::exception_ptr failure;
};

}  // namespace

AudioMemoryPage::AudioMemoryPage(PropertyDevicePanel& panel)
    : PropertyPage(panel, pages::audioMemory, panel.m_pageAudioMemory) {
    if (!panel.debugMode()) {
        panel.m_audioMemoryMenu->Destroy(PropertyDevicePanel::ID_MEMORY_SAVE_RAW_IMAGE);
        panel.m_stamp->Hide();
    }
    const long listStyle = wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_HRULES;
    panel.m_fragmentList->SetWindowStyleFlag(listStyle);
    for (const wchar_t* column : {L"№", L"Название", L"Размер", L"Путь к файлу"})
        panel.m_fragmentList->AppendColumn(column);
    panel.m_scenarioList->SetWindowStyleFlag(listStyle);
    for (const wchar_t* column : {L"№", L"Название", L"Гонг", L"Фрагмент", L"Повторять (сек)"})
        panel.m_scenarioList->AppendColumn(column);
}

void AudioMemoryPage::fill() {
    PropertyDevicePanel& p = panel();
    const int fragmentWidth = p.m_fragmentList->GetClientSize().GetWidth();
    const double fragmentShares[] = {18, 1.8, 10, 3.5};
    for (int column = 0; column < 4; ++column)
        p.m_fragmentList->SetColumnWidth(column, static_cast<int>(fragmentWidth / fragmentShares[column]));
    const int scenarioWidth = p.m_scenarioList->GetClientSize().GetWidth();
    const double scenarioShares[] = {18, 2.2, 9, 4.5, 6.5};
    for (int column = 0; column < 5; ++column)
        p.m_scenarioList->SetColumnWidth(column, static_cast<int>(scenarioWidth / scenarioShares[column]));
    p.m_pageAudioMemory->GetSizer()->Show(p.m_scenarioBox, traitsOf(*device()).loudspeaker, true);
    awaitAudioMemory(false);
}

void AudioMemoryPage::cancel() {
    if (device()) awaitAudioMemory(true);
}

void AudioMemoryPage::leave() {
    // The pending edits are dropped off the window; the memory's lock keeps its readers waiting
    // meanwhile.
    if (!memory_ || !memory_->hasChanges()) return;
    base::ThreadDispatcher::add(L"drop the audio memory's edits", 0, [memory = memory_] {
        try {
            memory->reload();
        } catch (const exception::Base& failure) {
            debug::Place("frm::PropertyDevicePanel::leaveTab")
                .important(L"%1%", failure.description.empty() ? failure.message : failure.description);
        }
    });
}

void AudioMemoryPage::release() {
    memory_.reset();
}

void AudioMemoryPage::apply(AppliedHandler done) {
    Applied applied;
    if (memory_ && memory_->hasChanges()) applied.success = writeAudioMemory();
    done(applied);
}

void AudioMemoryPage::awaitAudioMemory(bool dropEdits) {
    // The memory is read off the window: until it arrives the page shows nothing and takes no edits.
    await();
    panel().m_freeMemory->Clear();
    memory_.reset();
    showAudioMemory();
    readAudioMemory(false, dropEdits);
}

void AudioMemoryPage::readAudioMemory(bool overwrite, bool dropEdits) {
    read<MemoryRead>(
        kMemorySlot, L"read the audio memory",
        [overwrite, dropEdits](const DevicePtr& device) {
            MemoryRead read;
            try {
                read.memory = device->getAudioMemory(overwrite, true);
                if (read.memory && dropEdits) read.memory->reload();
            } catch (const exception::Base&) {
                read.failure = std::current_exception();
            }
            return read;
        },
        [this](const MemoryRead& read) { showReadAudioMemory(read.memory, read.failure); });
}

void AudioMemoryPage::showReadAudioMemory(const Memory& memory, const std::exception_ptr& failure) {
    PropertyDevicePanel& p = panel();
    memory_ = memory;
    if (failure) {
        // Without its memory the page has nothing to edit: it stays out of use until it is read
        // again, and the operator may allow a memory the program cannot read to be written over.
        fail();
        showAudioMemory();
        try {
            std::rethrow_exception(failure);
        } catch (const exception::Base& error) {
            debug::Place("frm::PropertyDevicePanel::updateData")
                .warn(L"%1%", error.description.empty() ? error.message : error.description);
            if (fill::offerOverwrite(error) &&
                p.questions().ask({L"Сообщение", L"Разрешить перезапись аудио памяти?",
                                   Questions::Question::Buttons::okCancel})) {
                await();
                readAudioMemory(true, false);
            }
        }
        return;
    }
    ready();
    showAudioMemory();
    if (memory_ && memory_->hasChanges()) p.enableApplyButtons(true);
    p.m_pageAudioMemory->Layout();
}

void AudioMemoryPage::showAudioMemory() {
    fragmentFiles_.clear();
    if (memory_) fragmentFiles_.assign(memory_->getFragments().size(), L"");
    loadListCtrlAudioFragment();
    loadListCtrlAudioScenario();
}

void AudioMemoryPage::requireAudioMemory(const char* place) const {
    debug::throwIfFalse(memory_ != nullptr, place);
}

void AudioMemoryPage::loadListCtrlAudioFragment() {
    PropertyDevicePanel& p = panel();
    GuiFreezer freezer(p.m_fragmentList);
    clearFragmentSelection();
    p.m_fragmentList->DeleteAllItems();
    if (!memory_) return;
    for (const memorypage::FragmentRow& row :
         memorypage::fragmentRows(memory_->getFragments(), fragmentFiles_)) {
        const long item = p.m_fragmentList->InsertItem(p.m_fragmentList->GetItemCount(), wxEmptyString);
        p.m_fragmentList->SetItem(item, 1, row.name);
        p.m_fragmentList->SetItem(item, 2, row.size);
        p.m_fragmentList->SetItem(item, 3, row.path);
        p.m_fragmentList->SetItemData(item, row.id);
    }
    reorderListCtrlAudioFragment();
    p.m_stamp->SetLabel(memory_->getHash());
}

void AudioMemoryPage::reorderListCtrlAudioFragment() {
    debug::Place("frm::PropertyDevicePanel::reorderListCtrlAudioFragment").trace2(L"");
    PropertyDevicePanel& p = panel();
    for (long row = 0; row < p.m_fragmentList->GetItemCount(); ++row)
        p.m_fragmentList->SetItem(row, 0, wxString::Format(L"%li", row + 1));
    if (memory_)
        p.m_freeMemory->ChangeValue(wxString::Format(L"%zu", std::size_t(memory_->getSizeOfFreeMemory())));
    clearFragmentSelection();
}

void AudioMemoryPage::loadListCtrlAudioScenario() {
    PropertyDevicePanel& p = panel();
    GuiFreezer freezer(p.m_scenarioList);
    clearScenarioSelection();
    p.m_scenarioList->DeleteAllItems();
    if (!memory_) return;
    for (const memorypage::ScenarioRow& row :
         memorypage::scenarioRows(memory_->getScenarios(), memory_->getFragments())) {
        const long item = p.m_scenarioList->InsertItem(p.m_scenarioList->GetItemCount(), row.number);
        p.m_scenarioList->SetItem(item, 1, row.name);
        p.m_scenarioList->SetItem(item, 2, row.gong);
        p.m_scenarioList->SetItem(item, 3, row.fragment);
        p.m_scenarioList->SetItem(item, 4, row.period);
        p.m_scenarioList->SetItemData(item, row.id);
    }
    p.m_freeMemory->ChangeValue(memorypage::groupedDigits(memory_->getSizeOfFreeMemory()));
    p.m_stamp->SetLabel(memory_->getHash());
}

void AudioMemoryPage::clearFragmentSelection() {
    selectedFragment_ = kNoEntry;
    selectedFragmentRow_ = -1;
}

void AudioMemoryPage::clearScenarioSelection() {
    selectedScenario_ = kNoEntry;
    selectedScenarioRow_ = -1;
}

void AudioMemoryPage::listCtrlAudioFragmentOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnListItemSelected").trace(L"");
    selectedFragmentRow_ = static_cast<int>(event.GetIndex());
    selectedFragment_ = idOf(panel().m_fragmentList, event.GetIndex());
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioFragmentOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnListItemDeselected").trace(L"");
    clearFragmentSelection();
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioScenarioOnListItemSelected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnListItemSelected").trace(L"");
    selectedScenarioRow_ = static_cast<int>(event.GetIndex());
    selectedScenario_ = idOf(panel().m_scenarioList, event.GetIndex());
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioScenarioOnListItemDeselected(wxListEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnListItemDeselected").trace(L"");
    clearScenarioSelection();
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioFragmentOnRightDown(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightDown").trace(L"");
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioScenarioOnRightDown(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightDown").trace(L"");
    event.Skip();
}

void AudioMemoryPage::popupMemoryMenu(wxMenu* menu, bool fragments, bool selected) {
    PropertyDevicePanel& p = panel();
    // The menu is made anew from the labels the layout gave its items.
    if (menuLabels_.empty()) {
        for (wxMenu* source : {p.m_fragmentMenu, p.m_scenarioMenu}) {
            for (const wxMenuItem* item : source->GetMenuItems())
                menuLabels_[item->GetId()] = item->GetItemLabel();
        }
    }
    const bool loudspeaker = dynamic_cast<device::VokarInfo*>(device().get()) != nullptr;
    const bool changes = memory_->hasChanges();
    // Whether the memory plays may take an exchange with the device.
    read<bool>(
        kMenuSlot, L"ask whether the memory plays",
        [memory = memory_](const DevicePtr&) { return memory->isPlaying(); },
        [this, &p, menu, fragments, selected, loudspeaker, changes](const bool& playing) {
            const memorypage::MenuState state{playing, selected, changes, loudspeaker};
            const std::vector<int> items =
                fragments ? memorypage::fragmentMenu(state) : memorypage::scenarioMenu(state);
            while (menu->GetMenuItemCount() > 0) menu->Destroy(menu->FindItemByPosition(0));
            for (const int id : items) menu->Append(id, menuLabels_.at(id));
            const debug::Place place("frm::PropertyDevicePanel::popupMemoryMenu");
            place.trace2(L"Show menu for fragments.");
            if (!items.empty()) p.PopupMenu(menu, p.ScreenToClient(wxGetMousePosition()));
            place.debug(L"Showed menu for fragments.");
        });
}

void AudioMemoryPage::listCtrlAudioFragmentOnRightUp(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightUp").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::listCtrlAudioFragmentOnRightUp");
    popupMemoryMenu(panel().m_fragmentMenu, true, selectedFragmentRow_ >= 0);
    event.Skip();
}

void AudioMemoryPage::listCtrlAudioScenarioOnRightUp(wxMouseEvent& event) {
    debug::Place("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightUp").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::listCtrlAudioScenarioOnRightUp");
    popupMemoryMenu(panel().m_scenarioMenu, false, selectedScenarioRow_ >= 0);
    event.Skip();
}

void AudioMemoryPage::menuFragmentPlayOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentPlayOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentPlayOnSelection");
    if (selectedFragmentRow_ >= 0)
        send(L"play a fragment",
             [memory = memory_, id = selectedFragment_](const DevicePtr&) { memory->playFragment(id); });
    event.Skip();
}

void AudioMemoryPage::menuScenarioPlayOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioPlayOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioPlayOnSelection");
    if (selectedScenarioRow_ >= 0)
        send(L"play a scenario",
             [memory = memory_, id = selectedScenario_](const DevicePtr&) { memory->playScenario(id); });
    event.Skip();
}

void AudioMemoryPage::menuAudioStopOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuAudioStopOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuAudioStopOnSelection");
    send(L"stop playing the memory", [memory = memory_](const DevicePtr&) { memory->stop(); });
    event.Skip();
}

void AudioMemoryPage::menuFragmentAddOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentAddOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentAddOnSelection");
    PropertyDevicePanel& p = panel();
    std::wstring name;
    std::wstring path;
    FragmentDialog dialog(&p, L"Добавить фрагмент", name, path);
    clearFragmentSelection();
    event.Skip();
    if (p.questions().showModal(dialog) != wxID_OK) return;
    edit(L"add a fragment",
         [path, name](IAudioControl& memory) { memory.addFragment(base::readFile(path), name); },
         [this, path] {
             fragmentFiles_.push_back(path);
             loadListCtrlAudioFragment();
         });
}

void AudioMemoryPage::menuFragmentSaveOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentSaveOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentSaveOnSelection");
    event.Skip();
    if (selectedFragmentRow_ < 0) return;
    const device::memory::FragmentEntry fragment = memory_->getFragment(selectedFragment_);
    const auto path = panel().questions().askFile(
        {L"Сохранить фрагмент", L"Audio (*.mp3)|*.mp3", memorypage::exportFileName(fragment.name), true});
    if (!path) return;
    // A fragment not loaded yet is read from the device.
    read<std::string>(
        kFileSlot, L"read a fragment",
        [memory = memory_, id = fragment.id](const DevicePtr&) { return memory->getFragmentFile(id); },
        [path = *path](const std::string& data) { base::writeFile(path, data); });
}

void AudioMemoryPage::menuFragmentDeleteOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuFragmentDeleteOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuFragmentDeleteOnSelection");
    event.Skip();
    if (selectedFragmentRow_ < 0) return;
    const int row = selectedFragmentRow_;
    edit(L"delete a fragment", [id = selectedFragment_](IAudioControl& memory) { memory.removeFragment(id); },
         [this, row] {
             if (fragmentFiles_.size() == memory_->getFragments().size() + 1 &&
                 static_cast<std::size_t>(row) < fragmentFiles_.size())
                 fragmentFiles_.erase(fragmentFiles_.begin() + row);
             panel().m_fragmentList->DeleteItem(row);
             reorderListCtrlAudioFragment();
             loadListCtrlAudioScenario();
         });
}

void AudioMemoryPage::menuScenarioAddOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioAddOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioAddOnSelection");
    PropertyDevicePanel& p = panel();
    // The dialog stays open while the memory refuses the scenario; each try is made off the window.
    ScenarioDialog dialog(&p, memory_->getFragments(),
                          [this](const ScenarioDialog::Scenario& scenario, ScenarioDialog::Answer answer) {
                              addScenario(scenario, std::move(answer));
                          });
    p.questions().showModal(dialog);
    clearScenarioSelection();
    event.Skip();
}

void AudioMemoryPage::addScenario(const ScenarioDialog::Scenario& scenario, ScenarioDialog::Answer answer) {
    using Refusal = std::optional<std::wstring>;
    write<Refusal>(
        L"add a scenario",
        [memory = memory_, scenario](const DevicePtr&) -> Refusal {
            try {
                memory->addScenario(scenario.gongId, scenario.fragmentId, scenario.repeatPeriod, scenario.name);
            } catch (const exception::ExternalError& refusal) {
                return refusal.description.empty() ? refusal.message : refusal.description;
            }
            return std::nullopt;
        },
        [this, answer](const Refusal& refusal) {
            if (!refusal) {
                loadListCtrlAudioScenario();
                panel().enableApplyButtons(true);
            }
            answer(refusal);
        });
}

void AudioMemoryPage::menuScenarioDeleteOnSelection(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::menuScenarioDeleteOnSelection").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::menuScenarioDeleteOnSelection");
    event.Skip();
    if (selectedScenarioRow_ < 0) return;
    edit(L"delete a scenario", [id = selectedScenario_](IAudioControl& memory) { memory.removeScenario(id); },
         [this] { loadListCtrlAudioScenario(); });
}

void AudioMemoryPage::audioMemoryOnButtonClick(wxCommandEvent& event) {
    PropertyDevicePanel& p = panel();
    p.PopupMenu(p.m_audioMemoryMenu, p.ScreenToClient(wxGetMousePosition()));
    event.Skip();
}

void AudioMemoryPage::clearMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::clearMemory").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::clearMemory");
    event.Skip();
    clearFragmentSelection();
    clearScenarioSelection();
    edit(L"clear the audio memory", [](IAudioControl& memory) { memory.clear(); },
         [this] {
             fragmentFiles_.clear();
             loadListCtrlAudioFragment();
             loadListCtrlAudioScenario();
         });
}

void AudioMemoryPage::revertChanges(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::revertChanges").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::revertChanges");
    event.Skip();
    panel().enableApplyButtons(false);
    awaitAudioMemory(true);
}

void AudioMemoryPage::saveImage(bool raw) {
    requireAudioMemory("frm::PropertyDevicePanel::saveImageMemory");
    const auto path = panel().questions().askFile(
        raw ? Questions::
                  FileQuestion{L"Сохранить сырой образ аудио памяти напрямую с устройства (без проверок "
                               L"целостности)",
                               L"Аудио Память (*.raw-a-bin)|*.raw-a-bin", L"", true}
            : Questions::FileQuestion{L"Сохранить образ аудио памяти", L"Аудио Память (*.a-bin)|*.a-bin", L"",
                                      true});
    if (!path) return;
    // The image may take the device's flash, so it is made off the window, and the memory takes no
    // edit meanwhile. It is made before the file is touched: a refusal leaves the file as it was.
    write<bool>(
        L"save an image of the audio memory",
        [memory = memory_, raw, path = *path](const DevicePtr&) {
            base::writeFile(path, memory->getImage(raw));
            return true;
        },
        [](bool) {});
}

void AudioMemoryPage::saveImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::saveImageMemory").trace(L"");
    event.Skip();
    saveImage(false);
}

void AudioMemoryPage::saveRawImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::saveRawImageMemory").trace(L"");
    event.Skip();
    saveImage(true);
}

void AudioMemoryPage::loadImageMemory(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::loadImageMemory").trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::loadImageMemory");
    event.Skip();
    const auto path = panel().questions().askFile(
        {L"Открыть образ аудио памяти", L"Аудио Память (*.a-bin)|*.a-bin;*.raw-a-bin", L"", false});
    if (!path) return;
    edit(L"load an image of the audio memory",
         [path = *path](IAudioControl& memory) { memory.setImage(base::readFile(path)); },
         [this, path = *path] {
             fragmentFiles_.assign(memory_->getFragments().size(), path);
             loadListCtrlAudioFragment();
             loadListCtrlAudioScenario();
         });
}

void AudioMemoryPage::edit(const wchar_t* description, std::function<void(IAudioControl&)> change,
                           std::function<void()> show) {
    write<bool>(
        description,
        [memory = memory_, change](const DevicePtr&) {
            change(*memory);
            return true;
        },
        [this, show](bool) {
            show();
            panel().enableApplyButtons(true);
        });
}

bool AudioMemoryPage::writeAudioMemory() {
    const debug::Place place("frm::PropertyDevicePanel::writeAudioMemory");
    place.trace(L"");
    requireAudioMemory("frm::PropertyDevicePanel::writeAudioMemory");
    PropertyDevicePanel& p = panel();
    ProgressBarDialog dialog(&p, L"Прошивка аудио данных...");
    const ProgressBarDialog::Reporter report = dialog.reporter();
    // The memory belongs to the device: its progress handler holds the device weakly.
    const std::weak_ptr<device::DeviceBase> device = this->device();
    if (this->device()) dialog.expect(this->device());
    // The write starts off the window; a refusal to start ends the dialog and passes on from here.
    struct Start {
        std::mutex lock;
        std::exception_ptr refusal;
        // Looked at on the GUI thread only.
        ProgressBarDialog* dialog = nullptr;
    };
    const auto start = std::make_shared<Start>();
    start->dialog = &dialog;
    base::ThreadDispatcher::add(L"write the audio memory", 0, [memory = memory_, report, device, start] {
        try {
            memory->writeChanges([report, device](int percent) {
                if (const DevicePtr alive = device.lock()) report(alive, percent);
            });
        } catch (const exception::Base& refusal) {
            debug::Place("frm::PropertyDevicePanel::writeAudioMemory").debug(L"%1%", refusal.message);
            {
                std::lock_guard<std::mutex> guard(start->lock);
                start->refusal = std::current_exception();
            }
            GuiThreadInvoker::add([start] {
                if (start->dialog != nullptr && start->dialog->IsModal())
                    start->dialog->EndModal(wxID_CANCEL);
            });
        }
    });
    dialog.CentreOnParent();
    const int result = p.questions().showModal(dialog);
    start->dialog = nullptr;
    {
        std::lock_guard<std::mutex> guard(start->lock);
        if (start->refusal) std::rethrow_exception(start->refusal);
    }
    const bool success = result == wxID_OK && dialog.failedDevices().empty();
    if (success) {
        fragmentFiles_.assign(memory_->getFragments().size(), L"");
        p.updateData();
    } else {
        place.error(L"Произошла ошибка при обновлении аудио данных");
    }
    return success;
}

}  // namespace frm
