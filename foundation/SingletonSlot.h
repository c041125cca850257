#pragma once
// A process-wide pointer to a singleton that callers on any thread may use while another
// thread takes it away. Callers hold a `Use` for the length of their call; `release`
// empties the slot and waits until no call is still using the old object, so the owner
// can destroy it safely.

#include <atomic>
#include <thread>

namespace base {

template <class T>
class SingletonSlot {
public:
    class Use {
    public:
        explicit Use(SingletonSlot& slot) : slot_(slot) {
            slot_.users_.fetch_add(1);
            object_ = slot_.object_.load();
        }
        ~Use() { slot_.users_.fetch_sub(1); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        T* get() const { return object_; }
        T* operator->() const { return object_; }
        explicit operator bool() const { return object_ != nullptr; }

    private:
        SingletonSlot& slot_;
        T* object_;
    };

    // Installs `object` when the slot is empty; returns false when it was not.
    bool install(T* object) {
        T* expected = nullptr;
        return object_.compare_exchange_strong(expected, object);
    }

    // Empties the slot and returns the object once no caller is using it.
    T* release() {
        T* old = object_.exchange(nullptr);
        while (users_.load() > 0) std::this_thread::yield();
        return old;
    }

    // A plain read, for callers that only test whether the object exists.
    T* peek() const { return object_.load(); }

private:
    std::atomic<T*> object_{nullptr};
    std::atomic<int> users_{0};
};

}  // namespace base
