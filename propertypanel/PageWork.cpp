#include "propertypanel/PageWork.h"

#include "devicelink/DeviceBase.h"
#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/ThreadDispatcher.h"

namespace frm {
namespace {

// Empties the slot and removes its item; an empty slot asks nothing of the dispatcher, which may
// be gone by then.
void removeQueued(std::atomic<std::uint32_t>& slot) {
    const std::uint32_t id = slot.exchange(0);
    if (id != 0) base::ThreadDispatcher::remove(id);
}

}  // namespace

struct PageTicket::State {
    std::atomic<std::uint64_t> generation{1};
    std::atomic<bool> shutdown{false};
    // Made once for every page and never changed afterwards, so any thread may read it.
    std::map<int, std::array<std::atomic<std::uint32_t>, PageWork::kSlotsPerPage>> slots;
    // Asked and changed on the GUI thread only.
    PageWork::ShowingCheck showing;
    std::function<void()> offline;

    std::atomic<std::uint32_t>* slot(int page, std::size_t index) {
        const auto found = slots.find(page);
        if (found == slots.end() || index >= found->second.size()) return nullptr;
        return &found->second[index];
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
    std::atomic<std::uint32_t>* held = state->slot(page_, slot);
    if (held == nullptr) return;
    // The item empties its slot when it starts, so a slot holds only work still to come.
    const auto own = std::make_shared<std::atomic<std::uint32_t>>(0);
    const std::uint32_t id = base::ThreadDispatcher::add(
        description, delayMs, [ticket = *this, held, own, work = std::move(work)] {
            const std::shared_ptr<State> alive = ticket.state_.lock();
            if (!alive) return;
            std::uint32_t mine = own->load();
            if (mine != 0) held->compare_exchange_strong(mine, 0);
            const std::shared_ptr<device::DeviceBase> device = ticket.device();
            if (!device) return;
            try {
                work(device);
            } catch (const exception::Offline&) {
                ticket.reportOffline();
            }
        });
    own->store(id);
    const std::uint32_t previous = held->exchange(id);
    // The item that queues its successor is running: removing it does nothing.
    if (previous != 0) base::ThreadDispatcher::remove(previous);
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

PageWork::PageWork(const std::vector<int>& pages) : state_(std::make_shared<PageTicket::State>()) {
    for (const int page : pages) {
        for (std::atomic<std::uint32_t>& slot : state_->slots[page]) slot.store(0);
    }
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
    for (std::atomic<std::uint32_t>& slot : found->second) removeQueued(slot);
}

void PageWork::remove(int page, std::size_t slot) {
    if (std::atomic<std::uint32_t>* held = state_->slot(page, slot)) removeQueued(*held);
}

void PageWork::invalidate() {
    ++state_->generation;
}

void PageWork::shutdown() {
    state_->shutdown.store(true);
    invalidate();
    for (auto& [page, slots] : state_->slots) {
        for (std::atomic<std::uint32_t>& slot : slots) removeQueued(slot);
    }
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
    std::atomic<std::uint32_t>* held = state_->slot(page, slot);
    return held ? held->load() : 0;
}

}  // namespace frm
