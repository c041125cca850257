#include "app/DebugPref.h"

#include <boost/filesystem.hpp>
#include <optional>

#include "app/StartupDecisions.h"
#include "foundation/DataFolders.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"

namespace app {

base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3) {
    if (forceTrace3 || text == L"trace3") return base::Log::TRACE3;
    if (text == L"trace2") return base::Log::TRACE2;
    if (text == L"trace") return base::Log::TRACE;
    if (text == L"debug") return base::Log::DEBUG;
    return base::Log::INFO;
}

int startLog(bool consoleEcho) {
    const std::wstring logFolder = os::joinPath(os::getApplicationDataDirectory(), L"log");
    boost::system::error_code made;
    boost::filesystem::create_directories(base::toUtf8(logFolder), made);
    const int failure = made ? made.value() : os::folderWriteError(logFolder);
    dbg_init(consoleEcho || failure != 0, base::Log::INFO, failure == 0 ? logFolder : std::wstring());
    if (failure != 0) {
        debug::Place("aApp::loadDebugPref")
            .info(L"No file can be made in the log folder '%1%' (%2%): the log goes to the standard output",
                  logFolder, os::errorText(failure));
    }
    return failure;
}

int loadDebugPref(bool forceTrace3, bool consoleEcho) {
    const int logFailure = startLog(consoleEcho);
    pref* store = pref_init(pref::defaultPath());
    const bool firstStart = isFirstStart(*store);
    const std::optional<std::wstring> unread = unreadSettingsNotice(*store);
    if (!pref::instanceSlot().install(store)) delete store;
    const std::wstring levelText = base::widen(pref::getString(setting::debugLevel));
    {
        base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
        if (log) log->setLevel(levelFromSetting(levelText, forceTrace3));
    }
    if (firstStart)
        debug::Place("aApp::loadDebugPref").info(L"Файл настроек не найден - используются по умолчанию.");
    // Told now, not with the window: a start that ends before its window tells it too.
    if (unread) debug::Place("aApp::loadDebugPref").warn(L"%1%", *unread);
    return logFailure;
}

}  // namespace app
