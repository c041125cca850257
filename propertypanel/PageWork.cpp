#include "propertypanel/PageWork.h"

#include <mutex>
#include <utility>

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/ThreadDispatcher.h"

namespace frm {

// One queued item; its fields are guarded by the state's lock.
struct PageTicket::Item {
    // The dispatcher's id, once its add returned; 0 before.
    std::uint32_t id = 0;
    bool started = false;
};

struct PageTicket::State {
    using Slots = std::array<std::shared_ptr<Item>, PageWork::kSlotsPerPage>;

    std::atomic<std::uint64_t> generation{1};
    std::atomic<bool> shutdown{false};
    PageWork::Runner runner;
    // Guards the slots and the items in them. Never held while the runner is called.
    std::mutex lock;
    // Made once for every page; each slot holds the item queued last that has not started.
    std::map<int, Slots> slots;
    // Asked and changed on the GUI thread only.
    PageWork::ShowingCheck showing;
    std::function<void()> offline;

    // Under the lock.
    std::shared_ptr<Item>* slot(int page, std::size_t index) {
        const auto found = slots.find(page);
        if (found == slots.end() || index >= found->second.size()) return nullptr;
        return &found->second[index];
    }
    // The item starts: true when its slot still held it, which the slot then no longer does.
    bool start(int page, std::size_t index, const std::shared_ptr<Item>& item) {
        std::lock_guard<std::mutex> guard(lock);
        std::shared_ptr<Item>* held = slot(page, index);
        if (held == nullptr || *held != item) return false;
        held->reset();
        item->started = true;
        return true;
    }
    // The dispatcher lets go of items that left their slots before they started; an item whose
    // add has not returned yet is let go by its queue, and one that starts anyway does nothing.
    void drop(const std::vector<std::shared_ptr<Item>>& items) {
        std::vector<std::uint32_t> ids;
        {
            std::lock_guard<std::mutex> guard(lock);
            for (const std::shared_ptr<Item>& item : items) {
                if (item && !item->started && item->id != 0) ids.push_back(item->id);
            }
        }
        for (const std::uint32_t id : ids) runner.remove(id);
    }
    // Empties the page's slots, or all of them for no page.
    void empty(const std::map<int, Slots>::iterator& begin, const std::map<int, Slots>::iterator& end) {
        std::vector<std::shared_ptr<Item>> items;
        {
            std::lock_guard<std::mutex> guard(lock);
            for (auto page = begin; page != end; ++page) {
                for (std::shared_ptr<Item>& held : page->second)
                    items.push_back(std::exchange(held, nullptr));
            }
        }
        drop(items);
    }
};

bool PageTicket::holds() const {
    const std::shared_ptr<State> state = state_.lock();
    return state && !state->shutdown.load() && state->generation.load() == generation_;
}

std::shared_ptr<device::DeviceBase> PageTicket::device() const {
    return holds() ? device_.lock() : nullptr;
}

void PageTicket::queue(std::size_t slot, const std::wstring& description, std::uint32_t delayMs,
                       Work work) const {
    const std::shared_ptr<State> state = state_.lock();
    if (!state || !holds()) return;
    const auto item = std::make_shared<Item>();
    std::shared_ptr<Item> replaced;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        std::shared_ptr<Item>* held = state->slot(page_, slot);
        if (held == nullptr) return;
        replaced = std::exchange(*held, item);
    }
    state->drop({replaced});
    const std::uint32_t id =
        state->runner.add(description, delayMs, [ticket = *this, slot, item, work = std::move(work)] {
            const std::shared_ptr<State> alive = ticket.state_.lock();
            if (!alive || !alive->start(ticket.page_, slot, item)) return;
            const std::shared_ptr<device::DeviceBase> device = ticket.device();
            if (!device) return;
            try {
                work(device);
            } catch (const exception::Offline&) {
                ticket.reportOffline();
            }
        });
    bool left = false;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        item->id = id;
        std::shared_ptr<Item>* held = state->slot(page_, slot);
        left = !item->started && (held == nullptr || *held != item);
    }
    // Replaced or removed while its add ran: the dispatcher need not keep it.
    if (left) state->runner.remove(id);
}

std::shared_ptr<PageTicket::State> PageTicket::shownState() const {
    const std::shared_ptr<State> state = state_.lock();
    const std::shared_ptr<device::DeviceBase> device = this->device();
    if (!state || !device) return nullptr;
    if (state->showing && !state->showing(device.get(), page_)) return nullptr;
    return state;
}

void PageTicket::show(std::function<void()> show) const {
    GuiThreadInvoker::add([ticket = *this, show = std::move(show)] {
        const std::shared_ptr<State> state = ticket.shownState();
        if (!state) return;
        try {
            show();
        } catch (const exception::Offline&) {
            if (state->offline) state->offline();
        }
    });
}

void PageTicket::reportOffline() const {
    GuiThreadInvoker::add([ticket = *this] {
        const std::shared_ptr<State> state = ticket.shownState();
        if (state && state->offline) state->offline();
    });
}

PageWork::Runner PageWork::dispatcher() {
    return {[](const std::wstring& description, std::uint32_t delayMs, std::function<void()> item) {
                return base::ThreadDispatcher::add(description, delayMs, std::move(item));
            },
            [](std::uint32_t id) { base::ThreadDispatcher::remove(id); }};
}

PageWork::PageWork(const std::vector<int>& pages, Runner runner)
    : state_(std::make_shared<PageTicket::State>()) {
    state_->runner = std::move(runner);
    for (const int page : pages) state_->slots[page];
}

PageWork::~PageWork() {
    shutdown();
}

void PageWork::setShowingCheck(ShowingCheck check) {
    state_->showing = std::move(check);
}

void PageWork::setOfflineHandler(std::function<void()> handler) {
    state_->offline = std::move(handler);
}

PageTicket PageWork::ticket(const std::shared_ptr<device::DeviceBase>& device, int page) const {
    PageTicket ticket;
    ticket.state_ = state_;
    ticket.generation_ = state_->generation.load();
    ticket.device_ = device;
    ticket.page_ = page;
    return ticket;
}

void PageWork::leave(int page) {
    // Tickets first: an item that is queued while the slots are emptied then finds its ticket void.
    invalidate();
    const auto found = state_->slots.find(page);
    if (found == state_->slots.end()) return;
    state_->empty(found, std::next(found));
}

void PageWork::remove(int page, std::size_t slot) {
    std::shared_ptr<PageTicket::Item> item;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        if (std::shared_ptr<PageTicket::Item>* held = state_->slot(page, slot))
            item = std::exchange(*held, nullptr);
    }
    state_->drop({item});
}

void PageWork::invalidate() {
    ++state_->generation;
}

void PageWork::shutdown() {
    state_->shutdown.store(true);
    invalidate();
    state_->empty(state_->slots.begin(), state_->slots.end());
    state_->showing = nullptr;
    state_->offline = nullptr;
}

bool PageWork::isShutdown() const {
    return state_->shutdown.load();
}

void PageWork::onGui(std::function<void()> task) const {
    GuiThreadInvoker::add([state = std::weak_ptr<PageTicket::State>(state_), task = std::move(task)] {
        const std::shared_ptr<PageTicket::State> alive = state.lock();
        if (alive && !alive->shutdown.load()) task();
    });
}

std::uint32_t PageWork::queued(int page, std::size_t slot) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    const std::shared_ptr<PageTicket::Item>* held = state_->slot(page, slot);
    return held && *held ? (*held)->id : 0;
}

}  // namespace frm
