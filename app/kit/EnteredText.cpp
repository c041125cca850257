#include "app/kit/EnteredText.h"

#include "audio/Playlist.h"
#include "foundation/Place.h"

namespace frm {

bool enteredNameFits(const std::wstring& name, const debug::Place& place) {
    if (name.size() <= kLongestEnteredName) return true;
    place.notice(L"Превышено максимальное количество символов");
    return false;
}

bool urlEntryAccepted(const std::wstring& title, const std::wstring& url) {
    const debug::Place place("frm::UrlDialog::saveOnButtonClick");
    if (title.empty()) {
        place.notice(L"Введите название");
        return false;
    }
    if (!enteredNameFits(title, place)) return false;
    if (url.empty()) {
        place.notice(L"Введите URL");
        return false;
    }
    if (!Playlist::checkItem(url)) {
        place.notice(L"Путь некорректный '%1%'", url);
        return false;
    }
    return true;
}

}  // namespace frm
