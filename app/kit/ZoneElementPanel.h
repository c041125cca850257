#pragma once
// The zone panel of the main window: shows the tree of zones with their devices and lets the
// operator create, rename, nest and delete zones, put the devices chosen in the device list
// into a zone, take devices out of it and set a zone's volume.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/kit/Questions.h"
#include "app/kit/ZoneElement.h"
#include "foundation/ChangeMark.h"
#include "layouts/ZoneElementPanel.h"

namespace frm {

class ZoneElementPanel : public fb::ZoneElementPanel {
public:
    // The devices chosen in the device list.
    using DevicesProvider = std::function<std::vector<ZoneElement::DevicePtr>()>;

    ZoneElementPanel(wxWindow* parent, ZoneElement::ZonePtr root, Questions& questions,
                     DevicesProvider chosenDevices);

    // The check that keeps a device in its zone while the schedule uses it; none keeps nothing.
    void setUsedCheck(ZoneElement::UsedCheck check) { isUsed_ = std::move(check); }
    // Runs whenever the chosen zones change.
    void setSelectionCallback(std::function<void()> callback) { selectionChanged_ = std::move(callback); }

    // The zones chosen in the tree.
    std::vector<ZoneElement::ZonePtr> selectedZones() const;
    // Shows the zones in the tree as they are now: the chosen zones stay chosen, no device is, and
    // every zone is expanded.
    void updateAll();
    // Marked by each change of the zones made here; the owner marks those it makes.
    const base::ChangeMark& changes() const { return changes_; }

protected:
    void zoneTreeOnTreeSelChanged(wxTreeEvent& event) override;
    void createZoneOnButtonClick(wxCommandEvent& event) override;
    void renameZoneOnButtonClick(wxCommandEvent& event) override;
    void addDeviceOnButtonClick(wxCommandEvent& event) override;
    void deleteDeviceOnButtonClick(wxCommandEvent& event) override;
    void deleteZoneOnButtonClick(wxCommandEvent& event) override;
    void volumeOnScrollChanged(wxScrollEvent& event) override;

private:
    struct Chosen {
        ZoneElement::ZonePtr zone;
        ZoneElement::DevicePtr device;  // null for a zone's own row
    };
    std::vector<Chosen> chosen() const;
    // The one zone an operation works on: the first chosen zone, the zone of the first chosen
    // device, or the root when nothing is chosen.
    ZoneElement::ZonePtr targetZone() const;
    // A zone's item by the zone and, for a device's item, the device.
    using ItemKey = std::pair<const ZoneElement*, const device::DeviceBase*>;
    // Makes the items below the zone's item show the zone's devices and nested zones, changing
    // only those that differ.
    void update(const wxTreeItemId& item, const ZoneElement::ZonePtr& zone);
    void showLabel(const wxTreeItemId& item, const std::wstring& label);
    // The items of a zone's new item: its devices, then its nested zones with theirs.
    void fill(const wxTreeItemId& item, const ZoneElement::ZonePtr& zone);
    wxTreeItemId findZoneItem(const wxTreeItemId& from, const ZoneElement* zone) const;
    void select(const ZoneElement* zone);
    void showVolume();
    // The label follows the thumb while it is dragged.
    void volumeOnScrollThumbTrack(wxScrollEvent& event);

    ZoneElement::ZonePtr root_;
    base::ChangeMark changes_;
    Questions& questions_;
    DevicesProvider chosenDevices_;
    ZoneElement::UsedCheck isUsed_;
    std::function<void()> selectionChanged_;
    // Set while the tree is refilled, when its selection events mean nothing.
    bool filling_ = false;
};

}  // namespace frm
