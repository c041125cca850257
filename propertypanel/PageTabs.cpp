#include "propertypanel/PageTabs.h"

#include <algorithm>

namespace frm::pages {

const std::vector<PageInfo>& all() {
    static const std::vector<PageInfo> table = {
        {common, L"Общие", L"ID_PAGE_COMMON"},
        {audioMemory, L"Аудио память", L"ID_PAGE_AUDIO_MEMORY"},
        {network, L"Сеть", L"ID_PAGE_NETWORK"},
        {nerida, L"Нерида", L"ID_PAGE_NERIDA"},
        {source, L"Источники", L"ID_PAGE_SOURCE"},
        {lineControl, L"Линия", L"ID_PAGE_LINE_CONTROL"},
        {passkey, L"Ключи", L"ID_PAGE_PASSKEY"},
        {zoneTargets, L"Зоны трансляции", L"ID_PAGE_ZONE_TARGETS"},
        {linkedConsoles, L"Связанные консоли", L"ID_PAGE_LINKED_CONSOLES"},
        {debugMessage, L"Отладочные сообщения", L"ID_PAGE_DEBUG_MESSAGE"},
    };
    return table;
}

const PageInfo* find(int id) {
    const auto& table = all();
    const auto found =
        std::find_if(table.begin(), table.end(), [id](const PageInfo& page) { return page.id == id; });
    return found == table.end() ? nullptr : &*found;
}

std::set<int> wanted(const DeviceTraits& traits) {
    std::set<int> result = {common, debugMessage};
    if (!traits.compatible) return result;
    result.insert({audioMemory, network});
    if (traits.neridaInterface) result.insert(nerida);
    if (traits.lineControl) result.insert(lineControl);
    if (traits.loudspeaker) {
        result.insert(source);
        if (traits.consoleBindings) result.insert(linkedConsoles);
    }
    if (traits.console) result.insert({passkey, zoneTargets});
    return result;
}

TabLayout layoutTabs(const std::set<int>& shown, const std::set<int>& wanted, int current, bool debugMode) {
    TabLayout layout;
    layout.current = current;
    if (shown == wanted) {
        layout.relevant = true;
        return layout;
    }
    for (const int id : wanted) {
        if (id == debugMessage && !debugMode) continue;
        layout.inserted.push_back(id);
    }
    const bool currentInserted =
        std::find(layout.inserted.begin(), layout.inserted.end(), current) != layout.inserted.end();
    if (!currentInserted && !layout.inserted.empty()) {
        layout.current = common;
        layout.fellBack = true;
    }
    return layout;
}

}  // namespace frm::pages
