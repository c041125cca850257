// "scheduler.xml": a file that reads puts the tasks that name the sources, files and loudspeakers
// there are and holds every other record as it was read, so that it is saved with as many task
// records as it held, under a root without attributes; the saved file reads back as the same
// tasks. A file that does not read, or is of the former format, is kept aside.

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "audio/PlaybackPlaylist.h"
#include "audio/PlaybackTrack.h"
#include "audio/SchedulerCore.h"
#include "devicelink/TransferProtocol.h"
#include "devices/VokarInfo.h"
#include "foundation/Files.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "panels/PlaybackDrive.h"
#include "panels/SchedulerStore.h"
#include "support/TempFolder.h"

namespace {

using Tree = boost::property_tree::wptree;
using frm::SchedulerStore;

// What the tasks name: the sources of the scheduler panel (playlists, radio, a medium, a service
// message with its gong, a recording), the message folders and two loudspeakers. The core's
// thread is stopped, so that no task falls due while the program runs.
struct Installation {
    Installation() {
        pref::instanceSlot().install(pref_init(L""));
        for (const char* folder : {"gong", "service", "alarm", "record"})
            std::filesystem::create_directories(folders.file(folder));
        pref::setString(setting::placePathDirGong.key, folders.file("gong"));
        pref::setString(setting::placePathDirServiceMessage.key, folders.file("service"));
        pref::setString(setting::placePathDirAlarmMessage.key, folders.file("alarm"));
        pref::setString(setting::placePathDirRecordedMessage.key, folders.file("record"));
        std::ofstream(folders.file("gong/Колокол.mp3")) << "gong";
        std::ofstream(folders.file("service/Обед.mp3")) << "message";
        std::ofstream(folders.file("service/Запись.mp3")) << "recording";
        core.stop();

        const auto playlists = [&](const wchar_t* title, const wchar_t* kind,
                                   std::initializer_list<const wchar_t*> names) {
            auto source = frm::PlaybackCollection::create(title, kind);
            for (const wchar_t* name : names)
                source->add(
                    std::make_shared<frm::PlaybackPlaylist>(name, std::make_shared<Playlist>(name, true)));
            sources.push_back(source);
        };
        playlists(L"Плейлист", L"playlist", {L"Вечер & ночь", L"Утро"});
        playlists(L"Радио", L"radio", {L"Эфир"});
        auto drives = frm::PlaybackCollection::create(L"Накопители", frm::PlaybackDrive::kSourceKind);
        drives->add(std::make_shared<frm::PlaybackDrive>(L"/media/fuzz/USB"));
        sources.push_back(drives);
        const auto track = [&](const wchar_t* title, const wchar_t* kind, const wchar_t* name,
                               const char* file) {
            auto source = frm::PlaybackCollection::create(title, kind);
            auto message = std::make_shared<frm::PlaybackTrack>(name, 4, false);
            message->setMessage(name, base::fromUtf8(folders.file(file)));
            source->add(message);
            sources.push_back(source);
        };
        track(L"Служебные сообщения", L"serviceMessage", L"Обед", "service/Обед.mp3");
        track(L"Микрофон", L"microphone", L"Запись", "service/Запись.mp3");

        for (std::uint32_t number : {1u, 2u}) {
            loudspeakers.push_back(device::VokarInfo::create(
                number, device::types::vokarB, net::HardwareAddress(0x027E41, number),
                net::IpAndPort("127.0.0.2", 1), L"", transport, nullptr));
        }
    }

    SchedulerStore::Lookup lookup() const {
        return [this](const net::HardwareAddress& address) -> frm::ZoneElement::DevicePtr {
            for (const auto& loudspeaker : loudspeakers) {
                const net::HardwareAddress& known = loudspeaker->getHardwareAddress();
                if (known.getHigh() == address.getHigh() && known.getLow() == address.getLow())
                    return loudspeaker;
            }
            return nullptr;
        };
    }

    test::TempFolder folders;
    scheduler::Core core;
    // A transport that never runs: nothing is sent.
    const std::shared_ptr<device::TransferProtocol> transport =
        std::make_shared<device::TransferProtocol>(0, "127.0.0.1");
    SchedulerStore::Sources sources;
    std::vector<std::shared_ptr<device::DeviceBase>> loudspeakers;
};

// Every element below the root is a task record, whatever its name.
std::size_t taskRecords(const Tree& tree) {
    const auto root = tree.get_child_optional(SchedulerStore::kRoot);
    if (!root) return 0;
    return static_cast<std::size_t>(std::count_if(root->begin(), root->end(), [](const auto& child) {
        return !child.first.empty() && child.first.front() != L'<';
    }));
}

// The tree the store saves after reading `tree` into an empty scheduler.
Tree readAndSave(Installation& installation, const Tree& tree) {
    installation.core.clear();
    frm::SchedulerTasks tasks(installation.core, {});
    SchedulerStore store(tasks);
    store.fromTree(tree, installation.sources, installation.lookup());
    store.takeHeld(frm::PlaybackDrive::kSourceKind, installation.sources, installation.lookup());
    Tree saved = store.toTree();
    const std::string text = storage::xmlText(saved, static_cast<std::size_t>(-1));
    fuzz::require(SchedulerStore::xmlText(store.keep()) == text,
                  "the file's text made without a tree is its tree's");
    fuzz::require(store.writtenSize() == text.size(), "the file's size as counted is its text's");
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Installation installation;
    constexpr const char* name = "scheduler.xml";
    fuzz::clearScratch();
    const std::wstring path = fuzz::scratchFile(name);
    base::writeFile(path, fuzz::text(data, size));

    // The panel's own load: a file of another root is kept aside as one that does not read.
    installation.core.clear();
    {
        frm::SchedulerTasks tasks(installation.core, {});
        SchedulerStore store(tasks);
        const storage::StateFileRead read = store.load(path, installation.sources, installation.lookup());
        if (read != storage::StateFileRead::loaded) {
            fuzz::require(read == storage::StateFileRead::keptAside && !base::pathExists(path),
                          "a scheduler file that does not read is kept aside");
            return 0;
        }
    }
    Tree tree;
    fuzz::require(fuzz::readStateFile(name, data, size, frm::SchedulerStore::kMaximumFileSize, tree),
                  "a scheduler file that loaded reads");
    const Tree written = readAndSave(installation, tree);
    fuzz::require(taskRecords(written) == taskRecords(tree), "a save keeps every task record");
    fuzz::require(!written.get_child_optional(std::wstring(SchedulerStore::kRoot) + L".<xmlattr>"),
                  "a saved root carries no attribute");
    fuzz::require(readAndSave(installation, fuzz::saveAndReload(name, written)) == written,
                  "a saved scheduler file reads back as the same tasks");
    return 0;
}
