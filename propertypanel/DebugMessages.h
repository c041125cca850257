#pragma once
// The debug page's reading of a device's diagnostic replies, decided without the window. A reply
// holds numbered messages ("!<number> <text>"), which the history of the polled target shows
// one per line, a message of the same number redrawn in place, and plain lines, which the page
// paints as one block. A message's text switches its colour with "#g", "#r", "#y" and "##";
// any other '#' is dropped. The history is mirrored here and kept to a bounded length, and
// every reply gives the edits that bring the window's history control in step.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace frm::debugpage {

// The background of a colour marker; nothing for a character that is no marker.
struct Colour {
    std::uint8_t red, green, blue;
    bool operator==(const Colour& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};
std::optional<Colour> markerBackground(char marker);

// Text appended in the style of its marker, or in the style the control has when the marker is 0.
struct Run {
    std::wstring text;
    char marker = 0;
    bool operator==(const Run& other) const { return text == other.text && marker == other.marker; }
};

// One change of a history control, applied in this order: its first characters removed, the
// text from a position to the end removed, the runs appended.
struct Edit {
    std::size_t trimHead = 0;
    std::optional<std::size_t> removeFrom;
    std::vector<Run> append;
};

struct Reply {
    std::vector<Edit> edits;
    // The plain lines, each followed by a line feed; the whole reply when it has none.
    std::string plain;
    // A message number fell far below the last one seen: every target's numbering started again.
    bool numberingRestarted = false;
};

class DebugMessages {
public:
    static constexpr std::size_t kMaximumLength = 200000;

    // Takes a reply polled from `target`.
    Reply take(int target, const std::string& reply);
    // Empties the target's history.
    void clear(int target);
    // Empties every target's history and numbering: the page shows another device.
    void clearAll();
    // The target's history as its control holds it.
    const std::wstring& text(int target);

private:
    struct Target {
        std::int64_t lastNumber = 0;
        std::size_t lastLength = 0;
        std::size_t messageStart = 0;
        std::wstring text;
    };
    static void apply(Target& target, const Edit& edit);
    static std::vector<Run> render(const std::string& message);

    std::map<int, Target> targets_;
    // The number last seen from any target: one that falls far below it starts the numbering
    // again.
    std::int64_t lastNumber_ = 0;
};

}  // namespace frm::debugpage
