#pragma once
// Makes the process-wide logger write into a temporary folder for one test and reads
// back what it wrote.

#include <memory>
#include <string>
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
    bool contains(const std::wstring& text, const std::wstring& level = L"") { return !find(text, level).empty(); }
    // From now on writes the records of `level` and above.
    void setLevel(base::Log::Level level);
    // From now on keeps the whole place of every record, which the file shortens to its class.
    void keepPlaces();
    // The whole places of the records kept whose message contains `text`, in the order logged.
    std::vector<std::string> placesOf(const std::wstring& text);
    const TempFolder& folder() const { return folder_; }

private:
    struct Places;

    TempFolder folder_;
    std::shared_ptr<Places> places_;
};

LogLine parseLogLine(const std::wstring& raw);
// Waits until the logger has written everything queued so far to its file.
void waitLogWritten();

}  // namespace test
