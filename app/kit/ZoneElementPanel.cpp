#include "app/kit/ZoneElementPanel.h"

#include <algorithm>

#include "app/kit/GuiFreezer.h"
#include "app/kit/GuiLocker.h"
#include "app/kit/RowEdits.h"
#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/Place.h"
#include "foundation/ThreadDispatcher.h"

namespace frm {
namespace {

class ItemData : public wxTreeItemData {
public:
    ItemData(ZoneElement::ZonePtr zone, ZoneElement::DevicePtr device)
        : zone(std::move(zone)), device(std::move(device)) {}
    const ZoneElement::ZonePtr zone;
    const ZoneElement::DevicePtr device;
};

std::wstring zoneLabel(const ZoneElement& zone) {
    if (zone.volume == ZoneElement::kNoVolume) return zone.name;
    return zone.name + L" (" + ZoneElement::volumeText(zone.volume) + L")";
}

std::wstring volumeLabel(int volume) {
    return L"Громкость зоны: " + ZoneElement::volumeText(volume);
}

// The devices' names, each on a line of its own below the text that names them.
std::wstring namesOf(const std::vector<ZoneElement::DevicePtr>& devices) {
    std::wstring names;
    for (const auto& device : devices) names += L"\n'" + device->getDisplayName() + L"'";
    return names;
}

// Runs on the dispatcher: the volume goes to every device of the zone that is in service.
void applyVolume(const std::vector<ZoneElement::DevicePtr>& devices, int percent) {
    const debug::Place place("frm::ZoneElementPanel::volumeOnScrollChanged");
    std::vector<ZoneElement::DevicePtr> failed;
    for (const auto& device : devices) {
        if (!device->isOnlineAndResponding()) continue;
        try {
            if (!device->setVolume(percent)) failed.push_back(device);
        } catch (const exception::Base&) {
            failed.push_back(device);
        }
    }
    if (!failed.empty())
        place.warn(L"Громкость %1% %% не установлена на устройствах:%2%", percent, namesOf(failed));
}

}  // namespace

ZoneElementPanel::ZoneElementPanel(wxWindow* parent, ZoneElement::ZonePtr root, Questions& questions,
                                   DevicesProvider chosenDevices)
    : fb::ZoneElementPanel(parent),
      root_(std::move(root)),
      questions_(questions),
      chosenDevices_(std::move(chosenDevices)) {
    m_volumeSlider->Bind(wxEVT_SCROLL_THUMBTRACK, &ZoneElementPanel::volumeOnScrollThumbTrack, this);
    updateAll();
}

std::vector<ZoneElementPanel::Chosen> ZoneElementPanel::chosen() const {
    wxArrayTreeItemIds items;
    m_zoneTree->GetSelections(items);
    std::vector<Chosen> result;
    for (const wxTreeItemId item : items) {
        if (const auto* data = dynamic_cast<const ItemData*>(m_zoneTree->GetItemData(item)))
            result.push_back({data->zone, data->device});
    }
    return result;
}

std::vector<ZoneElement::ZonePtr> ZoneElementPanel::selectedZones() const {
    std::vector<ZoneElement::ZonePtr> zones;
    for (const Chosen& row : chosen()) {
        if (!row.device) zones.push_back(row.zone);
    }
    return zones;
}

ZoneElement::ZonePtr ZoneElementPanel::targetZone() const {
    const std::vector<Chosen> rows = chosen();
    const auto zoneRow =
        std::find_if(rows.begin(), rows.end(), [](const Chosen& row) { return !row.device; });
    if (zoneRow != rows.end()) return zoneRow->zone;
    return rows.empty() ? root_ : rows.front().zone;
}

void ZoneElementPanel::updateAll() {
    debug::Place("frm::ZoneElementPanel::updateAll").trace(L"");
    {
        GuiFreezer freezer(m_zoneTree);
        filling_ = true;
        GuiLocker lock;
        wxTreeItemId top = m_zoneTree->GetRootItem();
        if (!top.IsOk()) {
            top = m_zoneTree->AddRoot(zoneLabel(*root_), -1, -1, new ItemData(root_, nullptr));
            m_zoneTree->SetItemBold(top);
        }
        showLabel(top, zoneLabel(*root_));
        // Only the items that differ from the zones change: a rename or a zone's change at a
        // large site touches a few of its thousands of items, not all of them.
        update(top, root_);
        m_zoneTree->ExpandAll();
        // As after a refill, the chosen zones stay chosen and no device is.
        wxArrayTreeItemIds items;
        m_zoneTree->GetSelections(items);
        for (const wxTreeItemId item : items) {
            const auto* data = dynamic_cast<const ItemData*>(m_zoneTree->GetItemData(item));
            if (data == nullptr || data->device) m_zoneTree->UnselectItem(item);
        }
        filling_ = false;
    }
    showVolume();
    if (selectionChanged_) selectionChanged_();
}

void ZoneElementPanel::update(const wxTreeItemId& item, const ZoneElement::ZonePtr& zone) {
    // The zone's items as fill makes them: its devices, then its nested zones.
    std::vector<ItemKey> wanted;
    for (const auto& device : zone->devices) wanted.emplace_back(zone.get(), device.get());
    for (const auto& nested : zone->zones) wanted.emplace_back(nested.get(), nullptr);
    std::vector<wxTreeItemId> children;
    std::vector<ItemKey> shown;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = m_zoneTree->GetFirstChild(item, cookie); child.IsOk();
         child = m_zoneTree->GetNextChild(item, cookie)) {
        const auto* data = dynamic_cast<const ItemData*>(m_zoneTree->GetItemData(child));
        children.push_back(child);
        shown.push_back(data == nullptr ? ItemKey() : ItemKey(data->zone.get(), data->device.get()));
    }
    const std::size_t devices = zone->devices.size();
    std::size_t from = 0;
    for (const RowEdit& edit : rowEdits(shown, wanted)) {
        if (edit.kind == RowEdit::erase) {
            m_zoneTree->Delete(children[from++]);
            continue;
        }
        const bool isDevice = edit.wanted < devices;
        const ZoneElement::DevicePtr device = isDevice ? zone->devices[edit.wanted] : nullptr;
        const ZoneElement::ZonePtr& owner = isDevice ? zone : zone->zones[edit.wanted - devices];
        const std::wstring label = isDevice ? device->getDisplayName() : zoneLabel(*owner);
        if (edit.kind == RowEdit::keep) {
            const wxTreeItemId kept = children[from++];
            showLabel(kept, label);
            if (!isDevice) update(kept, owner);
            continue;
        }
        // Inserted by its row: inserted after an item, that item is looked for among the children,
        // and thousands of zones would each take thousands of looks.
        const wxTreeItemId inserted =
            m_zoneTree->InsertItem(item, edit.row, label, -1, -1, new ItemData(owner, device));
        if (!isDevice) {
            m_zoneTree->SetItemBold(inserted);
            fill(inserted, owner);
        }
    }
}

