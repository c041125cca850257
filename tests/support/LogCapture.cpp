#include "support/LogCapture.h"

#include <filesystem>
#include <fstream>
#include <set>

#include "foundation/TextConversion.h"

namespace test {

LogCapture::LogCapture(base::Log::Level level) {
    dbg_free();
    dbg_init(false, level, folder_.widePath());
    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
    log->setLevel(level);
}

LogCapture::~LogCapture() {
    dbg_free();
}

void LogCapture::setLevel(base::Log::Level level) {
    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
    log->setLevel(level);
    base::Log::setActiveLevel(level);
}

struct LogCapture::Places {
    std::mutex lock;
    std::vector<std::pair<std::string, std::wstring>> records;
};

void LogCapture::keepPlaces() {
    places_ = std::make_shared<Places>();
    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
    log->setRecordTap([places = places_](const base::Log::Record& record) {
        std::lock_guard<std::mutex> guard(places->lock);
        places->records.emplace_back(record.place, record.message);
    });
}

std::vector<std::string> LogCapture::placesOf(const std::wstring& text) {
    std::vector<std::string> found;
    if (!places_) return found;
    std::lock_guard<std::mutex> guard(places_->lock);
    for (const auto& [place, message] : places_->records) {
        if (message.find(text) != std::wstring::npos) found.push_back(place);
    }
    return found;
}

LogLine parseLogLine(const std::wstring& raw) {
    LogLine line;
    line.raw = raw;
    line.time = raw.substr(0, 12);
    const std::size_t tab = raw.find(L'\t');
    if (tab == std::wstring::npos || tab < 13) return line;
    line.level = raw.substr(13, tab - 13);
    const std::size_t close = raw.find(L']', tab);
    if (close == std::wstring::npos) return line;
    line.place = raw.substr(tab + 2, close - tab - 2);
    std::size_t start = close + 1;
    while (start < raw.size() && start < tab + 21 && raw[start] == L' ') ++start;
    line.message = raw.substr(start);
    return line;
}

void waitLogWritten() {
    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
    if (log) log->waitWritten(std::chrono::seconds(30));
}

std::unique_lock<std::mutex> LogCapture::readNew() {
    waitLogWritten();
    std::unique_lock<std::mutex> guard(lock_);
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
        if (entry.path().extension() != ".log") continue;
        const std::string path = entry.path().string();
        present.insert(path);
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in.tellg();
        if (size < 0) continue;
        File& file = files_[path];
        if (static_cast<std::uint64_t>(size) < file.offset) {
            // Written anew: read from its start.
            file = File();
            for (auto& [key, search] : searches_) search.files.erase(path);
        }
        if (static_cast<std::uint64_t>(size) == file.offset) continue;
        std::string bytes(static_cast<std::size_t>(size - static_cast<std::streamoff>(file.offset)), '\0');
        in.seekg(static_cast<std::streamoff>(file.offset));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (file.offset == 0 && bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
        file.offset += static_cast<std::uint64_t>(in.gcount());
        file.unended += bytes;
        std::size_t begin = 0;
        for (std::size_t end; (end = file.unended.find("\r\n", begin)) != std::string::npos;
             begin = end + 2) {
            if (end > begin)
                file.lines.push_back(parseLogLine(base::fromUtf8(file.unended.substr(begin, end - begin))));
        }
        file.unended.erase(0, begin);
    }
    for (auto file = files_.begin(); file != files_.end();) {
        if (present.count(file->first) != 0) {
            ++file;
            continue;
        }
        for (auto& [key, search] : searches_) search.files.erase(file->first);
        file = files_.erase(file);
    }
    return guard;
}

LogCapture::Search& LogCapture::search(const std::wstring& text, const std::wstring& level) {
    Search& search = searches_[{text, level}];
    for (const auto& [path, file] : files_) {
        auto& [looked, found] = search.files[path];
        for (; looked < file.lines.size(); ++looked) {
            const LogLine& line = file.lines[looked];
            if (line.message.find(text) != std::wstring::npos && (level.empty() || line.level == level))
                found.push_back(looked);
        }
    }
    return search;
}

std::vector<LogLine> LogCapture::lines() {
    const auto guard = readNew();
    std::vector<LogLine> result;
    for (const auto& [path, file] : files_) result.insert(result.end(), file.lines.begin(), file.lines.end());
    return result;
}

std::vector<LogLine> LogCapture::find(const std::wstring& text, const std::wstring& level) {
    const auto guard = readNew();
    const Search& found = search(text, level);
    std::vector<LogLine> result;
    for (const auto& [path, file] : files_) {
        for (std::size_t index : found.files.at(path).second) result.push_back(file.lines[index]);
    }
    return result;
}

bool LogCapture::contains(const std::wstring& text, const std::wstring& level) {
    const auto guard = readNew();
    for (const auto& [path, lines] : search(text, level).files) {
        if (!lines.second.empty()) return true;
    }
    return false;
}

}  // namespace test
