// The player engine and the common streamer: what plays reaches the multicast group as an MPEG
// transport stream of MPEG audio that decodes, and an idle stream sends its keep-alive.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "support/DispatcherWait.h"
#include "support/FakeGuiThread.h"
#include "support/HttpFileServer.h"
#include "support/ManualClock.h"
#include "tests/audio/AudioFixture.h"

namespace {

using test::StreamReceiver;

// The bytes of a shared object whose exported entry function begins with an illegal instruction;
// its address is the one the loader of this process gives it.
std::string withDamagedEntry(const std::string& path, std::string bytes) {
#if defined(__x86_64__) || defined(__i386__)
    const std::string illegal = "\x0F\x0B";  // ud2
#else
    const std::string illegal(4, '\0');  // udf on AArch64
#endif
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = library != nullptr ? dlsym(library, MELVOX_INPUT_PLUGIN_ENTRY) : nullptr;
    Dl_info info{};
    if (entry == nullptr || dladdr(entry, &info) == 0) return bytes;
    const auto address =
        reinterpret_cast<std::uintptr_t>(entry) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    ElfW(Ehdr) header;
    std::memcpy(&header, bytes.data(), sizeof header);
    for (int n = 0; n < header.e_phnum; ++n) {
        ElfW(Phdr) segment;
        std::memcpy(&segment, bytes.data() + header.e_phoff + n * sizeof segment, sizeof segment);
        if (segment.p_type == PT_LOAD && address >= segment.p_vaddr &&
            address < segment.p_vaddr + segment.p_filesz)
            bytes.replace(address - segment.p_vaddr + segment.p_offset, illegal.size(), illegal);
    }
    dlclose(library);
    return bytes;
}

class PlayerEngineTest : public test::AudioFixture {
protected:
    // Plays the item and checks the stream it makes: PAT, PMT, one audio PID, no continuity
    // gaps, and audio whose strongest frequency is `hertz` within 2 %.
    void expectStreamOf(const std::wstring& path, double hertz) {
        StreamReceiver receiver(group_, basePort_ + 1);
        ASSERT_TRUE(engine_->play(path));
        ASSERT_TRUE(waitForAudio(receiver, 1.5));
        const test::TransportStream stream = test::readTransportStream(receiver.payloads());
        EXPECT_TRUE(stream.patSeen);
        EXPECT_TRUE(stream.pmtSeen);
        EXPECT_EQ(stream.audioPids.size(), 1u);
        EXPECT_EQ(stream.continuityErrors, 0);
        EXPECT_EQ(stream.malformed, 0);
        const test::DecodedAudio audio = test::decodeMpegAudio(stream.audio);
        EXPECT_EQ(audio.rate, 44100);
        EXPECT_NEAR(test::strongestFrequency(audio.samples, audio.rate), hertz, hertz * 0.02);
        engine_->stop();
    }