void ZoneElementPanel::fill(const wxTreeItemId& item, const ZoneElement::ZonePtr& zone) {
    for (const auto& device : zone->devices)
        m_zoneTree->AppendItem(item, device->getDisplayName(), -1, -1, new ItemData(zone, device));
    for (const auto& nested : zone->zones) {
        const wxTreeItemId child =
            m_zoneTree->AppendItem(item, zoneLabel(*nested), -1, -1, new ItemData(nested, nullptr));
        m_zoneTree->SetItemBold(child);
        fill(child, nested);
    }
}

void ZoneElementPanel::showLabel(const wxTreeItemId& item, const std::wstring& label) {
    if (m_zoneTree->GetItemText(item) != label) m_zoneTree->SetItemText(item, label);
}

wxTreeItemId ZoneElementPanel::findZoneItem(const wxTreeItemId& from, const ZoneElement* zone) const {
    const auto* data = dynamic_cast<const ItemData*>(m_zoneTree->GetItemData(from));
    if (data != nullptr && !data->device && data->zone.get() == zone) return from;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = m_zoneTree->GetFirstChild(from, cookie); child.IsOk();
         child = m_zoneTree->GetNextChild(from, cookie)) {
        const wxTreeItemId found = findZoneItem(child, zone);
        if (found.IsOk()) return found;
    }
    return wxTreeItemId();
}

void ZoneElementPanel::select(const ZoneElement* zone) {
    const wxTreeItemId item = findZoneItem(m_zoneTree->GetRootItem(), zone);
    if (!item.IsOk()) return;
    m_zoneTree->UnselectAll();
    m_zoneTree->SelectItem(item);
    m_zoneTree->EnsureVisible(item);
}

void ZoneElementPanel::showVolume() {
    const ZoneElement::ZonePtr zone = targetZone();
    const bool set = zone->volume != ZoneElement::kNoVolume;
    m_volumeSlider->SetValue(set ? zone->volume : 100);
    // The number is the label's: a slider cannot tell that no volume is set.
    m_volumeLabel->SetLabel(volumeLabel(zone->volume));
    Layout();
}

void ZoneElementPanel::volumeOnScrollThumbTrack(wxScrollEvent& event) {
    event.Skip();
    m_volumeLabel->SetLabel(volumeLabel(m_volumeSlider->GetValue()));
}

void ZoneElementPanel::zoneTreeOnTreeSelChanged(wxTreeEvent& event) {
    event.Skip();
    if (filling_) return;
    debug::Place("frm::ZoneElementPanel::zoneTreeOnTreeSelChanged").trace(L"");
    showVolume();
    if (selectionChanged_) selectionChanged_();
}

