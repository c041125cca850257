#include "audio/PluginHost.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <boost/algorithm/string.hpp>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>

#include "audio/PluginChecks.h"
#include "foundation/ChildProgram.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

constexpr const char* kIniName = "plugins.ini";
constexpr const wchar_t* kProbeName = L"melvox-plugin-probe";
// "plugins.ini" holds a few lines per plug-in; anything larger is not one.
constexpr std::size_t kIniLimit = 64 * 1024;

std::vector<std::string> splitList(const char* text) {
    std::vector<std::string> items;
    if (text == nullptr) return items;
    boost::split(items, text, boost::is_any_of(";"));
    for (std::string& item : items) item = boost::algorithm::to_lower_copy(boost::algorithm::trim_copy(item));
    items.erase(std::remove(items.begin(), items.end(), std::string()), items.end());
    return items;
}

const char* settingOf(void* context, const char* key) {
    auto* plugin = static_cast<PluginHost::Plugin*>(context);
    if (key == nullptr) return nullptr;
    const auto found = plugin->settings.find(key);
    return found == plugin->settings.end() ? nullptr : found->second.c_str();
}

int uncompressData(unsigned char* destination, unsigned long* destinationLength, const unsigned char* source,
                   unsigned long sourceLength) {
    return ::uncompress(destination, destinationLength, source, sourceLength);
}

// Time for the probe to load a plug-in, which may pull in large libraries of its own, and to start
// and end it.
constexpr auto kTrialLimit = std::chrono::seconds(10);
// Trials that run at once: each is a process, and a folder may hold many files.
constexpr std::size_t kTrialsAtOnce = 4;

using Verdict = std::optional<std::string>;

// Tries the plug-in in the probe's process: a file that crashes the loader, its own start-up code
// or its `init`, or whose `init` never returns, takes down only that process.
Verdict trialRefusal(const std::string& path) {
    const std::string probe = base::toUtf8(os::joinPath(os::getApplicationDirectory(), kProbeName));
    const os::ChildRun run = os::runChildProgram({probe, path}, kTrialLimit);
    if (!run.started)
        return "пробная загрузка невозможна: '" + probe + "' не запускается (" +
               std::strerror(run.startError) + ")";
    if (run.timedOut) return std::string("пробная загрузка не закончилась за отведённое время");
    if (WIFSIGNALED(run.status))
        return "сбой при пробной загрузке (сигнал " + std::to_string(WTERMSIG(run.status)) + ")";
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) return std::nullopt;
    const std::string reason = boost::algorithm::trim_copy(run.output);
    if (!reason.empty()) return reason;
    return "сбой при пробной загрузке (код " +
           std::to_string(WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1) + ")";
}

// The whole verdict on a file: what is no shared object of this machine, a FIFO or a device
// among them, never reaches a probe.
Verdict trialVerdict(const std::string& path) {
    if (Verdict refusal = elfLayoutRefusal(path)) return refusal;
    return trialRefusal(path);
}

// The trials started ahead of the host (PluginHost::startTrials), by path; each is taken once.
// They wait in a queue that a few workers take in order.
struct EarlyTrials {
    std::mutex lock;
    std::map<std::string, std::shared_future<Verdict>> byPath;
    std::deque<std::pair<std::string, std::promise<Verdict>>> queue;
    std::size_t running = 0;
    // Last, so that at exit the workers are joined before what they use goes.
    std::vector<std::future<void>> workers;
};

EarlyTrials& earlyTrials() {
    static EarlyTrials trials;
    return trials;
}

void runQueuedTrials() {
    EarlyTrials& trials = earlyTrials();
    for (;;) {
        std::pair<std::string, std::promise<Verdict>> next;
        {
            std::lock_guard<std::mutex> guard(trials.lock);
            if (trials.queue.empty()) {
                --trials.running;
                return;
            }
            next = std::move(trials.queue.front());
            trials.queue.pop_front();
        }
        try {
            next.second.set_value(trialVerdict(next.first));
        } catch (...) {
            // Told to the host that takes the verdict, as a trial of its own would throw it.
            next.second.set_exception(std::current_exception());
        }
    }
}

// The trial started ahead for the path; none when there is none.
std::shared_future<Verdict> takeEarlyTrial(const std::string& path) {
    EarlyTrials& trials = earlyTrials();
    std::lock_guard<std::mutex> guard(trials.lock);
    std::shared_future<Verdict> early;
    const auto found = trials.byPath.find(path);
    if (found != trials.byPath.end()) {
        early = std::move(found->second);
        trials.byPath.erase(found);
    }
    return early;
}

