#pragma once
// A named list of playlists: the music list and the radio list of the playlist panels, each kept
// in its XML file of the data folder ("list_of_playlist_music.xml", "list_of_playlist_radio.xml").

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/BaseControlList.h"
#include "audio/Playlist.h"
#include "foundation/ChangeMark.h"
#include "foundation/Storage.h"

class ListOfPlaylist : public BaseControlList {
public:
    static constexpr const wchar_t* kMusicFile = L"list_of_playlist_music.xml";
    static constexpr const wchar_t* kRadioFile = L"list_of_playlist_radio.xml";
    // Ten thousand items of Cyrillic titles and paths write 2.2 MB; the bound takes about seventy
    // thousand of them.
    static constexpr std::size_t kMaximumFileSize = 16u << 20;

    explicit ListOfPlaylist(const std::wstring& name);

    void deleteSelected() override;
    long moveItem(long from, long to) override;

    std::vector<std::shared_ptr<Playlist>> getAll() const;
    // The playlist at the index; an index out of range is an internal fault.
    std::shared_ptr<Playlist> getOne(std::size_t index) const;
    void add(const std::shared_ptr<Playlist>& playlist);
    std::wstring getName() const { return name_; }
    // Marked by each change of the list or of its playlists.
    const base::ChangeMark& changes() const { return changes_; }

    // The list as its file holds it, and back; a tree that is not such a list gives no playlists.
    boost::property_tree::wptree toTree() const;
    void fromTree(const boost::property_tree::wptree& tree);

    // The bytes the file takes for the item, and for the whole list as it stands (as save writes
    // it, give or take a few bytes a playlist): an addition that would take the file past
    // kMaximumFileSize is refused before it is made.
    static std::size_t writtenSize(const Playlist::Item& item);
    std::size_t writtenSize() const;

    // Reads the file as storage::readStateFile does: a missing one leaves the list as it is, a
    // damaged one is kept aside, and one that cannot even be renamed is never saved over in this
    // run.
    void load(const std::wstring& path);
    // Writes the file unless load found it unreadable and could not keep it aside. A list whose
    // text would pass kMaximumFileSize throws storage::TooLarge: the file keeps the last list that
    // fitted, which load reads whole.
    void save(const std::wstring& path) const;

private:
    const std::wstring name_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Playlist>> playlists_;
    storage::StateFileRead read_ = storage::StateFileRead::missing;
    base::ChangeMark changes_;
};
