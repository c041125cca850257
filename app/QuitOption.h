#pragma once
// What "melvox --quit" does: it asks the running copy to stop, waits until that copy confirms
// that it has written its files, and tells the outcome in one line and its exit status. It runs
// before the window toolkit starts, so it needs no display (a service manager's stop command has
// none).

#include <chrono>
#include <string>

#include "app/StopChannel.h"

namespace app {

// How long a stopping copy may take to write its files before the asking one gives up.
inline constexpr std::chrono::seconds kQuitDeadline{60};

struct QuitOutcome {
    int status;        // the exit status of the asking copy: 0 only for a stop confirmed with the state saved
    std::string line;  // what it prints
};
// The outcome for a running mark that is free (no copy runs) or held, and the answer of the
// stop channel when it is held.
QuitOutcome quitOutcome(bool anotherCopyRuns, StopChannel::Answer answer);

// Asks the copy running on the user's data folder to stop; prints the line (stdout on success,
// stderr otherwise) and returns the exit status.
int quitRunningCopy();

}  // namespace app
