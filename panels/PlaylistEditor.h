#pragma once
// The editing commands of the playlist panel on its lists, apart from the window: adding files,
// a folder tree, a capture device or a URL to the current playlist, editing a URL, renaming,
// clearing, adding a playlist, and deleting playlists or items, each with its refusals and
// questions. The panel gathers what the operator chose on the screen, shows its own dialogs
// (the URL and the capture device), and redraws what a command reports.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/ListOfPlaylist.h"
#include "audio/Playlist.h"

namespace frm {

class ISchedulerControl;
class Questions;

// What a command asks the panel to redraw (the flags of redrawGuiElements).
struct PlaylistRedraw {
    bool listOfPlaylist = false;
    bool playlist = false;
    bool menuItems = false;
    bool buttons = false;

    bool operator==(const PlaylistRedraw& other) const {
        return listOfPlaylist == other.listOfPlaylist && playlist == other.playlist &&
               menuItems == other.menuItems && buttons == other.buttons;
    }
};

class PlaylistEditor {
public:
    // What the commands read of the player and do to it.
    struct PlayerAccess {
        std::function<bool()> isPlaying;
        std::function<std::shared_ptr<Playlist>()> playlist;
        // Stops the player with its stop notification and drops its playlist.
        std::function<void()> reset;
    };
    struct Services {
        Questions& questions;
        // Null when there is no scheduler: then no playlist is scheduled.
        ISchedulerControl* scheduler = nullptr;
        PlayerAccess player;
        // The player engine's file filter (PlayerEngine::getFileFilter).
        std::function<std::wstring(bool plain)> fileFilter;
    };
    enum class Deletion {
        // Refused and reported; nothing changed.
        refused,
        nothingSelected,
        // The operator answered no.
        declined,
        deleted,
    };

    explicit PlaylistEditor(Services services);

    // Files chosen in a file dialog, one item each (title: the file name without extension).
    // Without a current playlist nothing is added and the fault is reported. Each addition to the
    // current playlist of the list is refused as a whole, and told, when the list's file would
    // then pass its bound (ListOfPlaylist::kMaximumFileSize): it could not be saved.
    std::optional<PlaylistRedraw> addFiles(const ListOfPlaylist& list,
                                           const std::shared_ptr<Playlist>& current);
    // A folder tree is added in two steps, so that its files are listed and added off the
    // window's thread (FolderAddition): the operator chooses the folder, whose files of the
    // extensions that the player plays (';'-separated) are to be added; none when the dialog was
    // cancelled or the folder is gone.
    struct FolderChoice {
        std::wstring folder;
        std::wstring extensions;
    };
    std::optional<FolderChoice> chooseFolder();
    // Then the files listed are added as items in their order, a share at a time: `going` is told
    // the files handled after each share, and false from it stops the addition, which keeps what
    // it added. They are refused as a whole, and told, when they would take the list's file past
    // its bound. Callable from any thread: the list and the playlist are read and changed through
    // their own locks.
    using Going = std::function<bool(std::size_t handled)>;
    void addListed(const ListOfPlaylist& list, Playlist& current, const std::vector<std::wstring>& files,
                   const Going& going) const;
    std::optional<PlaylistRedraw> addCaptureDevice(const ListOfPlaylist& list, Playlist& current,
                                                   const std::wstring& deviceName);
    std::optional<PlaylistRedraw> addUrl(const ListOfPlaylist& list, Playlist& current,
                                         const std::wstring& title, const std::wstring& url);
    // Whether the list's file takes the items added to `current` beside what it holds; told when it
    // does not. It reads what the list and the playlist keep under their locks, so it may run on
    // any thread, and costs what the items cost, not what the list holds.
    static bool fitsInFile(const ListOfPlaylist& list, const Playlist& current,
                           const std::vector<Playlist::Item>& items);

    // The edits below are refused, and told as an addition is, when the list's file (or, for a
    // playlist's new name, the scheduler's file, which names it) would then pass its bound.
    std::optional<PlaylistRedraw> editUrl(const ListOfPlaylist& list, Playlist& current, int index,
                                          const std::wstring& title, const std::wstring& url);
    // Renames the item when one is given, else the current playlist, to a name the operator
    // enters; a playlist is not given the name of another playlist of the list.
    std::optional<PlaylistRedraw> rename(const ListOfPlaylist& list, Playlist& current,
                                         const std::optional<Playlist::Item>& item);
    // Empties the current playlist after asking; refused while the player plays it.
    std::optional<PlaylistRedraw> clear(Playlist& current);
    // Appends an empty playlist under a new name the operator enters; it gets the playing
    // callback.
    std::optional<PlaylistRedraw> addPlaylist(ListOfPlaylist& list,
                                              const Playlist::PlayingCallback& callback);
    // Deletes the playlists at the rows after asking, unless the player plays one of them or a
    // scheduled task names one; a stopped player holding one is reset. The current playlist is
    // dropped once they are deleted.
    Deletion deletePlaylists(ListOfPlaylist& list, const std::vector<long>& rows,
                             std::shared_ptr<Playlist>& current);
    // Deletes the items at the rows after asking, unless the playing item is one of them.
    Deletion deleteItems(Playlist& current, const std::vector<long>& rows);

private:
    std::optional<PlaylistRedraw> add(const ListOfPlaylist& list, Playlist& current,
                                      const std::vector<Playlist::Item>& items);

    Services services_;
};

}  // namespace frm
