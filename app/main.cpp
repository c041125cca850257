// The program's entry point: "--quit" is answered before the window toolkit starts; otherwise the
// toolkit runs the application object.

#include <string>
#include <vector>

#include "app/QuitOption.h"
#include "app/aApp.h"
#include "foundation/DataFolders.h"

wxIMPLEMENT_APP_NO_MAIN(aApp);

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string unknown;
    const app::Options options = app::parseOptions(arguments, unknown);
    if (unknown.empty() && options.quit) return app::quitRunningCopy(os::getApplicationDataDirectory());
    return wxEntry(argc, argv);
}
