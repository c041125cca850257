#pragma once
// The lines of a progress dialog, one per device that reports, decided without the window:
// 0 to 99 is progress, 100 or more the device's success, a negative value its failure. The wait
// is over once every line has ended; it ends well when the last report was a success.

#include <cstddef>
#include <string>
#include <vector>

namespace frm {

class ProgressModel {
public:
    enum class State { running, done, failed };
    struct Line {
        const void* key = nullptr;
        std::wstring name;
        int percent = 0;
        State state = State::running;
    };

    // A device whose report is awaited before it first reports, so that the wait is not over
    // while it has not reported at all.
    void expect(const void* key, const std::wstring& name);
    // Takes one report of the device `key`; the index of its line, which is added on its first
    // report. A line that has ended keeps its end.
    std::size_t report(const void* key, const std::wstring& name, int value);
    // The operator stops waiting: the lines still running have failed.
    void abandon();

    bool finished() const;
    bool succeeded() const;
    const std::vector<Line>& lines() const { return lines_; }
    // The indexes of the failed lines, in the order they failed.
    const std::vector<std::size_t>& failed() const { return failed_; }

private:
    std::size_t lineOf(const void* key, const std::wstring& name);

    std::vector<Line> lines_;
    std::vector<std::size_t> failed_;
    bool lastSucceeded_ = false;
};

}  // namespace frm
