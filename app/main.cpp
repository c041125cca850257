// The program's entry point: "--quit" is answered before the window toolkit starts; otherwise the
// toolkit runs the application object, with the stop signals taken from the first moment.

#include <cstdio>
#include <string>
#include <vector>

#include "app/QuitOption.h"
#include "app/StopSignals.h"
#include "app/aApp.h"

wxIMPLEMENT_APP_NO_MAIN(aApp);

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string unknown;
    const app::Options options = app::parseOptions(arguments, unknown);
    if (unknown.empty() && options.quit) return app::quitRunningCopy();
    // A signal before the stop thread runs waits in the signals' pipe, which that thread reads first.
    if (!app::StopSignals::install()) std::fprintf(stderr, "The stop signals could not be taken over.\n");
    const int status = wxEntry(argc, argv);
    // A start that a stop request ended has ended in order, as a stop of the running program does.
    return aApp::startEndedByStop() ? 0 : status;
}
