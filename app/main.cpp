// The program's entry point: start-up as far as it is built, then a clean end.

#include <wx/init.h>
#include <wx/intl.h>

#include <boost/filesystem.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "app/DebugPref.h"
#include "app/Options.h"
#include "foundation/CrashDump.h"
#include "foundation/DataFolders.h"
#include "foundation/Log.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/SystemServices.h"
#include "foundation/ThreadDispatcher.h"

namespace {

void emptyTempFolder() {
    boost::system::error_code ignored;
    const boost::filesystem::path temp(base::toUtf8(os::getTempDirectory()));
    for (boost::filesystem::directory_iterator it(temp, ignored), end; it != end; it.increment(ignored)) {
        boost::filesystem::remove_all(it->path(), ignored);
    }
}

}  // namespace

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

    emptyTempFolder();
    app::loadDebugPref(options.trace);
    const debug::Place place("aApp::OnInit");
    place.info(L"Melvox v1 - Initialization.");
    place.trace(L"Create thread dispatcher. Threads: [%1%]", os::getThreadList());
    base::ThreadDispatcher::create();
    debug::installCrashHandlers();

    // The main window does not exist yet: the start-up ends here and the program exits.
    const debug::Place exitPlace("aApp::OnExit");
    base::ThreadDispatcher::destroy();
    pref_free();
    exitPlace.info(L"Melvox v1 - Exit.");
    dbg_free();
    return 0;
}
