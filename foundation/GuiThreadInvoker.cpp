#include "foundation/GuiThreadInvoker.h"

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace {

// A task handed over while no invoker takes tasks is dropped.
void logSkipped() {
    debug::Place("GuiThreadInvoker::add").debug(L"skip adding task for gui thread invoker");
}

}  // namespace

base::SingletonSlot<GuiThreadInvoker>& GuiThreadInvoker::slot() {
    static base::SingletonSlot<GuiThreadInvoker> instance;
    return instance;
}

GuiThreadInvoker::GuiThreadInvoker(Poster poster) : poster_(std::move(poster)) {
    thread_ = std::thread([this] { run(); });
}

GuiThreadInvoker::~GuiThreadInvoker() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        ending_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool GuiThreadInvoker::create(Poster poster) {
    auto* invoker = new GuiThreadInvoker(std::move(poster));
    if (slot().install(invoker)) return true;
    delete invoker;
    return false;
}

void GuiThreadInvoker::destroy() {
    stop();
    delete slot().release();
}

bool GuiThreadInvoker::exists() {
    return slot().peek() != nullptr;
}

void GuiThreadInvoker::stop() {
    base::SingletonSlot<GuiThreadInvoker>::Use invoker(slot());
    if (!invoker) return;
    std::lock_guard<std::mutex> guard(invoker->lock_);
    invoker->stopping_ = true;
}

void GuiThreadInvoker::add(Task task) {
    try {
        {
            base::SingletonSlot<GuiThreadInvoker>::Use invoker(slot());
            if (invoker) {
                invoker->enqueue(std::move(task));
                return;
            }
        }
        logSkipped();
    } catch (...) {
        // A task that cannot be queued is lost; the caller is never disturbed.
    }
}

void GuiThreadInvoker::enqueue(Task task) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!stopping_) {
            tasks_.push_back(std::move(task));
            wake_.notify_one();
            return;
        }
    }
    logSkipped();
}

void GuiThreadInvoker::run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return ending_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        guard.unlock();
        try {
            poster_(std::move(task));
        } catch (const std::exception& error) {
            debug::Place("GuiThreadInvoker::run").error(L"Exception: '%1%'", exception::textOf(error));
        }
        guard.lock();
    }
}