    // A plug-in folder with the shipped plug-in and damaged ones: cut short, crashing at load,
    // with an illegal instruction at its entry.
    std::string damagedPluginFolder() {
        namespace fs = std::filesystem;
        const fs::path folder = files_.path() + "/plugins";
        fs::create_directory(folder);
        const std::string shipped = std::string(MELVOX_PLUGIN_DIR) + "/in_vlc.so";
        fs::copy_file(shipped, folder / "in_vlc.so");
        const std::string whole = test::readWholeFile(shipped);
        // The first 4 KB, as an interrupted copy leaves it.
        std::ofstream(folder / "in_cut.so", std::ios::binary) << whole.substr(0, 4096);
        // Start-up code that faults inside the loader.
        fs::copy_file(MELVOX_CRASH_AT_LOAD_PLUGIN, folder / "in_crash.so");
        // A few damaged bytes in the code: the entry function begins with an illegal instruction.
        std::ofstream(folder / "in_damaged.so", std::ios::binary) << withDamagedEntry(shipped, whole);
        return folder.string();
    }
    void expectOnlyTheShippedPlugin(const std::string& folder) {
        ASSERT_EQ(engine_->plugins().plugins().size(), 1u);
        EXPECT_EQ(engine_->plugins().plugins().front()->file, "in_vlc.so");
        for (const wchar_t* skipped : {L"in_cut.so", L"in_crash.so", L"in_damaged.so"})
            EXPECT_TRUE(capture_.contains(
                L"Модуль '" + base::fromUtf8(folder) + L"/" + skipped + L"' пропущен", L"WARN"))
                << skipped;
        EXPECT_TRUE(capture_.contains(L"in_cut.so' пропущен: файл повреждён", L"WARN"));
    }
};

TEST_F(PlayerEngineTest, SineWavMp3AndHttpStreamsReachTheGroupAndDecode) {
    startEngine();
    const std::string wav = files_.file("tone.wav");
    const std::string mp3 = files_.file("tone.mp3");
    test::writeSineWav(wav, 700, 3);
    ASSERT_TRUE(test::writeSineMp3(mp3, 1500, 3));
    test::HttpFileServer server(mp3);

    expectStreamOf(L"sine://1000", 1000);
    expectStreamOf(base::fromUtf8(wav), 700);
    expectStreamOf(base::fromUtf8(mp3), 1500);
    expectStreamOf(base::fromUtf8(server.url()), 1500);
}

TEST_F(PlayerEngineTest, StopEndsTheAudioAndTheKeepAliveComesOnceASecond) {
    startEngine();
    StreamReceiver receiver(group_, basePort_ + 1);
    // Idle from the start: keep-alives only.
    ASSERT_TRUE(receiver.waitForCount(2));
    for (const std::string& datagram : receiver.payloads()) EXPECT_TRUE(test::isKeepAlive(datagram));

    ASSERT_TRUE(engine_->play(L"sine://440"));
    ASSERT_TRUE(waitForAudio(receiver, 1));
    engine_->stop();
    const auto stopped = std::chrono::system_clock::now();
    EXPECT_FALSE(mp3stream_is_running(stream_));
    // From here a keep-alive is due only when the test moves the clock. Its thread reads the clock
    // once a round: two reads after a move, what that move made it send is in the socket, and the
    // receiver holds it once it has caught up.
    test::ManualClock clock;
    clock.holdSteady();
    const auto afterTwoRounds = [&] {
        const std::size_t from = clock.steadyReadsOn("keep-alive");
        return test::waitFor([&] { return clock.steadyReadsOn("keep-alive") >= from + 2; },
                             std::chrono::seconds(30)) &&
               receiver.catchUp();
    };
    // Audio sent before the stop, and a keep-alive due before the hold, may still come.
    ASSERT_TRUE(afterTwoRounds());
    const std::size_t held = receiver.count();
    // One keep-alive once a second has passed, never a burst, none before the next second.
    clock.advance(std::chrono::seconds(1));
    ASSERT_TRUE(receiver.waitForCount(held + 1));
    ASSERT_TRUE(afterTwoRounds());
    EXPECT_EQ(receiver.count(), held + 1);
    clock.advance(std::chrono::milliseconds(999));
    ASSERT_TRUE(afterTwoRounds());
    EXPECT_EQ(receiver.count(), held + 1);
    clock.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(receiver.waitForCount(held + 2));
    ASSERT_TRUE(afterTwoRounds());
    EXPECT_EQ(receiver.count(), held + 2);
    // Audio sent before the stop may still have been on its way to the receiving thread; what was
    // sent after it is keep-alives only.
    for (const auto& datagram : receiver.datagrams()) {
        if (datagram.sent > stopped) {
            EXPECT_TRUE(test::isKeepAlive(datagram.data));
        }
    }
}

TEST_F(PlayerEngineTest, FilesThatDoNotDecodeFailAndTheNextPlayWorks) {
    startEngine();
    std::vector<PlayerEngine::Event> events;
    std::mutex lock;
    engine_->setEventHandler([&](PlayerEngine::Event event) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(event);
    });
    const std::string text = files_.file("notes.mp3");
    std::ofstream(text) << "these are not samples\n";
    const std::string full = files_.file("full.mp3");
    const std::string truncated = files_.file("truncated.mp3");
    ASSERT_TRUE(test::writeSineMp3(full, 1000, 2));
    std::filesystem::copy_file(full, truncated);
    std::filesystem::resize_file(truncated, std::filesystem::file_size(full) / 3);

