#include "propertypanel/PasskeyRules.h"

#include "foundation/TextConversion.h"

namespace frm::passkey {

KeyRow keyRow(std::size_t position, const std::string& key) {
    const std::wstring number = std::to_wstring(position);
    return {(position < 10 ? L"0" : L"") + number, base::widen(key), L"Ключ " + number};
}

bool accessControl(bool setting, std::size_t keys) {
    return setting && keys > 0;
}

std::wstring accessLabel(bool on) {
    return on ? L"Контроль доступа включен" : L"Контроль доступа выключен";
}

}  // namespace frm::passkey
