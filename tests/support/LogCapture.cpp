#include "support/LogCapture.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <utility>

#include "foundation/TextConversion.h"

namespace test {

LogCapture::LogCapture(base::Log::Level level) {
    dbg_free();
    dbg_init(false, level, folder_.widePath());
    base::SingletonSlot<base::Log>::Use log(base::Log::instanceSlot());
    log->setLevel(level);
}

LogCapture::~LogCapture() { dbg_free(); }

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

std::vector<LogLine> LogCapture::lines() {
    waitLogWritten();
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
        if (entry.path().extension() == ".log") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<LogLine> result;
    for (const std::string& file : files) {
        std::string bytes = readWholeFile(file);
        if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
        std::size_t begin = 0;
        while (begin < bytes.size()) {
            std::size_t end = bytes.find("\r\n", begin);
            if (end == std::string::npos) end = bytes.size();
            if (end > begin) result.push_back(parseLogLine(base::fromUtf8(bytes.substr(begin, end - begin))));
            begin = end + 2;
        }
    }
    return result;
}

std::vector<LogLine> LogCapture::find(const std::wstring& text, const std::wstring& level) {
    std::vector<LogLine> found;
    for (LogLine& line : lines()) {
        if (line.message.find(text) != std::wstring::npos && (level.empty() || line.level == level)) {
            found.push_back(std::move(line));
        }
    }
    return found;
}

}  // namespace test