void ZoneElementPanel::createZoneOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::ZoneElementPanel::createZoneOnButtonClick");
    place.trace(L"");
    const ZoneElement::ZonePtr parent = targetZone();
    const auto name = questions_.askText(L"Создать зону", L"Название новой зоны:", L"");
    if (!name || !root_->takesZone(*parent, ZoneElement::validName(*name))) return;
    ZoneElement::ZonePtr zone;
    {
        GuiLocker lock;
        zone = root_->createZone(*parent, *name);
    }
    if (zone) changes_.mark();
    if (!zone) {
        if (ZoneElement::validName(*name).empty()) {
            place.notice(L"Название зоны должно быть непустым и не длиннее %1% символов",
                         ZoneElement::kMaximumNameLength);
        } else {
            place.notice(L"Зоны не могут быть вложены глубже %1% уровней", ZoneElement::kMaximumDepth);
        }
        return;
    }
    place.info(L"Создана зона '%1%' в зоне '%2%'", zone->name, parent->name);
    updateAll();
    select(zone.get());
}

void ZoneElementPanel::renameZoneOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::ZoneElementPanel::renameZoneOnButtonClick");
    place.trace(L"");
    const ZoneElement::ZonePtr zone = targetZone();
    if (zone == root_) {
        place.notice(L"Зону '%1%' переименовать нельзя", root_->name);
        return;
    }
    const auto name = questions_.askText(L"Переименовать зону", L"Новое название зоны:", zone->name);
    if (!name) return;
    const std::wstring checked = ZoneElement::validName(*name);
    if (checked.empty()) {
        place.notice(L"Название зоны должно быть непустым и не длиннее %1% символов",
                     ZoneElement::kMaximumNameLength);
        return;
    }
    if (!root_->takesRename(*zone, checked)) return;
    {
        GuiLocker lock;
        place.info(L"Зона '%1%' переименована в '%2%'", zone->name, checked);
        zone->rename(checked);
    }
    changes_.mark();
    updateAll();
}

void ZoneElementPanel::addDeviceOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::ZoneElementPanel::addDeviceOnButtonClick");
    place.trace(L"");
    const std::vector<ZoneElement::DevicePtr> devices =
        chosenDevices_ ? chosenDevices_() : std::vector<ZoneElement::DevicePtr>();
    if (devices.empty()) {
        place.notice(L"Не выбрано ни одного устройства");
        return;
    }
    const ZoneElement::ZonePtr zone = targetZone();
    if (!root_->takesDevices(*zone, devices)) return;
    {
        GuiLocker lock;
        place.info(L"В зону '%1%' добавлено устройств: %2%", zone->name, zone->addDevices(devices));
    }
    changes_.mark();
    updateAll();
}

void ZoneElementPanel::deleteDeviceOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::ZoneElementPanel::deleteDeviceOnButtonClick");
    place.trace(L"");
    std::vector<Chosen> rows = chosen();
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const Chosen& row) { return !row.device; }),
               rows.end());
    if (rows.empty()) {
        place.notice(L"Не выбрано ни одного устройства");
        return;
    }
    std::vector<ZoneElement::DevicePtr> kept;
    {
        GuiLocker lock;
        for (const Chosen& row : rows) {
            for (const auto& device : row.zone->removeDevices({row.device}, isUsed_)) kept.push_back(device);
        }
    }
    changes_.mark();
    if (!kept.empty())
        place.notice(L"Устройства не удалены из зоны, т.к. используются в расписании:%1%", namesOf(kept));
    updateAll();
}

void ZoneElementPanel::deleteZoneOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::ZoneElementPanel::deleteZoneOnButtonClick");
    place.trace(L"");
    std::vector<ZoneElement::ZonePtr> zones = selectedZones();
    zones.erase(std::remove(zones.begin(), zones.end(), root_), zones.end());
    if (zones.empty()) {
        place.notice(L"Не выбрана зона для удаления (зону '%1%' удалить нельзя)", root_->name);
        return;
    }
    if (!questions_.askYesNo(L"Удалить зону", L"Удалить выбранные зоны вместе с вложенными зонами?")) return;
    {
        GuiLocker lock;
        for (const auto& zone : zones) {
            if (root_->deleteZone(*zone)) place.info(L"Удалена зона '%1%'", zone->name);
        }
    }
    changes_.mark();
    updateAll();
}

void ZoneElementPanel::volumeOnScrollChanged(wxScrollEvent& event) {
    event.Skip();
    const debug::Place place("frm::ZoneElementPanel::volumeOnScrollChanged");
    place.trace(L"");
    const ZoneElement::ZonePtr zone = targetZone();
    const int percent = m_volumeSlider->GetValue();
    if (!root_->takesVolume(*zone, percent)) {
        showVolume();
        return;
    }
    std::vector<ZoneElement::DevicePtr> devices;
    {
        GuiLocker lock;
        zone->setVolume(percent);
        devices = zone->collectDevices();
    }
    changes_.mark();
    place.info(L"Громкость зоны '%1%': %2% %%", zone->name, zone->volume);
    base::ThreadDispatcher::add(L"set zone volume", 0, [devices, percent] { applyVolume(devices, percent); });
    updateAll();
}

}  // namespace frm
