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
    // A hundred thousand songs with a site's Cyrillic titles and paths write about 22 MB; the
    // bound takes a million and a quarter of the shortest items.
    static constexpr std::size_t kMaximumFileSize = 32u << 20;

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

    // The list as its file holds it.
    boost::property_tree::wptree toTree() const;
    // The file's bytes, as storage::xmlText writes toTree(), made without a tree and reading each
    // playlist's items a slice at a time; throws storage::TooLarge past kMaximumFileSize.
    std::string xmlText() const;

    // The bytes the file takes for the item; for the list as it stands, exactly as xmlText writes
    // them, counted from what each playlist keeps rather than from its items; and what the file
    // gains with the items added to the playlist, or with a new empty playlist of that name. An
    // addition or an edit that would take the file past kMaximumFileSize is refused before it
    // is made.
    static std::size_t writtenSize(const Playlist::Item& item);
    std::size_t writtenSize() const;
    static std::size_t addedSize(const Playlist& playlist, const std::vector<Playlist::Item>& items);
    std::size_t addedSize(const std::wstring& playlistName) const;

    // Reads the file as storage::readStateFile does, without its tree: a missing one leaves the
    // list as it is, a damaged or too large one is kept aside, and one that cannot even be
    // renamed is never saved over in this run.
    storage::StateFileRead load(const std::wstring& path);
    // Writes the file unless load found it unreadable and could not keep it aside. A list whose
    // text would pass kMaximumFileSize throws storage::TooLarge: the file keeps the last list that
    // fitted, which load reads whole.
    void save(const std::wstring& path) const;

private:
    void read(const storage::XmlElement& document);

    const std::wstring name_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Playlist>> playlists_;
    storage::StateFileRead read_ = storage::StateFileRead::missing;
    base::ChangeMark changes_;
};
