#include "app/QuitOption.h"

#include <cstdio>

#include "app/SingleInstance.h"
#include "app/StartupDecisions.h"
#include "foundation/DataFolders.h"

namespace app {

QuitOutcome quitOutcome(bool anotherCopyRuns, StopChannel::Answer answer) {
    if (decideStart(true, anotherCopyRuns) == StartDecision::endQuietly)
        return {1, "No running copy of the program: nothing to stop."};
    switch (answer) {
        case StopChannel::Answer::stopped:
            return {0, "The running copy of the program has stopped and saved its state."};
        case StopChannel::Answer::notConfirmed:
            return {3, "The running copy took the stop request but did not confirm its end within " +
                           std::to_string(kQuitDeadline.count()) + " s."};
        case StopChannel::Answer::noAnswer:
            return {2, "The running copy did not answer the stop request."};
        case StopChannel::Answer::noListener:
            break;
    }
    return {2, "The running copy does not take stop requests: close it from its window."};
}

int quitRunningCopy() {
    std::wstring folder;
    try {
        folder = os::getApplicationDataDirectory();
    } catch (const std::exception& error) {
        // No copy runs without its data folder.
        const QuitOutcome none = quitOutcome(false, StopChannel::Answer::noListener);
        std::fprintf(stderr, "%s\nThe data folder cannot be made: %s\n", none.line.c_str(), error.what());
        return none.status;
    }
    const std::vector<std::wstring> folders = runFolders(folder);
    bool runs = false;
    {
        // Released at once: a copy starting now must not find the mark held by this one.
        const SingleInstance mark(folders);
        runs = mark.anotherCopyRuns();
    }
    const QuitOutcome outcome = quitOutcome(
        runs, runs ? StopChannel::requestStop(folders, kQuitDeadline) : StopChannel::Answer::noListener);
    std::fprintf(outcome.status == 0 ? stdout : stderr, "%s\n", outcome.line.c_str());
    return outcome.status;
}

}  // namespace app
