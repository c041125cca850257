#include "propertypanel/pages/PagePart.h"

#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

PagePart::PagePart(PropertyDevicePanel& panel, int id, wxWindow* window)
    : PagePart(panel, id, std::vector<wxWindow*>{window}) {}

PagePart::PagePart(PropertyDevicePanel& panel, int id, std::vector<wxWindow*> waiting)
    : panel_(panel), id_(id), waiting_(std::move(waiting)) {}

PagePart::~PagePart() = default;

const PagePart::DevicePtr& PagePart::device() const {
    return panel_.shownDevice();
}

PageTicket PagePart::ticket() const {
    return panel_.pageWork().ticket(device(), id_);
}

bool PagePart::waits() const {
    return panel_.pageStates().waits(id_);
}

bool PagePart::acts() const {
    return panel_.acts(id_);
}

void PagePart::await() {
    panel_.pageStates().reading(id_);
    for (wxWindow* window : waiting_) window->Disable();
    panel_.showBar();
}

void PagePart::ready() {
    panel_.pageStates().shown(id_);
    for (wxWindow* window : waiting_) window->Enable();
    panel_.showBar();
}

void PagePart::fail() {
    panel_.pageStates().readFailed(id_);
    for (wxWindow* window : waiting_) window->Disable();
    panel_.showBar();
}

void PagePart::drop(std::size_t slot) {
    ++reads_.at(slot);
    panel_.pageWork().remove(id_, slot);
}

void PagePart::send(const wchar_t* description, std::function<void(const DevicePtr&)> send) const {
    const DevicePtr device = this->device();
    if (!device) return;
    base::ThreadDispatcher::add(description, 0, [device, send = std::move(send)] { send(device); });
}

void PagePart::beginWrite() {
    panel_.pageStates().writing(id_);
    panel_.Disable();
}

void PagePart::endWork(const std::exception_ptr& failure, bool written) {
    if (written) {
        panel_.pageStates().written(id_);
        panel_.Enable();
        panel_.showBar();
    } else if (waits()) {
        fail();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace frm
