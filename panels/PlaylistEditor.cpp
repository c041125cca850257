#include "panels/PlaylistEditor.h"

#include <algorithm>
#include <iterator>

#include "app/kit/EnteredText.h"
#include "app/kit/Questions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "panels/ISchedulerControl.h"

namespace frm {
namespace {

constexpr PlaylistRedraw kItemsChanged{false, true, true, true};
// The items of a folder added at a time, between which the addition tells how far it came.
constexpr std::ptrdiff_t kAddedShare = 256;
constexpr PlaylistRedraw kAllChanged{true, true, true, true};

bool contains(const std::vector<long>& rows, long row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

// The operator's answer to a name prompt when it is one to take: not cancelled, not empty and
// not too long (reported).
std::optional<std::wstring> enteredName(const std::optional<std::wstring>& answer,
                                        const debug::Place& place) {
    if (!answer || !enteredNameFits(*answer, place) || answer->empty()) return std::nullopt;
    return answer;
}

// Whether the list's file of `size` bytes is within its bound; told, with what was refused, when
// it is not.
bool fits(const ListOfPlaylist& list, std::size_t size, const wchar_t* refused) {
    return storage::withinBound(size, ListOfPlaylist::kMaximumFileSize, refused,
                                L"файл списка '" + list.getName() + L"'",
                                L"Удалите ненужные элементы или плейлисты");
}

// Whether the list's file takes the item replaced by one of those texts.
bool takesItem(const ListOfPlaylist& list, const Playlist::Item& before, const Playlist::Item& after) {
    return fits(list,
                list.writtenSize() - ListOfPlaylist::writtenSize(before) + ListOfPlaylist::writtenSize(after),
                L"Элемент не изменён");
}

}  // namespace

bool PlaylistEditor::fitsInFile(const ListOfPlaylist& list, const Playlist& current,
                                const std::vector<Playlist::Item>& items) {
    return fits(list, list.writtenSize() + ListOfPlaylist::addedSize(current, items),
                L"Элементы не добавлены");
}

PlaylistEditor::PlaylistEditor(Services services) : services_(std::move(services)) {}

std::optional<PlaylistRedraw> PlaylistEditor::addFiles(const ListOfPlaylist& list,
                                                       const std::shared_ptr<Playlist>& current) {
    const auto paths = services_.questions.chooseFiles(L"Добавить файл", services_.fileFilter(false));
    if (!paths) return std::nullopt;
    if (!current) {
        debug::Place("frm::PlaylistEditor::addFiles").warn(L"Internal error. don't set current playlist");
        return std::nullopt;
    }
    std::vector<Playlist::Item> items;
    for (const std::wstring& path : *paths) items.emplace_back(base::getFileName(path, true), path);
    return add(list, *current, items);
}

std::optional<PlaylistEditor::FolderChoice> PlaylistEditor::chooseFolder() {
    const auto folder = services_.questions.chooseFolder(L"Добавить каталог");
    if (!folder || !base::isFolder(*folder)) return std::nullopt;
    return FolderChoice{*folder, services_.fileFilter(true)};
}

void PlaylistEditor::addListed(const ListOfPlaylist& list, Playlist& current,
                               const std::vector<std::wstring>& files, const Going& going) const {
    std::vector<Playlist::Item> items;
    items.reserve(files.size());
    for (const std::wstring& path : files) items.emplace_back(base::getFileName(path, true), path);
    if (!fitsInFile(list, current, items)) return;
    // Each item's file is looked at once more as it is added, which a slow disk makes long.
    for (auto share = items.begin(); share != items.end();) {
        const auto end = share + std::min<std::ptrdiff_t>(kAddedShare, items.end() - share);
        current.add(
            std::vector<Playlist::Item>(std::make_move_iterator(share), std::make_move_iterator(end)));
        share = end;
        if (!going(static_cast<std::size_t>(share - items.begin()))) return;
    }
}

std::optional<PlaylistRedraw> PlaylistEditor::addCaptureDevice(const ListOfPlaylist& list, Playlist& current,
                                                               const std::wstring& deviceName) {
    return add(list, current, {{L"Захватить сигнал с устройства: " + deviceName, L"adev://" + deviceName}});
}

std::optional<PlaylistRedraw> PlaylistEditor::addUrl(const ListOfPlaylist& list, Playlist& current,
                                                     const std::wstring& title, const std::wstring& url) {
    return add(list, current, {{title, url}});
}

std::optional<PlaylistRedraw> PlaylistEditor::add(const ListOfPlaylist& list, Playlist& current,
                                                  const std::vector<Playlist::Item>& items) {
    if (!fitsInFile(list, current, items)) return std::nullopt;
    current.add(items);
    return kItemsChanged;
}

std::optional<PlaylistRedraw> PlaylistEditor::editUrl(const ListOfPlaylist& list, Playlist& current,
                                                      int index, const std::wstring& title,
                                                      const std::wstring& url) {
    const Playlist::Item edited(title, url, index);
    const auto before = index < 0 ? std::nullopt : current.getItem(static_cast<std::size_t>(index));
    if (before && !takesItem(list, *before, edited)) return std::nullopt;
    current.update(edited);
    return kItemsChanged;
}

std::optional<PlaylistRedraw> PlaylistEditor::rename(const ListOfPlaylist& list, Playlist& current,
                                                     const std::optional<Playlist::Item>& item) {
    const debug::Place place("frm::PlaylistEditor::rename");
    if (item) {
        const auto title = enteredName(
            services_.questions.askText(item->title, L"Введите новое название", item->title), place);
        if (!title) return std::nullopt;
        const Playlist::Item renamed(*title, item->path, item->index);
        if (!takesItem(list, *item, renamed)) return std::nullopt;
        current.update(renamed);
        return kAllChanged;
    }
    const std::wstring oldName = current.getName();
    const auto name =
        enteredName(services_.questions.askText(oldName, L"Введите новое название", oldName), place);
    if (!name || *name == oldName) return std::nullopt;
    // Scheduled tasks and the player find a playlist by its name.
    for (const auto& playlist : list.getAll()) {
        if (playlist.get() != &current && playlist->getName() == *name) {
            place.warn(L"С таким названием плейлист существует");
            return std::nullopt;
        }
    }
    if (!fits(list, list.writtenSize() - storage::writtenSize(oldName) + storage::writtenSize(*name),
              L"Плейлист не переименован") ||
        (services_.scheduler && !services_.scheduler->takesRename(oldName, *name)))
        return std::nullopt;
    if (services_.scheduler) services_.scheduler->renamePlaylist(oldName, *name);
    current.setName(*name);
    return kAllChanged;
}

std::optional<PlaylistRedraw> PlaylistEditor::clear(Playlist& current) {
    const debug::Place place("frm::PlaylistEditor::clear");
    if (services_.player.isPlaying() && services_.player.playlist().get() == &current) {
        place.notice(L"Остановите воспроизведение перед очисткой");
        return std::nullopt;
    }
    if (!services_.questions.askYesNo(L"Очистка плейлиста", L"Очистить текущий плейлист?\t"))
        return std::nullopt;
    place.trace(L"Clear selected playlist");
    current.clear();
    return kItemsChanged;
}

std::optional<PlaylistRedraw> PlaylistEditor::addPlaylist(ListOfPlaylist& list,
                                                          const Playlist::PlayingCallback& callback) {
    const debug::Place place("frm::PlaylistEditor::addPlaylist");
    const auto answer =
        services_.questions.askText(L"Добавление списка воспроизведения", L"Введите название:", L"");
    if (!answer || !enteredNameFits(*answer, place)) return std::nullopt;
    for (const auto& playlist : list.getAll()) {
        if (playlist->getName() == *answer) {
            place.warn(L"С таким названием плейлист существует");
            return std::nullopt;
        }
    }
    if (answer->empty() || !fits(list, list.writtenSize() + list.addedSize(*answer), L"Плейлист не добавлен"))
        return std::nullopt;
    auto playlist = std::make_shared<Playlist>(*answer, true);
    playlist->setCallbackIfPlaying(callback);
    list.add(playlist);
    return PlaylistRedraw{true, false, false, false};
}

PlaylistEditor::Deletion PlaylistEditor::deletePlaylists(ListOfPlaylist& list, const std::vector<long>& rows,
                                                         std::shared_ptr<Playlist>& current) {
    const debug::Place place("frm::PlaylistEditor::deletePlaylists");
    // Whether the rows name playlists of the list that may go; holdsPlayer tells whether the
    // player's playlist (the very object, not one of the same name) is among them. Checked
    // again after the question: the modal dialog lets the player move on meanwhile.
    bool holdsPlayer = false;
    const auto deletable = [&] {
        const auto playlists = list.getAll();
        const auto playerPlaylist = services_.player.playlist();
        holdsPlayer = false;
        for (const long row : rows) {
            if (row < 0 || static_cast<std::size_t>(row) >= playlists.size()) {
                place.error(L"It is incorrect index of list");
                return false;
            }
            if (playerPlaylist && playlists[static_cast<std::size_t>(row)] == playerPlaylist)
                holdsPlayer = true;
        }
        if (holdsPlayer && services_.player.isPlaying()) {
            place.notice(L"Остановите воспроизведение перед удалением");
            return false;
        }
        return true;
    };
    if (!deletable()) return Deletion::refused;
    if (rows.empty()) return Deletion::nothingSelected;
    if (!services_.questions.confirm(L"Удаление", L"Удалить выделенное?")) return Deletion::declined;
    place.trace(L"delete selected");
    if (!deletable()) return Deletion::refused;
    const auto playlists = list.getAll();
    for (const long row : rows) {
        if (services_.scheduler &&
            services_.scheduler->existPlaylist(playlists[static_cast<std::size_t>(row)]->getName())) {
            place.notice(L"Один из выбранных плейлистов входит в задание");
            return Deletion::refused;
        }
    }
    if (holdsPlayer) services_.player.reset();
    current.reset();
    list.setSelection(rows);
    list.deleteSelected();
    return Deletion::deleted;
}

PlaylistEditor::Deletion PlaylistEditor::deleteItems(Playlist& current, const std::vector<long>& rows) {
    const debug::Place place("frm::PlaylistEditor::deleteItems");
    // Checked again after the question: the player may have moved on to a selected item.
    const auto playingSelected = [&] {
        if (!services_.player.isPlaying() || services_.player.playlist().get() != &current ||
            !contains(rows, static_cast<long>(current.getCurrentPosition())))
            return false;
        place.notice(L"Нельзя удалить воспроизводимый трек");
        return true;
    };
    if (playingSelected()) return Deletion::refused;
    if (rows.empty()) return Deletion::nothingSelected;
    if (!services_.questions.confirm(L"Удаление", L"Удалить выделенное?")) return Deletion::declined;
    place.trace(L"delete selected");
    if (playingSelected()) return Deletion::refused;
    current.setSelection(rows);
    current.deleteSelected();
    return Deletion::deleted;
}

}  // namespace frm
