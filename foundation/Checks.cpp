#include "foundation/Checks.h"

#include "foundation/Exceptions.h"
#include "foundation/Place.h"

namespace debug {
namespace {

[[noreturn]] void stopProgram() {
    base::Log::notifyInstance();
    throw exception::StopProgram();
}

}  // namespace

void throwIfFalse(bool condition, const char* place) {
    if (condition) return;
    const Place here("debug::throwIfFalse");
    here.trace(L"");
    here.error(L"Проверяемое условие неверно! Место '%1%'", place);
    throw exception::ServerError();
}

void warnIfFalse(bool condition, const char* place) {
    if (!condition) Place("debug::warnIfFalse").warn(L"Проверяемое условие неверно! Место '%1%'", place);
}

void terminateNull(const char* place) {
    Place("debug::terminateIfNull").fatal(L"Внутренняя ошибка. Указатель не установлен. Место '%1%'", place);
    stopProgram();
}

void terminateOutOfRange(std::int64_t size, std::int64_t index, const char* place) {
    const Place here("debug::terminateIfOutOfRange");
    if (index < 0) {
        here.fatal(L"Внутренняя ошибка. Индекс данных - отрицательный. [size %1%, index %2%, place %3%]", size, index,
                   place);
    } else {
        here.fatal(L"Внутренняя ошибка. Индекс данных вне диапазона. [size %1%, index %2%, place %3%]", size, index,
                   place);
    }
    stopProgram();
}

void terminateIfOutOfRange(std::int32_t count, std::int32_t index, const char* place) {
    if (index < 0 || index >= count) terminateOutOfRange(count, index, place);
}

}  // namespace debug

namespace error {

void legacyTerminate(LegacyFault fault, std::uint64_t size, std::uint64_t index, const char* place) {
    switch (fault) {
        case LegacyFault::nullPointer:
            debug::Place("error::legacy_terminateIfNull").fatal(L"Internal error. Pointer isn't set. Place %1%", place);
            break;
        case LegacyFault::empty:
            debug::Place("error::legacy_terminateIfEmpty")
                .fatal(L"Internal error. Data are not available. Place %1%", place);
            break;
        case LegacyFault::outOfRange:
            debug::Place("error::legacy_terminateIfOutOfRange")
                .fatal(L"Internal error. Data index out of bounds. size %1%, index %2%. Place %3%", size, index, place);
            break;
    }
    base::Log::notifyInstance();
    throw exception::StopProgram();
}

}  // namespace error