    const std::vector<std::pair<std::string, PlayerEngine::Event>> cases = {
        {text, PlayerEngine::Event::failed},
        {truncated, PlayerEngine::Event::ended},
        {files_.file("missing.mp3"), PlayerEngine::Event::failed},
        {"http://127.0.0.1:1/closed.mp3", PlayerEngine::Event::failed},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        {
            std::lock_guard<std::mutex> guard(lock);
            events.clear();
        }
        ASSERT_TRUE(engine_->play(base::fromUtf8(path)));
        ASSERT_TRUE(test::waitFor(
            [&] {
                std::lock_guard<std::mutex> guard(lock);
                return !events.empty();
            },
            std::chrono::seconds(30)));
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_EQ(events.front(), expected);
    }
    expectStreamOf(L"sine://1000", 1000);
}

TEST_F(PlayerEngineTest, FileFilterOfTheShippedPlugin) {
    startEngine();
    const std::wstring plain = PlayerEngine::getFileFilter(true);
    EXPECT_EQ(plain.find(L"*.mp3;"), 0u);
    EXPECT_NE(plain.find(L";*.wav"), std::wstring::npos);
    const std::wstring dialog = PlayerEngine::getFileFilter(false);
    EXPECT_EQ(dialog, L"Все поддерживаемые форматы|" + plain + L"|Audio files (libvlc)|" + plain +
                          L"|Все файлы (*.*)|*");
}

TEST_F(PlayerEngineTest, PluginsWithoutTheInterfaceAreSkippedAndTheOthersLoad) {
    namespace fs = std::filesystem;
    const fs::path folder = files_.path();
    fs::copy_file(fs::path(MELVOX_PLUGIN_DIR) / "in_vlc.so", folder / "in_vlc.so");
    fs::copy_file(MELVOX_NO_ENTRY_PLUGIN, folder / "in_broken.so");
    fs::copy_file(MELVOX_OLD_VERSION_PLUGIN, folder / "in_old.so");
    std::ofstream(folder / "in_text.so") << "not a shared object";
    startEngine(base::fromUtf8(folder.string()));
    ASSERT_EQ(engine_->plugins().plugins().size(), 1u);
    EXPECT_EQ(engine_->plugins().plugins().front()->file, "in_vlc.so");
    for (const wchar_t* skipped : {L"in_broken.so", L"in_old.so", L"in_text.so"})
        EXPECT_TRUE(capture_.contains(skipped, L"WARN")) << skipped;
}

TEST_F(PlayerEngineTest, DamagedPluginsAreSkippedWithTheirWarningAndTheEngineStarts) {
    const std::string folder = damagedPluginFolder();
    startEngine(base::fromUtf8(folder));
    expectOnlyTheShippedPlugin(folder);
    const std::string mp3 = files_.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1500, 3));
    expectStreamOf(base::fromUtf8(mp3), 1500);
}

