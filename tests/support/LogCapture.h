#pragma once
// Makes the process-wide logger write into a temporary folder for one test and reads
// back what it wrote. Each look reads only what was written since the last one, and a text
// looked for again is sought only in the lines added since: a test that waits on the log
// costs the lines it waits through, not the whole log at every poll.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Log.h"
#include "support/TempFolder.h"

namespace test {

struct LogLine {
    std::wstring time;     // "HH:MM:SS.mmm"
    std::wstring level;    // "INFO"
    std::wstring place;    // the shortened place, without brackets
    std::wstring message;  // the text after the place column
    std::wstring raw;      // the whole line
};

class LogCapture {
public:
    explicit LogCapture(base::Log::Level level = base::Log::TRACE3);
    ~LogCapture();

    // Waits until the writer has written what is queued, then reads every line.
    std::vector<LogLine> lines();
    // The lines whose message contains `text` (and, when given, whose level is `level`).
    std::vector<LogLine> find(const std::wstring& text, const std::wstring& level = L"");
    bool contains(const std::wstring& text, const std::wstring& level = L"");
    // From now on writes the records of `level` and above.
    void setLevel(base::Log::Level level);
    // From now on keeps the whole place of every record, which the file shortens to its class.
    void keepPlaces();
    // The whole places of the records kept whose message contains `text`, in the order logged.
    std::vector<std::string> placesOf(const std::wstring& text);
    const TempFolder& folder() const { return folder_; }

private:
    struct Places;
    // One log file (one a day) as read so far: its complete lines, and the bytes of a line not
    // yet ended.
    struct File {
        std::uint64_t offset = 0;
        std::string unended;
        std::vector<LogLine> lines;
    };
    // A text looked for: how many lines of each file were looked at, and which of them hold it.
    struct Search {
        std::map<std::string, std::pair<std::size_t, std::vector<std::size_t>>> files;
    };

    // Waits until the writer has written what is queued and reads what each file gained since the
    // last look; returns holding `lock_`.
    std::unique_lock<std::mutex> readNew();
    // Under `lock_`: brings the search up to the lines read.
    Search& search(const std::wstring& text, const std::wstring& level);

    TempFolder folder_;
    std::shared_ptr<Places> places_;
    std::mutex lock_;
    // By name, which is the order of the days.
    std::map<std::string, File> files_;
    std::map<std::pair<std::wstring, std::wstring>, Search> searches_;
};

LogLine parseLogLine(const std::wstring& raw);
// Waits until the logger has written everything queued so far to its file.
void waitLogWritten();

}  // namespace test