// The "in_*.so" files of the folder in name order; an empty list when it cannot be read.
std::vector<std::filesystem::path> pluginFiles(const std::filesystem::path& root, std::error_code& error) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (fs::directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (boost::starts_with(name, "in_") && boost::ends_with(name, ".so")) files.push_back(entry->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

void PluginHost::startTrials(const std::wstring& folder) {
    std::error_code error;
    const std::vector<std::filesystem::path> files = pluginFiles(base::toUtf8(folder), error);
    EarlyTrials& trials = earlyTrials();
    std::lock_guard<std::mutex> guard(trials.lock);
    for (const std::filesystem::path& file : files) {
        const std::string path = file.string();
        if (trials.byPath.count(path) != 0) continue;
        std::promise<Verdict> verdict;
        trials.byPath[path] = verdict.get_future().share();
        trials.queue.emplace_back(path, std::move(verdict));
    }
    // Workers that ended are let go; the ones left are joined at exit by their futures.
    trials.workers.erase(std::remove_if(trials.workers.begin(), trials.workers.end(),
                                        [](const std::future<void>& worker) {
                                            return worker.wait_for(std::chrono::seconds(0)) ==
                                                   std::future_status::ready;
                                        }),
                         trials.workers.end());
    while (trials.running < kTrialsAtOnce && trials.running < trials.queue.size()) {
        ++trials.running;
        trials.workers.push_back(std::async(std::launch::async, runQueuedTrials));
    }
}

struct PluginHost::EarlyLoad {
    std::mutex lock;
    std::wstring folder;
    std::future<Loaded> plugins;
};

PluginHost::EarlyLoad& PluginHost::earlyLoad() {
    static EarlyLoad load;
    return load;
}

void PluginHost::startLoading(const std::wstring& folder) {
    startTrials(folder);
    EarlyLoad& early = earlyLoad();
    std::lock_guard<std::mutex> guard(early.lock);
    if (early.plugins.valid()) return;
    early.folder = folder;
    early.plugins = std::async(std::launch::async, [folder] { return loadFolder(folder); });
}

void PluginHost::dropLoaded() {
    std::future<Loaded> pending;
    {
        EarlyLoad& early = earlyLoad();
        std::lock_guard<std::mutex> guard(early.lock);
        pending = std::move(early.plugins);
    }
    if (!pending.valid()) return;
    try {
        Loaded loaded = pending.get();
        for (const auto& line : loaded.lines) line();
        for (const auto& plugin : loaded.plugins) unload(*plugin);
    } catch (const std::exception& error) {
        debug::Place("audio::PluginHost::dropLoaded").warn(L"%1%", exception::textOf(error));
    }
}

PluginHost::PluginHost(const std::wstring& folder, const melvox_output_module* output, EventHandler handler)
    : output_(output), handler_(std::move(handler)) {
    const debug::Place place("audio::PluginHost::PluginHost");
    std::future<Loaded> ahead;
    {
        EarlyLoad& early = earlyLoad();
        std::lock_guard<std::mutex> guard(early.lock);
        if (early.plugins.valid() && early.folder == folder) ahead = std::move(early.plugins);
    }
    Loaded loaded = ahead.valid() ? ahead.get() : loadFolder(folder);
    for (const auto& line : loaded.lines) line();
    plugins_ = std::move(loaded.plugins);
    // The plug-ins write to this host's output and tell it their events from here on.
    for (const auto& plugin : plugins_) {
        plugin->host.output = output_;
        plugin->owner = this;
    }
    place.info(L"Input plug-ins loaded: %1%", plugins_.size());
}

PluginHost::Loaded PluginHost::loadFolder(const std::wstring& folder) {
    Loaded loaded;
    const auto warn = [&loaded](const wchar_t* format, const std::wstring& what) {
        loaded.lines.push_back(
            [format, what] { debug::Place("audio::PluginHost::PluginHost").warn(format, what); });
    };
    namespace fs = std::filesystem;
    const fs::path root(base::toUtf8(folder));
    std::map<std::string, std::map<std::string, std::string>> sections;
    const fs::path ini = root / kIniName;
    std::error_code error;
    if (fs::is_regular_file(ini, error)) {
        if (fs::file_size(ini, error) > kIniLimit) {
            warn(L"Файл '%1%' слишком велик и не прочитан", base::fromUtf8(ini.string()));
        } else {
            try {
                sections = parseIni(base::readFile(base::fromUtf8(ini.string())));
            } catch (const std::exception& failure) {
                warn(L"Файл '%1%' не прочитан", base::fromUtf8(ini.string()));
            }
        }
    }
    const std::vector<fs::path> files = pluginFiles(root, error);
    if (error) warn(L"Папка модулей '%1%' не прочитана", folder);
    for (const fs::path& file : files) {
        if (auto plugin = load(file.string(), sections[file.filename().string()], loaded.lines))
            loaded.plugins.push_back(std::move(plugin));
    }
    return loaded;
}

PluginHost::~PluginHost() {
    for (auto& plugin : plugins_) unload(*plugin);
}

void PluginHost::unload(Plugin& plugin) {
    plugin.api->stop();
    plugin.api->quit();
    dlclose(plugin.library);
}

std::unique_ptr<PluginHost::Plugin> PluginHost::load(const std::string& path,
                                                     const std::map<std::string, std::string>& settings,
                                                     LogLines& lines) {
    const std::wstring widePath = base::fromUtf8(path);
    const auto skipped = [&](const std::wstring& reason) {
        lines.push_back([widePath, reason] {
            debug::Place("audio::PluginHost::load").warn(L"Модуль '%1%' пропущен: %2%", widePath, reason);
        });
        return nullptr;
    };
    // Nothing of a damaged file reaches the loader of this process.
    Verdict refusal = elfLayoutRefusal(path);
    const std::shared_future<Verdict> early = takeEarlyTrial(path);
    if (!refusal) refusal = early.valid() ? early.get() : trialRefusal(path);
    if (refusal) return skipped(base::fromUtf8(*refusal));
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        return skipped(base::fromUtf8(reason ? reason : ""));
    }
    auto entry = reinterpret_cast<melvox_input_plugin_entry>(dlsym(library, MELVOX_INPUT_PLUGIN_ENTRY));
    const melvox_input_plugin* api = entry ? entry() : nullptr;
    if (const auto refused = interfaceRefusal(entry, api)) {
        dlclose(library);
        return skipped(base::fromUtf8(*refused));
    }
    auto plugin = std::make_unique<Plugin>();
    plugin->file = std::filesystem::path(path).filename().string();
    plugin->library = library;
    plugin->api = api;
    plugin->extensions = splitList(api->extensions);
    plugin->schemes = splitList(api->schemes);
    plugin->settings = settings;
    // The host that takes the plug-in sets its output and itself as the owner.
    plugin->host.context = plugin.get();
    plugin->host.notify = [](void* context, int event) {
        auto* self = static_cast<Plugin*>(context);
        if (self->owner != nullptr && self->owner->handler_) self->owner->handler_(event);
    };
    plugin->host.setting = settingOf;
    plugin->host.uncompress = uncompressData;
    if (api->init(&plugin->host) != 0) {
        dlclose(library);
        return skipped(L"ошибка инициализации");
    }
    lines.push_back([widePath, description = std::string(api->description)] {
        debug::Place("audio::PluginHost::load")
            .info(L"Input plug-in '%1%': %2%", widePath, base::fromSystem(description));
    });
    return plugin;
}

const PluginHost::Plugin* PluginHost::find(const std::wstring& location) const {
    const std::string text = boost::algorithm::to_lower_copy(base::toUtf8(location));
    const std::size_t scheme = text.find("://");
    for (const auto& plugin : plugins_) {
        if (scheme != std::string::npos) {
            const std::string name = text.substr(0, scheme);
            if (std::find(plugin->schemes.begin(), plugin->schemes.end(), name) != plugin->schemes.end())
                return plugin.get();
            continue;
        }
        const std::size_t dot = text.rfind('.');
        const std::size_t slash = text.find_last_of("/\\");
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) continue;
        const std::string extension = text.substr(dot + 1);
        if (std::find(plugin->extensions.begin(), plugin->extensions.end(), extension) !=
            plugin->extensions.end())
            return plugin.get();
    }
    return nullptr;
}

