#pragma once
// The window toolkit's application as the program runs it. The toolkit reports an exception that
// leaves a handler of the window's own events to OnExceptionInMainLoop, but one that leaves the
// work other threads queued for the window's thread (the GUI-thread invoker's tasks, CallAfter)
// or an idle handler ends its loop, and with it the program. Here every one of them reaches
// handleMainLoopException, the operator sees its box and the events go on. An
// exception::StopProgram asks the program to end, which it does by endProgram, once.

#include <wx/app.h>

#include <exception>

namespace app {

class GuardedApp : public wxApp {
public:
    bool OnExceptionInMainLoop() override;
    void ProcessPendingEvents() override;
    bool ProcessIdle() override;

protected:
    // The program must end: by default the main loop ends. The program's application ends in its
    // own order, writing what it keeps.
    virtual void endProgram();

private:
    void report(const std::exception_ptr& error);

    bool ending_ = false;
};

}  // namespace app
