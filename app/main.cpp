// The program's entry point: start-up as far as it is built, then a clean end.

#include <wx/init.h>
#include <wx/intl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/DebugPref.h"
#include "app/Options.h"
#include "foundation/DataFolders.h"
#include "foundation/Log.h"
#include "foundation/Place.h"

int main(int argc, char** argv) {
    wxInitializer toolkit(argc, argv);
    if (!toolkit.IsOk()) {
        std::fprintf(stderr, "The window toolkit could not be initialised.\n");
        return 1;
    }
    wxLocale locale;
    locale.Init(wxLANGUAGE_RUSSIAN, wxLOCALE_DONT_LOAD_DEFAULT);

    std::string unknown;
    const app::Options options = app::parseOptions(std::vector<std::string>(argv + 1, argv + argc), unknown);
    if (!unknown.empty()) {
        std::fprintf(stderr, "Unknown option: %s\n", unknown.c_str());
        return 2;
    }
    if (options.quit) return 1;

    dbg_init(options.output, base::Log::INFO, os::getLogDirectory());
    {
        base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
        if (log) log->setLevel(app::levelFromSetting(L"info", options.trace));
    }
    const debug::Place place("aApp::OnInit");
    place.info(L"Melvox v1 - Initialization.");
    place.info(L"Melvox v1 - Exit.");
    dbg_free();
    return 0;
}