std::wstring PluginHost::fileFilter(bool plain) const {
    auto patterns = [](const std::vector<std::string>& extensions) {
        std::string joined;
        for (const std::string& extension : extensions) joined += (joined.empty() ? "*." : ";*.") + extension;
        return base::fromUtf8(joined);
    };
    std::vector<std::string> all;
    for (const auto& plugin : plugins_)
        for (const std::string& extension : plugin->extensions)
            if (std::find(all.begin(), all.end(), extension) == all.end()) all.push_back(extension);
    if (plain) return patterns(all);
    std::wstring filter = L"Все поддерживаемые форматы|" + patterns(all);
    for (const auto& plugin : plugins_)
        filter += L"|" + base::fromUtf8(plugin->api->description) + L"|" + patterns(plugin->extensions);
    return filter + L"|Все файлы (*.*)|*";
}

std::map<std::string, std::map<std::string, std::string>> PluginHost::parseIni(const std::string& text) {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::map<std::string, std::string>* current = nullptr;
    std::vector<std::string> lines;
    boost::split(lines, text, boost::is_any_of("\n"));
    for (std::string& line : lines) {
        boost::algorithm::trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            current = &sections[boost::algorithm::trim_copy(line.substr(1, line.size() - 2))];
            continue;
        }
        const std::size_t equals = line.find('=');
        if (current == nullptr || equals == std::string::npos) continue;
        (*current)[boost::algorithm::trim_copy(line.substr(0, equals))] =
            boost::algorithm::trim_copy(line.substr(equals + 1));
    }
    return sections;
}

}  // namespace audio
