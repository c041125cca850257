#include "propertypanel/DebugMessages.h"

#include <cctype>

#include "foundation/TextConversion.h"

namespace frm::debugpage {
namespace {

// How far a message number may fall below the last one before the numbering starts again.
constexpr std::int64_t kNumberingRestart = 20;

std::vector<std::string> linesOf(const std::string& reply) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < reply.size()) {
        const std::size_t end = reply.find_first_of("\r\n", start);
        const std::size_t stop = end == std::string::npos ? reply.size() : end;
        if (stop > start) lines.push_back(reply.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

// The number of a line "!<digits>...", read whole up to the first non-digit.
std::optional<std::int64_t> messageNumber(const std::string& line) {
    if (line.size() < 2 || line[0] != '!' || !std::isdigit(static_cast<unsigned char>(line[1])))
        return std::nullopt;
    std::int64_t number = 0;
    for (std::size_t index = 1; index < line.size() && std::isdigit(static_cast<unsigned char>(line[index]));
         ++index) {
        number = number * 10 + (line[index] - '0');
        if (number > UINT32_MAX) return std::nullopt;
    }
    return number;
}

}  // namespace

std::optional<Colour> markerBackground(char marker) {
    switch (marker) {
        case 'g':
            return Colour{174, 255, 174};
        case 'r':
            return Colour{255, 168, 168};
        case 'y':
            return Colour{255, 242, 153};
        case '#':
            return Colour{255, 255, 255};
        default:
            return std::nullopt;
    }
}

std::vector<Run> DebugMessages::render(const std::string& message) {
    std::vector<std::pair<std::string, char>> pieces{{"", 0}};
    for (std::size_t index = 0; index < message.size(); ++index) {
        if (message[index] != '#') {
            pieces.back().first += message[index];
        } else if (index + 1 < message.size() && markerBackground(message[index + 1])) {
            pieces.emplace_back("", message[++index]);
        }
    }
    std::vector<Run> runs;
    for (const auto& [text, marker] : pieces) {
        if (!text.empty() || marker != 0) runs.push_back(Run{base::widen(text), marker});
    }
    return runs;
}

void DebugMessages::apply(Target& target, const Edit& edit) {
    target.text.erase(0, edit.trimHead);
    if (edit.removeFrom && *edit.removeFrom < target.text.size()) target.text.erase(*edit.removeFrom);
    for (const Run& run : edit.append) target.text += run.text;
}

Reply DebugMessages::take(int targetId, const std::string& text) {
    Target& target = targets_[targetId];
    Reply reply;
    const auto edit = [&](Edit change) {
        apply(target, change);
        reply.edits.push_back(std::move(change));
    };
    for (const std::string& line : linesOf(text)) {
        const std::optional<std::int64_t> number = messageNumber(line);
        if (!number) {
            reply.plain += line + "\n";
            continue;
        }
        if (*number + kNumberingRestart < lastNumber_) {
            for (auto& [id, other] : targets_) other.lastNumber = 0;
            reply.numberingRestarted = true;
        }
        lastNumber_ = *number;
        if (*number < target.lastNumber) continue;
        const std::size_t blank = line.find(' ');
        const std::string message = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (target.lastLength == message.size() && target.lastNumber == *number) continue;
        target.lastLength = message.size();
        if (*number > target.lastNumber) {
            if (target.text.empty()) {
                target.messageStart = 0;
            } else {
                edit(Edit{0, std::nullopt, {Run{L"\n", 0}}});
                target.messageStart = target.text.size();
            }
        }
        target.lastNumber = *number;
        edit(Edit{0, target.messageStart, render(message)});
    }
    if (target.text.size() > kMaximumLength) {
        // Whole older lines go, never the message that may still be redrawn.
        const std::size_t cut = target.text.find(L'\n', target.text.size() - kMaximumLength / 2);
        if (cut != std::wstring::npos && cut < target.messageStart) {
            edit(Edit{cut + 1, std::nullopt, {}});
            target.messageStart -= cut + 1;
        }
    }
    if (reply.plain.empty()) reply.plain = text;
    return reply;
}

void DebugMessages::clear(int targetId) {
    targets_[targetId] = Target{};
}

void DebugMessages::clearAll() {
    targets_.clear();
}

const std::wstring& DebugMessages::text(int targetId) {
    return targets_[targetId].text;
}

}  // namespace frm::debugpage
