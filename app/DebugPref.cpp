#include "app/DebugPref.h"

#include "foundation/DataFolders.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"

namespace app {

base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3) {
    if (forceTrace3 || text == L"trace3") return base::Log::TRACE3;
    if (text == L"trace2") return base::Log::TRACE2;
    if (text == L"trace") return base::Log::TRACE;
    if (text == L"debug") return base::Log::DEBUG;
    return base::Log::INFO;
}

void loadDebugPref(bool forceTrace3, bool consoleEcho) {
    dbg_init(consoleEcho, base::Log::INFO, os::getLogDirectory());
    pref* store = pref_init(pref::defaultPath());
    const bool firstStart = store->isNew();
    if (!pref::instanceSlot().install(store)) delete store;
    const std::wstring levelText = base::widen(pref::getString(setting::debugLevel));
    {
        base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
        if (log) log->setLevel(levelFromSetting(levelText, forceTrace3));
    }
    if (firstStart)
        debug::Place("aApp::loadDebugPref").info(L"Файл настроек не найден - используются по умолчанию.");
}

}  // namespace app
