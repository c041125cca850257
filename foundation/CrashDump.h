#pragma once
// What a crash leaves behind: log lines that name the fault, the module and the address,
// and a dump file "YYYY-MM-DD_HHMMSS.dmp" in the log folder holding the signal, the
// registers, the backtrace and the memory map.
//
// The crash paths run inside signal handlers, on a thread that may hold the logger's or
// the allocator's lock. They therefore write with system calls only: they never allocate,
// and append their lines to the day's log file themselves, once the logger has written what
// was queued before them; they wait for its lock and its writer only a bounded while.
// Without a logger the lines go to the standard error stream.
//
// The `_safe` log calls serve ordinary code where the logger may not exist: with a logger
// they log under their own name, without one the format text goes unchanged to the
// debugger sink.

#include <signal.h>

#include "foundation/DebugOutput.h"
#include "foundation/Log.h"

namespace debug {

// A fault as the signal handler receives it.
struct Fault {
    int signal = 0;
    const siginfo_t* info = nullptr;
    const void* context = nullptr;  // the interrupted ucontext_t
};

// Captures, while the process is healthy, what the crash paths cannot find out safely
// later (the log folder, the local time offsets) and loads the unwinder. Call it again
// after the data folder has changed.
void prepareCrashReports();
// prepareCrashReports, an alternate signal stack for the calling thread (so that a stack
// overflow can still be reported), exceptionFilter for the fault signals and a terminate
// handler that runs dumpOnTerminate and aborts.
void installCrashHandlers();

// The handler of SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP and SIGABRT: reports the fault,
// then lets the signal's default action end the process.
void exceptionFilter(int signal, siginfo_t* info, void* context);
// The body of the terminate handler: logs why the program ends and writes the dump.
void dumpOnTerminate();
// Logs the fault (without one, the program's module) and writes the dump file. Only one
// thread reports at a time; a fault while reporting ends the process without a second dump.
void makeMemoryDump(const Fault* fault = nullptr);
// Logs the fault at FATAL; without one, the program's module and its base address.
void logException(const Fault* fault = nullptr);

// Wakes the log writer and waits at most 100 ms for it; nothing without a logger.
void flushLog();

namespace detail {

template <class... A>
void logSafe(base::Log::Level level, const char* place, const wchar_t* format, const A&... args) {
    base::SingletonSlot<base::Log>::Use logger(base::Log::instanceSlot());
    if (logger) {
        logger->write(level, format, place, args...);
    } else {
        outputDebugString(format ? format : L"");
    }
}

}  // namespace detail

template <class... A>
void trace_safe(const wchar_t* format, const A&... args) {
    detail::logSafe(base::Log::TRACE, "debug::trace_safe", format, args...);
}
template <class... A>
void debug_safe(const wchar_t* format, const A&... args) {
    detail::logSafe(base::Log::DEBUG, "debug::debug_safe", format, args...);
}
template <class... A>
void important_safe(const wchar_t* format, const A&... args) {
    detail::logSafe(base::Log::IMPOR, "debug::important_safe", format, args...);
}
template <class... A>
void error_safe(const wchar_t* format, const A&... args) {
    detail::logSafe(base::Log::ERROR, "debug::error_safe", format, args...);
}
template <class... A>
void fatal_safe(const wchar_t* format, const A&... args) {
    detail::logSafe(base::Log::FATAL, "debug::fatal_safe", format, args...);
}

}  // namespace debug