// The probes that run for the plug-ins of a folder, watched in the process table until the watch
// ends: how many ran at once at most, and the files any of them was given.
class ProbeWatch {
public:
    explicit ProbeWatch(const std::string& folder)
        : folder_(folder), thread_([this] {
              while (!stop_) {
                  look();
                  // A trial lives for a while: a look now and then sees it, and leaves the CPUs
                  // to the trials.
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~ProbeWatch() { end(); }
    void end() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::size_t mostAtOnce() const { return most_; }
    const std::set<std::string>& files() const { return files_; }

private:
    void look() {
        std::size_t running = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            std::ifstream file(entry.path() / "cmdline", std::ios::binary);
            std::vector<std::string> arguments;
            for (std::string argument; std::getline(file, argument, '\0');) arguments.push_back(argument);
            if (arguments.size() != 2 || arguments[0].find("melvox-plugin-probe") == std::string::npos ||
                arguments[1].rfind(folder_, 0) != 0)
                continue;
            ++running;
            files_.insert(std::filesystem::path(arguments[1]).filename().string());
        }
        most_ = std::max(most_, running);
    }

    const std::string folder_;
    std::atomic<bool> stop_{false};
    std::size_t most_ = 0;
    std::set<std::string> files_;
    std::thread thread_;
};

// As the program starts, with plug-ins whose start crashes or never ends and files that are no
// plug-ins at all: those are skipped with their warnings, the trials run a few at a time, and no
// trial is given a file that is not a regular one.
TEST_F(PlayerEngineTest, PluginsWhoseInitCrashesOrHangsAndFilesThatAreNotRegularAreSkipped) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(files_.path()) / "plugins";
    fs::create_directory(folder);
    fs::copy_file(fs::path(MELVOX_PLUGIN_DIR) / "in_vlc.so", folder / "in_vlc.so");
    std::vector<std::string> skipped = {"in_crash.so", "in_fifo.so", "in_folder.so"};
    fs::copy_file(MELVOX_CRASH_IN_INIT_PLUGIN, folder / "in_crash.so");
    // More hanging ones than trials may run at once: each trial lasts its whole deadline.
    for (int i = 0; i < 5; ++i) {
        skipped.push_back("in_hang_" + std::to_string(i) + ".so");
        fs::copy_file(MELVOX_HANG_IN_INIT_PLUGIN, folder / skipped.back());
    }
    ASSERT_EQ(::mkfifo((folder / "in_fifo.so").c_str(), 0600), 0);
    fs::create_directory(folder / "in_folder.so");

    ProbeWatch probes(folder.string());
    audio::PluginHost::startLoading(base::fromUtf8(folder.string()));
    startEngine(base::fromUtf8(folder.string()));
    probes.end();
    ASSERT_EQ(engine_->plugins().plugins().size(), 1u);
    EXPECT_EQ(engine_->plugins().plugins().front()->file, "in_vlc.so");
    for (const std::string& file : skipped)
        EXPECT_TRUE(capture_.contains(base::fromUtf8(folder.string() + "/" + file + "' пропущен"), L"WARN"))
            << file;
    for (const char* file : {"in_fifo.so", "in_folder.so"}) {
        EXPECT_TRUE(capture_.contains(base::fromUtf8(file) + L"' пропущен: не обычный файл", L"WARN"))
            << file;
        EXPECT_EQ(probes.files().count(file), 0u) << file;
    }
    EXPECT_TRUE(
        capture_.contains(L"in_hang_0.so' пропущен: пробная загрузка не закончилась за отведённое время"));
    EXPECT_GT(probes.files().count("in_hang_4.so"), 0u);
    EXPECT_LE(probes.mostAtOnce(), 4u);
    const std::string mp3 = files_.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1500, 3));
    expectStreamOf(base::fromUtf8(mp3), 1500);
}

// As the program starts: the trials run while it probes the network, and the engine takes their
// verdicts.
TEST_F(PlayerEngineTest, TrialsStartedAheadGiveTheEngineTheSameVerdicts) {
    const std::string folder = damagedPluginFolder();
    audio::PluginHost::startTrials(base::fromUtf8(folder));
    startEngine(base::fromUtf8(folder));
    expectOnlyTheShippedPlugin(folder);
}

