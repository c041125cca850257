#pragma once
// The one place that reads a device's reply: the "OK"/"SUCCESS"/"ERR" frame, the echo of the
// command, the busy text, the lines of a reply and its on/off words and whole-text numbers.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace device {

class DeviceReply {
public:
    // Removes the frame and trims the text. True for an "OK" or "SUCCESS" reply and for any other
    // that leaves text; false for an "ERR" reply (`error` is then set) and for an empty one.
    static bool strip(std::string& reply, bool* error = nullptr);
    // The same for a command that only the device's success answer acknowledges: true only for a
    // reply that starts with "OK" or "SUCCESS" standing as a word ("OK", "OK[set vol]: 40",
    // "SUCCESS: done"). An "ERR" reply is cut as by strip and sets `error`; any other text ("0",
    // "OKAY?", an echo of the command) is only trimmed.
    static bool stripSuccess(std::string& reply, bool* error = nullptr);
    // Whether the reply is the text of a device still busy with an earlier command.
    static bool isBusy(const std::string& reply);
    // Whether the reply speaks in the device's own answer words: "OK" or "SUCCESS" standing as a
    // word, "ERR", or the busy text. A module behind the device answers in text of its own.
    static bool inAnswerWords(const std::string& reply);
    // The command that the reply's frame names: "get ch" of "OK[get ch]: 3", "SUCCESS[get ch]" or
    // "ERR[get ch]: ..."; empty for a reply without such a frame.
    static std::string_view namedCommand(const std::string& reply);
    // How a command named in a frame stands to `request`: the whole of it ("set vol -18"), its
    // first words ("set vol"), or another command.
    enum class Naming { whole, firstWords, other };
    static Naming naming(std::string_view named, const std::string& request);
    // Whether the reply can answer `request`: true unless it names another command in its frame.
    static bool echoes(const std::string& reply, const std::string& request);
    // Splits at every line end (empty pieces kept); a piece holding ':' keeps only what follows
    // the first ':', trimmed.
    static std::vector<std::string> splitResponse(const std::string& reply);
    // "on" somewhere in the text (any case) is true, else "off" false; neither is refused.
    static bool parseBoolValue(const std::string& text, bool& value);
    // The whole text, blanks around it aside, as a decimal number within [minimum, maximum].
    static bool parseIntValue(const std::string& text, std::int64_t& value, std::int64_t minimum,
                              std::int64_t maximum);
    // The same into a narrower integer; the range is also held to what the integer can take.
    template <class Integer>
    static bool parseIntValue(const std::string& text, Integer& value, std::int64_t minimum,
                              std::int64_t maximum) {
        static_assert(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool> &&
                          (std::is_signed_v<Integer> || sizeof(Integer) < sizeof(std::int64_t)),
                      "an integer that an int64 can hold");
        const auto lowest = static_cast<std::int64_t>(std::numeric_limits<Integer>::min());
        const auto highest = static_cast<std::int64_t>(std::numeric_limits<Integer>::max());
        std::int64_t parsed = 0;
        if (!parseIntValue(text, parsed, minimum < lowest ? lowest : minimum,
                           maximum > highest ? highest : maximum))
            return false;
        value = static_cast<Integer>(parsed);
        return true;
    }
    // The same for a hexadecimal number up to `maximum`, without sign or prefix.
    static bool parseHex(const std::string& text, std::uint32_t& value, std::uint32_t maximum);
};

}  // namespace device
