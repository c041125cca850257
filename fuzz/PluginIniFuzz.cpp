// "plugins.ini", the plug-in host's settings: each section "[in_name.so]" with its "key=value"
// lines, looked up by the plug-in's file name and the key. What is read is trimmed and on one
// line, a key holds no '=', and the sections written back as such a file read as the same
// sections. The host takes the file from its folder, whatever it holds.

#include "FuzzSupport.h"
#include "audio/PluginHost.h"
#include "foundation/Files.h"

namespace {

using Sections = std::map<std::string, std::map<std::string, std::string>>;

bool trimmedLine(const std::string& text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    return text.find('\n') == std::string::npos &&
           (text.empty() || (!blank(text.front()) && !blank(text.back())));
}

std::string written(const Sections& sections) {
    std::string text;
    for (const auto& [name, settings] : sections) {
        text += "[" + name + "]\n";
        for (const auto& [key, value] : settings) text += key + "=" + value + "\n";
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);
    const Sections sections = audio::PluginHost::parseIni(text);
    for (const auto& [name, settings] : sections) {
        fuzz::require(trimmedLine(name), "a section's name is trimmed and on one line");
        for (const auto& [key, value] : settings) {
            fuzz::require(trimmedLine(key) && key.find('=') == std::string::npos,
                          "a key is trimmed, on one line and holds no '='");
            fuzz::require(trimmedLine(value), "a value is trimmed and on one line");
        }
    }
    fuzz::require(audio::PluginHost::parseIni(written(sections)) == sections,
                  "the sections written back read as the same sections");

    // The host in a folder with the file and no plug-in: it reads the file and loads nothing.
    fuzz::clearScratch();
    base::writeFile(fuzz::scratchFile("plugins.ini"), text);
    const audio::PluginHost host(fuzz::scratchFile(""), nullptr, nullptr);
    fuzz::require(host.plugins().empty(), "a folder without plug-ins loads none");
    return 0;
}
