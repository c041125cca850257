#pragma once
// The queue that runs callables on the GUI thread. Any thread adds a task; the invoker's
// own thread hands each task, once, to the poster, which delivers it to the GUI thread
// (the main window's event queue in the program, a thread of their own in tests).

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "foundation/SingletonSlot.h"

class GuiThreadInvoker {
public:
    using Task = std::function<void()>;
    using Poster = std::function<void(Task)>;

    // Creates the process-wide invoker; false when one exists already.
    static bool create(Poster poster);
    // Stops the invoker (tasks added from now on are dropped) and destroys it.
    static void destroy();
    // Queues a task. Dropped with a DEBUG line while the invoker is stopping or when none
    // exists. Never throws to the caller.
    static void add(Task task);
    static bool exists();
    // Drops every task added from now on; the queued ones are still delivered.
    static void stop();

private:
    explicit GuiThreadInvoker(Poster poster);
    ~GuiThreadInvoker();
    void enqueue(Task task);
    void run();
    static base::SingletonSlot<GuiThreadInvoker>& slot();

    Poster poster_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    bool ending_ = false;
    std::thread thread_;
};
