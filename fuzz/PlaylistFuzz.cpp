// The lists of playlists ("list_of_playlist_music.xml", "list_of_playlist_radio.xml"): a file that
// reads is saved as a file that reads back as the same list; one that does not is kept aside.

#include "FuzzSupport.h"
#include "audio/ListOfPlaylist.h"
#include "foundation/Files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::clearScratch();
    const std::wstring path = fuzz::scratchFile("list_of_playlist_music.xml");
    base::writeFile(path, fuzz::text(data, size));
    ListOfPlaylist list(L"music");
    list.load(path);
    if (!base::pathExists(path)) return 0;
    const boost::property_tree::wptree written = list.toTree();
    const std::string text = storage::xmlText(written, static_cast<std::size_t>(-1));
    fuzz::require(list.xmlText() == text, "the list's text made without a tree is its tree's");
    fuzz::require(list.writtenSize() == text.size(), "the list's size as counted is its text's");
    list.save(path);
    ListOfPlaylist again(L"music");
    again.load(path);
    fuzz::require(base::pathExists(path), "a saved playlist file reads back");
    fuzz::require(again.toTree() == written, "a saved playlist file reads back as the same list");
    return 0;
}
