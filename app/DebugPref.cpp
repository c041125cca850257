#include "app/DebugPref.h"

namespace app {

base::Log::Level levelFromSetting(const std::wstring& text, bool forceTrace3) {
    if (forceTrace3 || text == L"trace3") return base::Log::TRACE3;
    if (text == L"trace2") return base::Log::TRACE2;
    if (text == L"trace") return base::Log::TRACE;
    if (text == L"debug") return base::Log::DEBUG;
    return base::Log::INFO;
}

}  // namespace app
