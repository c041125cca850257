#pragma once
// The place of a log call: the calling function's qualified name. Its operations, named
// by level, format a message and queue it on the logger; without a logger they do nothing.
//
//     debug::Place("device::DeviceBase::transfer").info(L"Sent '%1%' to %2%", command, address);

#include <cstdint>
#include <cstring>

#include "foundation/Log.h"

namespace debug {

class Place {
public:
    constexpr Place() = default;
    Place(const char* text) : text_(text), length_(text ? static_cast<std::uint32_t>(std::strlen(text)) : 0) {}

    // Stores the text; returns the place when a logger exists, otherwise null.
    Place* set(const char* text, std::uint32_t length) {
        text_ = text;
        length_ = length;
        return base::Log::instanceSlot().peek() ? this : nullptr;
    }

    const char* text() const { return text_ ? text_ : ""; }
    std::uint32_t length() const { return length_; }

    template <class... A> void trace3(const wchar_t* f, const A&... a) const { log(base::Log::TRACE3, f, a...); }
    template <class... A> void trace2(const wchar_t* f, const A&... a) const { log(base::Log::TRACE2, f, a...); }
    template <class... A> void trace(const wchar_t* f, const A&... a) const { log(base::Log::TRACE, f, a...); }
    template <class... A> void debug(const wchar_t* f, const A&... a) const { log(base::Log::DEBUG, f, a...); }
    template <class... A> void mark(const wchar_t* f, const A&... a) const { log(base::Log::MARK, f, a...); }
    template <class... A> void info(const wchar_t* f, const A&... a) const { log(base::Log::INFO, f, a...); }
    template <class... A> void external(const wchar_t* f, const A&... a) const { log(base::Log::EXTERN, f, a...); }
    template <class... A> void important(const wchar_t* f, const A&... a) const { log(base::Log::IMPOR, f, a...); }
    template <class... A> void notice(const wchar_t* f, const A&... a) const { log(base::Log::NOTICE, f, a...); }
    template <class... A> void warn(const wchar_t* f, const A&... a) const { log(base::Log::WARN, f, a...); }
    template <class... A> void error(const wchar_t* f, const A&... a) const { log(base::Log::ERROR, f, a...); }
    template <class... A> void fatal(const wchar_t* f, const A&... a) const { log(base::Log::FATAL, f, a...); }

private:
    template <class... A>
    void log(base::Log::Level level, const wchar_t* format, const A&... args) const {
        // The level test comes first, so a suppressed call costs one comparison.
        if (level < base::Log::activeLevel()) return;
        base::SingletonSlot<base::Log>::Use logger(base::Log::instanceSlot());
        if (logger) logger->write(level, format, text_, args...);
    }

    const char* text_ = nullptr;
    std::uint32_t length_ = 0;
};

}  // namespace debug
