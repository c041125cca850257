#include "app/GuardedApp.h"

#include <cstddef>

#include "app/MainLoopExceptions.h"

namespace app {

bool GuardedApp::OnExceptionInMainLoop() {
    report(std::current_exception());
    return true;
}

void GuardedApp::ProcessPendingEvents() {
    // The toolkit takes one queued event after another; an exception of one is reported and the
    // events after it are taken all the same.
    for (;;) {
        try {
            wxApp::ProcessPendingEvents();
            return;
        } catch (...) {
            {
                // The handlers whose events a selective yield put off go back to the list, as the
                // toolkit puts them back when it gets to its end.
                wxCriticalSectionLocker lock(m_handlersWithPendingEventsLocker);
                for (std::size_t index = 0; index < m_handlersWithPendingDelayedEvents.GetCount(); ++index)
                    m_handlersWithPendingEvents.Add(m_handlersWithPendingDelayedEvents[index]);
                m_handlersWithPendingDelayedEvents.Clear();
            }
            report(std::current_exception());
        }
    }
}

bool GuardedApp::ProcessIdle() {
    try {
        return wxApp::ProcessIdle();
    } catch (...) {
        report(std::current_exception());
        // No more idle work at once: a handler that fails every time would fail on and on.
        return false;
    }
}

void GuardedApp::endProgram() {
    ExitMainLoop();
}

void GuardedApp::report(const std::exception_ptr& error) {
    if (handleMainLoopException(error) != MainLoopOutcome::endProgram || ending_) return;
    ending_ = true;
    endProgram();
}

}  // namespace app
