#pragma once
// What a property page, or a part of one, has to exchange with the device shown: it never does
// on the window's thread. It reads on the dispatcher, decides, and shows on the window's thread
// (read below), and writes the same way (write). Until its read arrives a page waits empty and
// disabled, and so does a page whose read failed, until it is read again: the panel's controls
// that change the device act only while the page shows what it read (PageStates). A read that a
// newer one of the same slot replaced shows nothing, and neither does one that arrives after the
// page or the device changed. A failure is shown where the read or the write shows: a device that
// stops answering goes to the panel's online guard, any other failure to the window's event loop,
// which reports it.

#include <wx/window.h>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/ThreadDispatcher.h"
#include "propertypanel/PageWork.h"

namespace device {
class DeviceBase;
}

namespace frm {

class PropertyDevicePanel;

class PagePart {
public:
    using DevicePtr = std::shared_ptr<device::DeviceBase>;

    // The part of the page `id` whose controls lie in `window`.
    PagePart(PropertyDevicePanel& panel, int id, wxWindow* window);
    // The part of the page `id` whose controls that wait for a read lie in `waiting`.
    PagePart(PropertyDevicePanel& panel, int id, std::vector<wxWindow*> waiting);
    virtual ~PagePart();
    PagePart(const PagePart&) = delete;
    PagePart& operator=(const PagePart&) = delete;

    int id() const { return id_; }
    // The part's page waits for a read before it takes edits.
    bool waits() const;
    // The panel shows the part's page as it read it from the device shown: its controls that
    // change the device act.
    bool acts() const;

protected:
    PropertyDevicePanel& panel() const { return panel_; }
    // The device shown; null while the panel has none.
    const DevicePtr& device() const;
    // Work of this page for the device shown now.
    PageTicket ticket() const;
    // The page takes no edits until what it waits for is shown.
    void await();
    void ready();
    // What the page waited for failed: it takes no edits until it is read again.
    void fail();

    // Runs `read` with the device on the dispatcher in `slot` of the page, `delayMs` from now, then
    // `show` with what it read on the window's thread, unless by then the page or the device
    // changed or a newer read was queued in the slot. A failed read fails where `show` would run;
    // a page that waited for it stays out of use.
    template <class Value>
    void read(std::size_t slot, const wchar_t* description, std::function<Value(const DevicePtr&)> read,
              std::function<void(const Value&)> show, std::uint32_t delayMs = 0);
    // Runs `write` with the device on the dispatcher, whatever the operator does meanwhile, and
    // `show` with its result on the window's thread while the page still shows the device. The
    // panel takes nothing in the meantime. A failed write fails where `show` would run.
    template <class Value>
    void write(const wchar_t* description, std::function<Value(const DevicePtr&)> write,
               std::function<void(const Value&)> show);
    // What the slot's read, queued or under way, would show is not shown.
    void drop(std::size_t slot);
    // A change the device takes at once (the equalizer, the volume): sent on the dispatcher, after
    // anything sent before; the panel goes on taking edits. A failure is reported by the
    // dispatcher.
    void send(const wchar_t* description, std::function<void(const DevicePtr&)> send) const;

private:
    void beginWrite();
    // Where a write, or a failed read, ends on the window's thread: after a write the panel takes
    // edits again, after a read the page waited for it takes none; the failure goes on from here.
    void endWork(const std::exception_ptr& failure, bool written);

    PropertyDevicePanel& panel_;
    const int id_;
    const std::vector<wxWindow*> waiting_;
    // The latest read queued in each slot.
    std::array<std::uint64_t, PageWork::kSlotsPerPage> reads_{};
};

template <class Value>
void PagePart::read(std::size_t slot, const wchar_t* description, std::function<Value(const DevicePtr&)> read,
                    std::function<void(const Value&)> show, std::uint32_t delayMs) {
    const PageTicket ticket = this->ticket();
    const std::uint64_t serial = ++reads_.at(slot);
    ticket.queue(slot, description, delayMs,
                 [this, ticket, slot, serial, read, show](const DevicePtr& device) {
                     std::optional<Value> value;
                     std::exception_ptr failure;
                     try {
                         value = read(device);
                     } catch (...) {
                         failure = std::current_exception();
                     }
                     // Only the window's thread looks at the page.
                     ticket.show([this, slot, serial, value = std::move(value), failure, show] {
                         if (serial != reads_[slot]) return;
                         if (failure) endWork(failure, false);
                         show(*value);
                     });
                 });
}

template <class Value>
void PagePart::write(const wchar_t* description, std::function<Value(const DevicePtr&)> write,
                     std::function<void(const Value&)> show) {
    const DevicePtr device = this->device();
    if (!device) return;
    const PageTicket ticket = this->ticket();
    beginWrite();
    base::ThreadDispatcher::add(description, 0, [this, ticket, device, write, show] {
        std::optional<Value> value;
        std::exception_ptr failure;
        try {
            value = write(device);
        } catch (...) {
            failure = std::current_exception();
        }
        ticket.show([this, value = std::move(value), failure, show] {
            endWork(failure, true);
            show(*value);
        });
    });
}

}  // namespace frm
