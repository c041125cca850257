#include "app/kit/ProgressModel.h"

#include <algorithm>

namespace frm {

std::size_t ProgressModel::lineOf(const void* key, const std::wstring& name) {
    auto found =
        std::find_if(lines_.begin(), lines_.end(), [&](const Line& line) { return line.key == key; });
    if (found == lines_.end()) found = lines_.insert(lines_.end(), Line{key, name, 0, State::running});
    return static_cast<std::size_t>(found - lines_.begin());
}

void ProgressModel::expect(const void* key, const std::wstring& name) {
    lineOf(key, name);
}

std::size_t ProgressModel::report(const void* key, const std::wstring& name, int value) {
    const std::size_t index = lineOf(key, name);
    Line& line = lines_[index];
    if (line.state != State::running) return index;
    if (value < 0) {
        line.state = State::failed;
        failed_.push_back(index);
    } else if (value >= 100) {
        line.state = State::done;
        line.percent = 100;
    } else {
        line.percent = value;
    }
    lastSucceeded_ = value >= 0;
    return index;
}

void ProgressModel::abandon() {
    for (std::size_t index = 0; index < lines_.size(); ++index) {
        if (lines_[index].state != State::running) continue;
        lines_[index].state = State::failed;
        failed_.push_back(index);
        lastSucceeded_ = false;
    }
}

bool ProgressModel::finished() const {
    return !lines_.empty() && std::none_of(lines_.begin(), lines_.end(),
                                           [](const Line& line) { return line.state == State::running; });
}

bool ProgressModel::succeeded() const {
    return finished() && lastSucceeded_;
}

}  // namespace frm
