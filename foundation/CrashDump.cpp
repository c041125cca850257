#include "foundation/CrashDump.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/FixedText.h"
#include "foundation/Place.h"
#include "foundation/SignalSafeClock.h"
#include "foundation/TextConversion.h"

// Everything below that can run inside a signal handler keeps to async-signal-safe system
// calls: no allocation, no stdio, no locks that could be held by the interrupted code.

namespace debug {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr std::size_t kPathRoom = 4096;
constexpr std::size_t kAlternateStackSize = 256 * 1024;
// A fault this close to the stack pointer is the stack running into its guard area.
constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;
constexpr int kBacktraceDepth = 64;
constexpr int kPlaceColumn = 20;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// How long one report waits in all for the log writer: on a loaded machine it may be off the
// processor for a while; one that waits for a lock the crashing thread holds never comes.
constexpr auto kLogWriterWait = std::chrono::seconds(5);

struct CrashState {
    char logFolder[kPathRoom] = {};
    SignalSafeClock clock;
};

CrashState& crashState() {
    static CrashState state;
    return state;
}

// ---- The one thread that reports a crash.

std::atomic<pid_t> g_reporter{0};

enum class Claim { mine, nested, refused };

void sleepMillis(long millis) {
    timespec pause{0, millis * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// A second thread that crashes while another reports waits for the report (which ends the
// process); a fault on the reporting thread itself must not report again.
Claim claimReport() {
    const pid_t self = gettid();
    for (int round = 0; round < 1000; ++round) {
        pid_t expected = 0;
        if (g_reporter.compare_exchange_strong(expected, self)) return Claim::mine;
        if (expected == self) return Claim::nested;
        sleepMillis(10);
    }
    return Claim::refused;
}

void releaseReport() {
    g_reporter.store(0);
}

// ---- Writing.

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool writeAll(int fd, const FixedText& text) {
    return writeAll(fd, text.data(), text.size());
}

void addClock(FixedText& text, const CivilTime& time) {
    text.decimal(static_cast<std::uint64_t>(time.hour), 2).addChar(':');
    text.decimal(static_cast<std::uint64_t>(time.minute), 2).addChar(':');
    text.decimal(static_cast<std::uint64_t>(time.second), 2).addChar('.');
    text.decimal(static_cast<std::uint64_t>(time.millisecond), 3);
}

void addDate(FixedText& text, const CivilTime& time, const char* separator) {
    text.decimal(static_cast<std::uint64_t>(time.year), 4).add(separator);
    text.decimal(static_cast<std::uint64_t>(time.month), 2).add(separator);
    text.decimal(static_cast<std::uint64_t>(time.day), 2);
}

const char* levelText(base::Log::Level level) {
    if (level == base::Log::TRACE) return "TRACE";
    if (level == base::Log::IMPOR) return "IMPOR";
    if (level == base::Log::ERROR) return "ERROR";
    return "FATAL";
}

// Appends one line in the logger's layout to the day's file of the log folder.
bool appendToDayLog(base::Log::Level level, const char* place, const FixedText& message,
                    const CivilTime& time) {
    const CrashState& state = crashState();
    if (state.logFolder[0] == '\0') return false;
    FixedText path;
    path.add(state.logFolder).addChar('/');
    addDate(path, time, "");
    path.add(".log");
    const int fd = ::open(path.data(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    FixedText line;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size == 0) {
        line.add(kByteOrderMark);
    } else if (size > 0) {
        // The writer may have left half a line in the file; the crash line starts on its own.
        char tail[3] = {};
        const off_t from = size > 3 ? size - 3 : 0;
        const ssize_t read = ::pread(fd, tail, static_cast<std::size_t>(size - from), from);
        const bool onlyByteOrderMark = size == 3 && read == 3 && std::memcmp(tail, kByteOrderMark, 3) == 0;
        if (read > 0 && tail[read - 1] != '\n' && !onlyByteOrderMark) line.add("\r\n");
    }
    addClock(line, time);
    line.addChar(' ').add(levelText(level)).addChar('\t');
    const std::size_t columnStart = line.size();
    line.addChar('[').add(place).addChar(']').pad(columnStart + kPlaceColumn);
    line.escaped(message.data(), message.size()).add("\r\n");
    const bool written = writeAll(fd, line);
    ::close(fd);
    return written;
}

// One line of the crash report, in the day's log while a logger exists, else (or when the
// file cannot be written) on the standard error stream.
void logLine(base::Log::Level level, const char* place, const FixedText& message) {
    const bool loggerExists = base::Log::instanceSlot().peek() != nullptr;
    if (loggerExists && level < base::Log::activeLevel()) return;
    const CivilTime time = crashState().clock.now();
    if (loggerExists && appendToDayLog(level, place, message, time)) return;
    FixedText line;
    addClock(line, time);
    line.addChar(' ').escaped(message.data(), message.size()).addChar('\n');
    writeAll(STDERR_FILENO, line);
}

void logLine(base::Log::Level level, const char* place, const char* message) {
    FixedText text;
    text.add(message);
    logLine(level, place, text);
}

// When one report stops waiting for the log writer, counted from its start.
using LogDeadline = std::chrono::steady_clock::time_point;

LogDeadline logDeadline() {
    return std::chrono::steady_clock::now() + kLogWriterWait;
}

// Lets the log writer write what was queued before the crash, so that it reaches the file, and
// before the report's own lines. The wait ends at the report's deadline: the crashing thread may
// hold the logger's lock, or one the writer needs.
void flushLogBefore(LogDeadline deadline) {
    base::SingletonSlot<base::Log>::Use logger(base::Log::instanceSlot());
    if (logger) logger->waitWrittenUntil(deadline);
}

// ---- Describing the fault.

struct FaultName {
    const char* name;
    bool memoryAccess;
    bool inPage;
};

std::uintptr_t programCounter(const void* context) {
    if (context == nullptr) return 0;
    const auto* user = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(user->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(user->uc_mcontext.pc);
#else
    static_cast<void>(user);
    return 0;
#endif
}

std::uintptr_t stackPointer(const void* context) {
    if (context == nullptr) return 0;
    const auto* user = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(user->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(user->uc_mcontext.sp);
#else
    static_cast<void>(user);
    return 0;
#endif
}

bool nearStackPointer(std::uintptr_t address, const void* context) {
    const std::uintptr_t stack = stackPointer(context);
    if (stack == 0) return false;
    return address + kStackOverflowReach >= stack && address <= stack + kStackOverflowReach;
}

// The names by signal and code; code 0 stands for every other code of the signal.
struct CodeName {
    int signal;
    int code;
    FaultName name;
};

constexpr CodeName kFaultNames[] = {
    {SIGSEGV, 0, {"EXCEPTION_ACCESS_VIOLATION", true, false}},
    {SIGBUS, BUS_ADRALN, {"EXCEPTION_DATATYPE_MISALIGNMENT", false, false}},
    {SIGBUS, 0, {"EXCEPTION_IN_PAGE_ERROR", true, true}},
    {SIGILL, ILL_PRVOPC, {"EXCEPTION_PRIV_INSTRUCTION", false, false}},
    {SIGILL, ILL_PRVREG, {"EXCEPTION_PRIV_INSTRUCTION", false, false}},
    {SIGILL, 0, {"EXCEPTION_ILLEGAL_INSTRUCTION", false, false}},
    {SIGFPE, FPE_INTDIV, {"EXCEPTION_INT_DIVIDE_BY_ZERO", false, false}},
    {SIGFPE, FPE_INTOVF, {"EXCEPTION_INT_OVERFLOW", false, false}},
    {SIGFPE, FPE_FLTDIV, {"EXCEPTION_FLT_DIVIDE_BY_ZERO", false, false}},
    {SIGFPE, FPE_FLTOVF, {"EXCEPTION_FLT_OVERFLOW", false, false}},
    {SIGFPE, FPE_FLTUND, {"EXCEPTION_FLT_UNDERFLOW", false, false}},
    {SIGFPE, FPE_FLTRES, {"EXCEPTION_FLT_INEXACT_RESULT", false, false}},
    {SIGFPE, FPE_FLTINV, {"EXCEPTION_FLT_INVALID_OPERATION", false, false}},
    {SIGFPE, FPE_FLTSUB, {"EXCEPTION_ARRAY_BOUNDS_EXCEEDED", false, false}},
    {SIGTRAP, TRAP_TRACE, {"EXCEPTION_SINGLE_STEP", false, false}},
    {SIGTRAP, 0, {"EXCEPTION_BREAKPOINT", false, false}},
};

constexpr FaultName kUnknownFault{"UNKNOWN EXCEPTION", false, false};

FaultName nameFault(const Fault& fault) {
    const int code = fault.info ? fault.info->si_code : 0;
    // Sent by a process (kill, raise, abort) rather than raised by the processor.
    if (code <= 0) return kUnknownFault;
    if (fault.signal == SIGSEGV &&
        nearStackPointer(reinterpret_cast<std::uintptr_t>(fault.info->si_addr), fault.context)) {
        return {"EXCEPTION_STACK_OVERFLOW", false, false};
    }
    for (const CodeName& entry : kFaultNames) {
        if (entry.signal == fault.signal && (entry.code == code || entry.code == 0)) return entry.name;
    }
    return kUnknownFault;
}

const char* accessKind(const Fault& fault) {
#if defined(__x86_64__)
    constexpr greg_t kPageFault = 14;
    constexpr greg_t kWriteAccess = 0x2;
    constexpr greg_t kInstructionFetch = 0x10;
    const auto* context = static_cast<const ucontext_t*>(fault.context);
    if (context != nullptr && context->uc_mcontext.gregs[REG_TRAPNO] == kPageFault) {
        const greg_t error = context->uc_mcontext.gregs[REG_ERR];
        if (error & kInstructionFetch) return "user-mode data execution prevention (DEP) violation";
        return (error & kWriteAccess) ? "write" : "read";
    }
#endif
    static_cast<void>(fault);
    return "unknown";
}

struct Module {
    char path[kPathRoom] = {};
    std::uintptr_t base = 0;
};

bool programPath(char* path) {
    const ssize_t length = ::readlink("/proc/self/exe", path, kPathRoom - 1);
    if (length <= 0) return false;
    path[length] = '\0';
    return true;
}

// The program's own module: the one that holds this code.
bool programModule(Module& module) {
    Dl_info own{};
    if (dladdr(reinterpret_cast<void*>(&programModule), &own) == 0) return false;
    module.base = reinterpret_cast<std::uintptr_t>(own.dli_fbase);
    return programPath(module.path);
}

bool moduleAt(std::uintptr_t address, Module& module) {
    Dl_info info{};
    if (address == 0 || dladdr(reinterpret_cast<void*>(address), &info) == 0) return false;
    Module program;
    // The loader names the program by the text it was started with; its full path is better.
    if (programModule(program) && program.base == reinterpret_cast<std::uintptr_t>(info.dli_fbase)) {
        module = program;
        return true;
    }
    if (info.dli_fname == nullptr || info.dli_fname[0] == '\0') return false;
    module.base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    const std::size_t length = std::min(std::strlen(info.dli_fname), kPathRoom - 1);
    std::memcpy(module.path, info.dli_fname, length);
    module.path[length] = '\0';
    return true;
}

// "<name> at address <pc> inside <module> loaded at base address <base>. " and, for memory
// access faults, what was done where.
void describeFault(const Fault& fault, FixedText& text) {
    const FaultName name = nameFault(fault);
    const std::uintptr_t address = programCounter(fault.context);
    Module module;
    // A jump to an address outside every module still has to leave its line in the log.
    if (!moduleAt(address, module)) std::strcpy(module.path, "an unknown module");
    text.add(name.name).add(" at address ").hex(address, 8).add(" inside ");
    text.add(module.path).add(" loaded at base address ").hex(module.base, 8).add(". ");
    if (name.memoryAccess) {
        text.add("Invalid operation: ").add(accessKind(fault)).add(" at address ");
        text.hex(reinterpret_cast<std::uintptr_t>(fault.info->si_addr), 8);
    }
    if (name.inPage) {
        // The signal's code stands in for the status code of the failed page-in.
        text.add("Underlying NTSTATUS code that resulted in the exception 0x");
        text.hex(static_cast<std::uint32_t>(fault.info->si_code), 8);
    }
}

// ---- The dump file.

const char* signalName(int signal) {
    constexpr struct {
        int signal;
        const char* name;
    } kNames[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGILL, "SIGILL"},
                  {SIGFPE, "SIGFPE"},   {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"}};
    for (const auto& entry : kNames) {
        if (entry.signal == signal) return entry.name;
    }
    return "signal";
}

void addRegisters(FixedText& text, const void* context) {
    text.add("registers:\n");
    if (context == nullptr) {
        text.add("none\n");
        return;
    }
#if defined(__x86_64__)
    static const char* const names[NGREG] = {"r8",  "r9",  "r10",    "r11", "r12",    "r13",     "r14", "r15",
                                             "rdi", "rsi", "rbp",    "rbx", "rdx",    "rax",     "rcx", "rsp",
                                             "rip", "efl", "csgsfs", "err", "trapno", "oldmask", "cr2"};
    const auto* user = static_cast<const ucontext_t*>(context);
    for (int i = 0; i < NGREG; ++i) {
        text.add(names[i]).pad(text.size() + (8 - std::strlen(names[i])));
        text.hex(static_cast<std::uint64_t>(user->uc_mcontext.gregs[i]), 16).addChar(i % 4 == 3 ? '\n' : ' ');
    }
    text.addChar('\n');
#elif defined(__aarch64__)
    const auto* user = static_cast<const ucontext_t*>(context);
    for (int i = 0; i < 31; ++i) {
        text.addChar('x').decimal(static_cast<std::uint64_t>(i), 2).addChar(' ');
        text.hex(user->uc_mcontext.regs[i], 16).addChar(i % 4 == 3 ? '\n' : ' ');
    }
    text.add("\nsp  ").hex(user->uc_mcontext.sp, 16).add(" pc  ").hex(user->uc_mcontext.pc, 16);
    text.add(" pstate ").hex(user->uc_mcontext.pstate, 16).addChar('\n');
#else
    text.add("not recorded on this processor\n");
#endif
}

bool copyFile(const char* path, int to) {
    const int from = ::open(path, O_RDONLY | O_CLOEXEC);
    if (from < 0) return false;
    char buffer[4096];
    bool copied = true;
    for (;;) {
        const ssize_t length = ::read(from, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) {
            copied = length == 0;
            break;
        }
        if (!writeAll(to, buffer, static_cast<std::size_t>(length))) {
            copied = false;
            break;
        }
    }
    ::close(from);
    return copied;
}

bool writeDump(int fd, const Fault* fault, const char* cause, const CivilTime& time) {
    FixedText head;
    head.add("Melvox crash dump\ntime: ");
    addDate(head, time, "-");
    head.addChar(' ');
    addClock(head, time);
    head.add("\nprocess: ").decimal(static_cast<std::uint64_t>(getpid()));
    head.add("\nthread: ").decimal(static_cast<std::uint64_t>(gettid()));
    head.add("\ncause: ");
    if (fault != nullptr && fault->info != nullptr) {
        describeFault(*fault, head);
    } else {
        head.add(cause ? cause : "none");
    }
    head.add("\nsignal: ");
    if (fault != nullptr && fault->info != nullptr) {
        head.decimal(static_cast<std::uint64_t>(fault->signal)).addChar(' ').add(signalName(fault->signal));
        head.add(" code ").signedDecimal(fault->info->si_code);
        head.add(" address ").hex(reinterpret_cast<std::uintptr_t>(fault->info->si_addr), 16);
    } else {
        head.add("none");
    }
    head.add("\n\n");
    addRegisters(head, fault ? fault->context : nullptr);
    head.add("\nbacktrace:\n");
    if (!writeAll(fd, head)) return false;

    void* frames[kBacktraceDepth];
    const int depth = backtrace(frames, kBacktraceDepth);
    backtrace_symbols_fd(frames, depth, fd);

    FixedText maps;
    maps.add("\nmemory map:\n");
    return writeAll(fd, maps) && copyFile("/proc/self/maps", fd);
}

// mkdir -p, as the folder may have been removed since start-up.
bool makeFolders(const char* folder) {
    char path[kPathRoom];
    const std::size_t length = std::strlen(folder);
    if (length >= sizeof path) return false;
    std::memcpy(path, folder, length + 1);
    for (std::size_t i = 1; i <= length; ++i) {
        if (path[i] != '/' && path[i] != '\0') continue;
        path[i] = '\0';
        const bool made = ::mkdir(path, 0755) == 0 || errno == EEXIST;
        path[i] = folder[i];
        if (!made) return false;
    }
    struct stat status {};
    return ::stat(folder, &status) == 0 && S_ISDIR(status.st_mode);
}

void logFault(const Fault* fault, LogDeadline deadline) {
    if (fault == nullptr || fault->info == nullptr) {
        Module program;
        if (!programModule(program)) return;
        FixedText text;
        text.add("Module loaded at base address ").hex(program.base, 8).add(" have path ").add(program.path);
        logLine(base::Log::IMPOR, "important_safe", text);
        return;
    }
    FixedText text;
    describeFault(*fault, text);
    logLine(base::Log::FATAL, "fatal_safe", text);
    flushLogBefore(deadline);
}

void reportCrash(const Fault* fault, const char* cause, LogDeadline deadline) {
    logLine(base::Log::IMPOR, "important_safe", "make memory dump");
    logFault(fault, deadline);

    const CrashState& state = crashState();
    const CivilTime time = state.clock.now();
    FixedText path;
    bool saved = false;
    if (state.logFolder[0] != '\0' && makeFolders(state.logFolder)) {
        path.add(state.logFolder).addChar('/');
        addDate(path, time, "-");
        path.addChar('_');
        path.decimal(static_cast<std::uint64_t>(time.hour), 2)
            .decimal(static_cast<std::uint64_t>(time.minute), 2);
        path.decimal(static_cast<std::uint64_t>(time.second), 2).add(".dmp");
        const int fd = ::open(path.data(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            saved = writeDump(fd, fault, cause, time);
            saved = ::close(fd) == 0 && saved;
        }
    }
    if (saved) {
        FixedText text;
        text.add("memory dump saved: '").add(path).addChar('\'');
        logLine(base::Log::IMPOR, "important_safe", text);
    } else {
        logLine(base::Log::ERROR, "error_safe", "failed to save memory dump");
    }
    flushLogBefore(deadline);
}

void endWithSignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // Blocked while its handler runs: it arrives, with its default action, once the handler
    // returns (a fault of the processor would also simply strike again).
    ::raise(signal);
}

// Runs in ordinary code, so it may allocate; a failure only shortens the text.
void describeTermination(FixedText& text) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        text.add("terminate called without an active exception");
        return;
    }
    text.add("terminate called after throwing an instance of '");
    int status = -1;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    text.add(status == 0 && readable ? readable : type->name()).addChar('\'');
    std::free(readable);
    try {
        throw;
    } catch (const std::exception& error) {
        text.add(": ");
        try {
            text.add(base::toUtf8(exception::textOf(error)).c_str());
        } catch (...) {
            text.add(error.what());
        }
    } catch (...) {
    }
}

[[noreturn]] void terminateHandler() {
    dumpOnTerminate();
    std::abort();
}

void installAlternateStack() {
    static thread_local bool installed = false;
    if (installed) return;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, kAlternateStackSize + page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
        Place("debug::installCrashHandlers").error(L"No memory for the signal stack (%1%)", errno);
        return;
    }
    // A guard page below it: an overflow of the handler faults instead of corrupting memory.
    mprotect(memory, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = kAlternateStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        Place("debug::installCrashHandlers").error(L"The signal stack is not installed (%1%)", errno);
        munmap(memory, kAlternateStackSize + page);
        return;
    }
    installed = true;
}

}  // namespace

void prepareCrashReports() {
    const Place place("debug::prepareCrashReports");
    CrashState& state = crashState();
    std::string folder;
    try {
        folder = base::toUtf8(os::getLogDirectory());
    } catch (const std::exception& error) {
        // The start tells the operator of a log folder that cannot be written, in one box.
        place.important(L"The log folder for crash dumps is not available: '%1%'", exception::textOf(error));
    }
    if (folder.size() >= kPathRoom - 32) {
        place.error(L"The log folder for crash dumps has too long a path: '%1%'", base::fromUtf8(folder));
        folder.clear();
    }
    std::memcpy(state.logFolder, folder.c_str(), folder.size() + 1);
    state.clock.prepare();
    // The first backtrace loads the unwinder library, which must not happen in a handler.
    void* frames[2];
    backtrace(frames, 2);
}

void installCrashHandlers() {
    prepareCrashReports();
    installAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = exceptionFilter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    // Another fault inside the handler then ends the process at once.
    for (int signal : kFaultSignals) sigaddset(&action.sa_mask, signal);
    for (int signal : kFaultSignals) {
        if (::sigaction(signal, &action, nullptr) != 0) {
            Place("debug::installCrashHandlers").error(L"No handler for signal %1% (%2%)", signal, errno);
        }
    }
    std::set_terminate(terminateHandler);
}

void exceptionFilter(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    if (claimReport() == Claim::mine) {
        const LogDeadline deadline = logDeadline();
        flushLogBefore(deadline);
        logLine(base::Log::TRACE, "trace_safe", "exceptionFilter");
        const Fault fault{signal, info, context};
        reportCrash(&fault, nullptr, deadline);
    }
    endWithSignal(signal);
    errno = savedErrno;
}

void dumpOnTerminate() {
    FixedText cause;
    describeTermination(cause);
    // The claim is kept: the abort that follows must not report a second time.
    if (claimReport() != Claim::mine) return;
    const LogDeadline deadline = logDeadline();
    flushLogBefore(deadline);
    logLine(base::Log::FATAL, "fatal_safe", cause);
    reportCrash(nullptr, cause.data(), deadline);
}

void makeMemoryDump(const Fault* fault) {
    if (claimReport() != Claim::mine) return;
    const LogDeadline deadline = logDeadline();
    flushLogBefore(deadline);
    reportCrash(fault, nullptr, deadline);
    releaseReport();
}

void logException(const Fault* fault) {
    logFault(fault, logDeadline());
}

void flushLog() {
    base::Log::notifyInstance();
}

}  // namespace debug
