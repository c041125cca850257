// The checks of an input plug-in before the engine maps it: a file whose headers, segments or
// sections reach past its end is refused without being loaded, and the probe's trial load in a
// process of its own tells a plug-in that crashes the loader or its entry from one that loads.

#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "audio/PluginChecks.h"
#include "foundation/ChildProgram.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const std::string kShipped = MELVOX_PLUGIN_DIR "/in_vlc.so";
const std::string kProbe = MELVOX_PLUGIN_DIR "/../melvox-plugin-probe";
const std::string kDamaged = "файл повреждён: его части выходят за конец файла";

std::string refusalOf(const std::string& path) {
    return audio::elfLayoutRefusal(path).value_or("-");
}

// The shipped plug-in with its header changed by `change`.
std::string withHeader(const test::TempFolder& folder, const std::string& name,
                       const std::function<void(ElfW(Ehdr) &)>& change) {
    std::string bytes = test::readWholeFile(kShipped);
    ElfW(Ehdr) header;
    std::memcpy(&header, bytes.data(), sizeof header);
    change(header);
    std::memcpy(bytes.data(), &header, sizeof header);
    std::ofstream(folder.file(name), std::ios::binary) << bytes;
    return folder.file(name);
}

TEST(PluginChecksTest, AFileWhosePartsReachPastItsEndIsRefusedBeforeItIsMapped) {
    test::TempFolder folder;
    const std::string whole = test::readWholeFile(kShipped);
    const auto cut = [&](const std::string& name, std::size_t size) {
        std::ofstream(folder.file(name), std::ios::binary) << whole.substr(0, size);
        return folder.file(name);
    };
    std::ofstream(folder.file("text.so")) << "not a shared object";
    fs::create_directory(folder.file("folder.so"));
    const std::pair<std::string, std::string> cases[] = {
        {kShipped, "-"},
        {cut("first4k.so", 4096), kDamaged},
        {cut("nosections.so", whole.size() - 64), kDamaged},
        {cut("header.so", 40), "не разделяемая библиотека ELF"},
        {folder.file("text.so"), "не разделяемая библиотека ELF"},
        {folder.file("folder.so"), "не обычный файл"},
        {withHeader(folder, "segments.so", [&](ElfW(Ehdr) & h) { h.e_phoff = whole.size() - 8; }), kDamaged},
        {withHeader(folder, "many.so", [](ElfW(Ehdr) & h) { h.e_phnum = 60000; }), kDamaged},
        {withHeader(folder, "sections.so", [](ElfW(Ehdr) & h) { h.e_shoff = ~ElfW(Off){0} - 16; }), kDamaged},
        {withHeader(folder, "entsize.so", [](ElfW(Ehdr) & h) { h.e_phentsize = 12; }), kDamaged},
        {withHeader(folder, "program.so", [](ElfW(Ehdr) & h) { h.e_type = ET_EXEC; }),
         "не разделяемая библиотека этой системы"},
        {withHeader(folder, "class.so", [](ElfW(Ehdr) & h) { h.e_ident[EI_CLASS] = ELFCLASSNONE; }),
         "не разделяемая библиотека этой системы"},
    };
    for (const auto& [path, refusal] : cases) EXPECT_EQ(refusalOf(path), refusal) << path;
    EXPECT_EQ(refusalOf(folder.file("missing.so")).rfind("файл не открывается", 0), 0u);
}

TEST(PluginChecksTest, TheProbeTellsAPluginThatLoadsFromOneThatDoesNot) {
    const struct {
        std::string plugin;
        bool loads;
        std::string reason;
    } cases[] = {
        {kShipped, true, ""},
        {MELVOX_NO_ENTRY_PLUGIN, false, "нет функции melvox_input_plugin"},
        {MELVOX_OLD_VERSION_PLUGIN, false, "другая версия интерфейса"},
        {MELVOX_CRASH_AT_LOAD_PLUGIN, false, ""},
    };
    for (const auto& c : cases) {
        const os::ChildRun run = os::runChildProgram({kProbe, c.plugin}, std::chrono::seconds(60));
        ASSERT_TRUE(run.started) << c.plugin;
        EXPECT_FALSE(run.timedOut) << c.plugin;
        EXPECT_EQ(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0, c.loads) << c.plugin;
        if (!c.reason.empty()) {
            EXPECT_EQ(run.output, c.reason + "\n") << c.plugin;
        }
    }
}

}  // namespace
