#include "support/ProgramUnderTest.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/TextConversion.h"

namespace test {
namespace {

const std::string kDataFolder = "/KORVA Security Systems/Melvox/1.2";

}  // namespace

ProgramUnderTest::ProgramUnderTest() : port_(freeUdpPort()) {
    std::filesystem::create_directories(root_.path() + kDataFolder);
    std::ofstream(dataFile("melvoxd.cfg")) << "net: { interfaceIp = \"127.0.0.1\"; };\n"
                                           << "multicast: { basePort = " << port_ << "; };\n"
                                           << "security: { interfaceTimeout = 0; };\n"
                                           << "debug: { level = \"debug\"; };\n";
}

ProgramUnderTest::~ProgramUnderTest() = default;

std::string ProgramUnderTest::dataFile(const std::string& name) const {
    return root_.path() + kDataFolder + "/" + name;
}

std::string ProgramUnderTest::pluginFolder() {
    namespace fs = std::filesystem;
    const fs::path built = fs::path(MELVOX_PROGRAM).parent_path();
    const fs::path own = fs::path(root_.path()) / "program";
    if (program_.empty()) {
        fs::create_directories(own / "@plugins");
        // Linked rather than copied where the file system allows: the program is large.
        for (const fs::path& file :
             {fs::path("melvox"), fs::path("melvox-plugin-probe"), fs::path("@plugins/in_vlc.so")}) {
            std::error_code error;
            fs::create_hard_link(built / file, own / file, error);
            if (error) fs::copy_file(built / file, own / file);
        }
        program_ = (own / "melvox").string();
    }
    return (own / "@plugins").string();
}

std::unique_ptr<ProgramRun> ProgramUnderTest::start(const std::vector<std::string>& arguments,
                                                    bool keepErrors) {
    // A device exchange that waits on the window's thread ends a sanitizer build of the program.
    // Its runtime folder too is the test's own, and goes with it.
    std::map<std::string, std::string> environment{{"LOCALAPPDATA", root_.path()},
                                                   {"XDG_RUNTIME_DIR", root_.path()},
                                                   {"DISPLAY", screen_.display()},
                                                   {"MELVOX_STRICT_THREAD_ROLES", "1"}};
    std::string preloaded;
    if (!stalledFlushes_.empty()) {
        environment["MELVOX_TEST_STALLED_SYNC"] = stalledFlushes_;
        preloaded = MELVOX_STALLED_SYNC;
    }
    if (clockShift_.count() != 0) {
        environment["MELVOX_TEST_CLOCK_SHIFT_US"] = std::to_string(clockShift_.count());
        preloaded += (preloaded.empty() ? "" : ":") + std::string(MELVOX_SHIFTED_CLOCK);
    }
    if (!preloaded.empty()) {
        environment["LD_PRELOAD"] = preloaded;
        // The libraries come before the address checker's runtime, which otherwise refuses to start.
        const char* options = std::getenv("ASAN_OPTIONS");
        environment["ASAN_OPTIONS"] =
            std::string(options != nullptr && *options != '\0' ? std::string(options) + ":" : "") +
            "verify_asan_link_order=0";
    }
    return std::make_unique<ProgramRun>(
        program_.empty() ? std::string(MELVOX_PROGRAM) : program_, arguments, environment,
        keepErrors ? root_.path() + "/stderr-" + std::to_string(++runs_) + ".txt" : std::string());
}

void ProgramUnderTest::stallFlushesOf(const std::string& name) {
    stalledFlushes_ = name;
}

void ProgramUnderTest::shiftWallClock(std::chrono::microseconds shift) {
    clockShift_ = shift;
}

std::optional<int> ProgramUnderTest::quit() {
    return start({"--quit"})->wait();
}

std::size_t ProgramUnderTest::countInLog(const std::wstring& text) const {
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dataFile("log"), error)) {
        const std::wstring content = base::fromUtf8(readWholeFile(entry.path().string()));
        for (std::size_t at = content.find(text); at != std::wstring::npos; at = content.find(text, at + 1))
            ++count;
    }
    return count;
}

bool ProgramUnderTest::waitForLog(const std::wstring& text, std::size_t times,
                                  std::chrono::milliseconds deadline) const {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (countInLog(text) < times) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string ProgramUnderTest::screenshot(const ProgramRun& run, const std::string& name) {
    const std::string path = screenshotPath(name);
    return screen_.screenshot(screen_.waitForWindow(run.pid()), path) ? path : std::string();
}

}  // namespace test