// As the program starts: the plug-ins load on a thread of their own while it probes the network
// and builds its window, and the engine takes them as they are, loading none a second time.
TEST_F(PlayerEngineTest, PluginsLoadedAheadAreTakenByTheEngineAndPlay) {
    const std::string folder = damagedPluginFolder();
    audio::PluginHost::startLoading(base::fromUtf8(folder));
    // The load's lines wait for the engine: the window that shows its warnings comes before it.
    const std::string shipped = folder + "/in_vlc.so";
    ASSERT_TRUE(test::waitFor([&] {
        void* library = dlopen(shipped.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (library != nullptr) dlclose(library);
        return library != nullptr;
    }));
    EXPECT_FALSE(capture_.contains(L"пропущен", L"WARN"));
    EXPECT_FALSE(capture_.contains(L"Input plug-in '"));
    startEngine(base::fromUtf8(folder));
    expectOnlyTheShippedPlugin(folder);
    EXPECT_EQ(capture_.find(L"Input plug-in '" + base::fromUtf8(folder) + L"/in_vlc.so'", L"INFO").size(), 1u);
    const std::string mp3 = files_.file("tone.mp3");
    ASSERT_TRUE(test::writeSineMp3(mp3, 1500, 3));
    expectStreamOf(base::fromUtf8(mp3), 1500);
    audio::PluginHost::dropLoaded();
    EXPECT_EQ(engine_->plugins().plugins().size(), 1u);
}

// A start that ends before its engine is made leaves no plug-in mapped; an engine made on another
// folder takes none of them.
TEST_F(PlayerEngineTest, PluginsLoadedAheadThatNoEngineTookAreUnloadedWhenDropped) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(files_.path()) / "ahead";
    fs::create_directory(folder);
    fs::copy_file(fs::path(MELVOX_PLUGIN_DIR) / "in_vlc.so", folder / "in_vlc.so");
    const std::string path = (folder / "in_vlc.so").string();
    const auto mapped = [&] {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (library != nullptr) dlclose(library);
        return library != nullptr;
    };
    audio::PluginHost::startLoading(base::fromUtf8(folder.string()));
    startEngine();
    ASSERT_EQ(engine_->plugins().plugins().size(), 1u);
    ASSERT_TRUE(test::waitFor(mapped));
    audio::PluginHost::dropLoaded();
    EXPECT_FALSE(mapped());
    EXPECT_EQ(engine_->plugins().plugins().size(), 1u);
    // Nothing is left to drop, and a later host loads the folder afresh.
    audio::PluginHost::dropLoaded();
    stopEngine();
    startEngine(base::fromUtf8(folder.string()));
    EXPECT_EQ(engine_->plugins().plugins().size(), 1u);
    EXPECT_EQ(capture_.find(L"Input plug-in '" + base::fromUtf8(path) + L"'", L"INFO").size(), 2u);
}

TEST(PluginHostTest, IniSectionsAndPluginChoice) {
    const auto sections = audio::PluginHost::parseIni(
        "; comment\n[in_vlc.so]\nstartTimeout = 2000\nbroken line\n[in_other.so]\nkey=a=b\r\n");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections.at("in_vlc.so").at("startTimeout"), "2000");
    EXPECT_EQ(sections.at("in_other.so").at("key"), "a=b");

    struct Case {
        const wchar_t* path;
        PlayerEngine::SourceKind kind;
    };
    for (const Case& c : {Case{L"sine://1000", PlayerEngine::SourceKind::sine},
                          Case{L"SINE://50", PlayerEngine::SourceKind::sine},
                          Case{L"adev://Microphone", PlayerEngine::SourceKind::capture},
                          Case{L"line://", PlayerEngine::SourceKind::capture},
                          Case{L"/music/a.mp3", PlayerEngine::SourceKind::plugin},
                          Case{L"http://radio/x", PlayerEngine::SourceKind::plugin},
                          Case{L"", PlayerEngine::SourceKind::none}})
        EXPECT_EQ(PlayerEngine::kindOf(c.path), c.kind) << c.path;
    for (const auto& [path, hertz] : std::vector<std::pair<std::wstring, double>>{{L"sine://1000", 1000},
                                                                                  {L"sine://0", 0},
                                                                                  {L"sine://30000", 0},
                                                                                  {L"sine://12x", 0},
                                                                                  {L"sine://", 0}})
        EXPECT_EQ(audio::sineFrequencyOf(path), hertz) << path;
}

}  // namespace
