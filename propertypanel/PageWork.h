#pragma once
// The background work of the property panel's pages. A page queues work on the thread
// dispatcher through a ticket taken when it queues: the ticket names the device (held weakly)
// and the page shown then, and a generation that the panel moves on whenever it leaves the page
// or the device. The dispatcher's remove cannot reach an item that is already running or
// collected, so every item checks its ticket itself before it touches the device, and again on
// the GUI thread before it touches a control. Each page keeps its items in slots; storing an
// item in a slot removes the one that was there. An item holds its slot from before it is handed
// to the dispatcher until it starts, when it empties the slot if the slot still holds it; an item
// that finds its slot holding another one was replaced or removed and does nothing. So an item
// may start, and queue its successor into its own slot, even before the add that queued it has
// returned. A device that stops answering while an item
// runs, on the dispatcher or on the GUI thread, is handed to the panel's offline handler on the
// GUI thread, while the panel still shows it.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace device {
class DeviceBase;
}

namespace frm {

class PageTicket {
public:
    using Work = std::function<void(const std::shared_ptr<device::DeviceBase>& device)>;

    PageTicket() = default;

    int page() const { return page_; }
    // The panel still shows the device and the page the ticket was taken for, as far as can be
    // told off the GUI thread: it was not shut down and neither the page nor the device changed.
    bool holds() const;
    // The device, while it exists and the ticket holds; null otherwise.
    std::shared_ptr<device::DeviceBase> device() const;

    // Queues `work` to run after `delayMs` on the dispatcher in slot `slot` of the ticket's page,
    // removing the item the slot held. The work runs only while the ticket holds, with the device
    // held for the run. Nothing is queued once the ticket no longer holds.
    void queue(std::size_t slot, const std::wstring& description, std::uint32_t delayMs, Work work) const;

    // Runs `show` later on the GUI thread, when there the panel still shows the device and the
    // page. Never runs it at once, so the handler of a control may rebuild the row that holds the
    // control.
    void show(std::function<void()> show) const;

private:
    friend class PageWork;
    struct State;
    struct Item;

    // On the GUI thread: the state while the panel still shows the ticket's device and page.
    std::shared_ptr<State> shownState() const;
    // The device did not answer: the offline handler runs on the GUI thread, while the panel still
    // shows the device and the page.
    void reportOffline() const;

    std::weak_ptr<State> state_;
    std::uint64_t generation_ = 0;
    std::weak_ptr<device::DeviceBase> device_;
    int page_ = 0;
};

class PageWork {
public:
    static constexpr std::size_t kSlotsPerPage = 4;
    // Where the items run: the thread dispatcher, or a test's own runner that chooses when.
    struct Runner {
        std::function<std::uint32_t(const std::wstring& description, std::uint32_t delayMs,
                                    std::function<void()> item)>
            add;
        std::function<void(std::uint32_t id)> remove;
    };
    static Runner dispatcher();
    // Whether the panel shows the device and the page; asked on the GUI thread only.
    using ShowingCheck = std::function<bool(const device::DeviceBase* device, int page)>;

    // The pages whose work is kept here.
    explicit PageWork(const std::vector<int>& pages, Runner runner = dispatcher());
    // Shuts the work down: nothing queued before runs any more.
    ~PageWork();
    PageWork(const PageWork&) = delete;
    PageWork& operator=(const PageWork&) = delete;

    void setShowingCheck(ShowingCheck check);
    // Runs on the GUI thread when the device of a page's work stopped answering.
    void setOfflineHandler(std::function<void()> handler);

    PageTicket ticket(const std::shared_ptr<device::DeviceBase>& device, int page) const;

    // The page is left: tickets taken before no longer hold, and the page's queued items are
    // removed.
    void leave(int page);
    // Removes the item that a slot of the page holds; an item already running still runs.
    void remove(int page, std::size_t slot);
    // The device changes: tickets taken before no longer hold.
    void invalidate();
    // Nothing queued runs any more, nor is anything queued from now on.
    void shutdown();
    bool isShutdown() const;

    // Runs `task` later on the GUI thread unless the work was shut down by then.
    void onGui(std::function<void()> task) const;

    // The item held in a slot; 0 for none.
    std::uint32_t queued(int page, std::size_t slot) const;

private:
    std::shared_ptr<PageTicket::State> state_;
};

}  // namespace frm
