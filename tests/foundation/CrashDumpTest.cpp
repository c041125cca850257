#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "foundation/CrashDump.h"
#include "foundation/DataFolders.h"
#include "foundation/DebugOutput.h"
#include "foundation/Log.h"
#include "foundation/TextConversion.h"
#include "support/DataRoot.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::regex kDumpName(R"(\d{4}-\d{2}-\d{2}_\d{6}\.dmp)");

std::string programPath() {
    return fs::read_symlink("/proc/self/exe").string();
}

std::vector<std::string> dumpsIn(const std::string& folder) {
    std::vector<std::string> names;
    if (!fs::is_directory(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".dmp") names.push_back(entry.path().filename().string());
    }
    return names;
}

// Every line of the day's log files of the folder, checked for the logger's layout.
std::vector<test::LogLine> logLinesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".log") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<test::LogLine> lines;
    for (const std::string& file : files) {
        std::string bytes = test::readWholeFile(file);
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << file;
        bytes.erase(0, 3);
        EXPECT_EQ(bytes.find("\xEF\xBB\xBF"), std::string::npos) << "a second byte-order mark in " << file;
        for (std::size_t begin = 0, end; begin < bytes.size(); begin = end + 2) {
            end = bytes.find("\r\n", begin);
            EXPECT_NE(end, std::string::npos) << "unfinished last line in " << file;
            if (end == std::string::npos) end = bytes.size();
            const std::string raw = bytes.substr(begin, end - begin);
            EXPECT_EQ(raw.find('\n'), std::string::npos) << "a bare line feed in '" << raw << "'";
            lines.push_back(test::parseLogLine(base::fromUtf8(raw)));
            EXPECT_FALSE(lines.back().level.empty()) << "not a log line: '" << raw << "'";
        }
    }
    return lines;
}

std::vector<test::LogLine> withMessage(const std::vector<test::LogLine>& lines, const std::wstring& start) {
    std::vector<test::LogLine> found;
    for (const test::LogLine& line : lines) {
        if (line.message.rfind(start, 0) == 0) found.push_back(line);
    }
    return found;
}

bool endsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The text between the dump's backtrace and its memory map.
std::string backtraceOf(const std::string& dump) {
    const std::size_t backtrace = dump.find("\nbacktrace:\n");
    const std::size_t maps = dump.find("\nmemory map:\n");
    EXPECT_NE(backtrace, std::string::npos);
    EXPECT_NE(maps, std::string::npos);
    EXPECT_NE(dump.find("[stack]", maps), std::string::npos);
    if (backtrace == std::string::npos || maps == std::string::npos) return "";
    return dump.substr(backtrace, maps - backtrace);
}

// ---- The safe log calls.

struct SafeCall {
    std::function<void()> call;
    std::wstring level;
    std::wstring place;
};

std::vector<SafeCall> safeCalls() {
    return {
        {[] { debug::trace_safe(L"value %1% of %2%", 7, L"seven"); }, L"TRACE", L"trace_safe"},
        {[] { debug::debug_safe(L"value %1% of %2%", 7, L"seven"); }, L"DEBUG", L"debug_safe"},
        {[] { debug::important_safe(L"value %1% of %2%", 7, L"seven"); }, L"IMPOR", L"important_safe"},
        {[] { debug::error_safe(L"value %1% of %2%", 7, L"seven"); }, L"ERROR", L"error_safe"},
        {[] { debug::fatal_safe(L"value %1% of %2%", 7, L"seven"); }, L"FATAL", L"fatal_safe"},
    };
}

TEST(SafeLogCalls, LogTheFilledTextAtTheirLevelUnderTheirOwnNames) {
    test::LogCapture capture;
    for (const SafeCall& safe : safeCalls()) {
        SCOPED_TRACE(base::toUtf8(safe.place));
        safe.call();
        const std::vector<test::LogLine> found = capture.find(L"value 7 of seven", safe.level);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].place, safe.place);
    }
}

TEST(SafeLogCalls, WithoutLoggerPassTheUnfilledTextToTheDebugger) {
    dbg_free();
    std::vector<std::wstring> received;
    debug::setDebuggerSink([&received](const std::wstring& text) { received.push_back(text); });
    const bool oldTrace = debug::traceFlag();
    debug::setTraceFlag(true);
    for (const SafeCall& safe : safeCalls()) safe.call();
    debug::flushLog();
    debug::setTraceFlag(oldTrace);
    debug::setDebuggerSink(nullptr);

    ASSERT_EQ(received.size(), safeCalls().size());
    for (const std::wstring& text : received) EXPECT_TRUE(endsWith(text, L" value %1% of %2%")) << text;
}

// ---- Reports made in the test program itself.

class CrashReport : public ::testing::Test {
protected:
    void SetUp() override {
        dbg_free();
        dbg_init(false, base::Log::TRACE3, os::getLogDirectory());
        debug::prepareCrashReports();
    }
    void TearDown() override { dbg_free(); }

    std::vector<test::LogLine> lines() {
        test::waitLogWritten();
        return logLinesIn(root_.logFolder());
    }

    // The FATAL line that logException writes for the fault.
    std::wstring faultLine(int signal, int code, std::uintptr_t address, const void* context = nullptr) {
        siginfo_t info{};
        info.si_signo = signal;
        info.si_code = code;
        info.si_addr = reinterpret_cast<void*>(address);
        const debug::Fault fault{signal, &info, context};
        const std::size_t before = lines().size();
        debug::logException(&fault);
        const std::vector<test::LogLine> after = lines();
        EXPECT_EQ(after.size(), before + 1);
        if (after.empty()) return std::wstring();
        EXPECT_EQ(after.back().level, L"FATAL");
        EXPECT_EQ(after.back().place, L"fatal_safe");
        return after.back().message;
    }

    test::DataRoot root_;
};

TEST_F(CrashReport, FaultsAreNamedByTheirSignalAndCode) {
    const std::wstring access = L"Invalid operation: unknown at address 0000BEEF";
    const std::wstring inPage =
        access + L"Underlying NTSTATUS code that resulted in the exception 0x00000002";
    const struct {
        int signal;
        int code;
        std::wstring name;
        std::wstring tail;  // what follows the module part
    } faults[] = {
        {SIGSEGV, SEGV_MAPERR, L"EXCEPTION_ACCESS_VIOLATION", access},
        {SIGBUS, BUS_ADRALN, L"EXCEPTION_DATATYPE_MISALIGNMENT", L""},
        {SIGBUS, BUS_ADRERR, L"EXCEPTION_IN_PAGE_ERROR", inPage},
        {SIGILL, ILL_ILLOPC, L"EXCEPTION_ILLEGAL_INSTRUCTION", L""},
        {SIGILL, ILL_PRVOPC, L"EXCEPTION_PRIV_INSTRUCTION", L""},
        {SIGFPE, FPE_INTDIV, L"EXCEPTION_INT_DIVIDE_BY_ZERO", L""},
        {SIGFPE, FPE_FLTSUB, L"EXCEPTION_ARRAY_BOUNDS_EXCEEDED", L""},
        {SIGTRAP, TRAP_BRKPT, L"EXCEPTION_BREAKPOINT", L""},
        // Sent, not raised by a fault.
        {SIGABRT, SI_TKILL, L"UNKNOWN EXCEPTION", L""},
        {SIGSEGV, SI_USER, L"UNKNOWN EXCEPTION", L""},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(base::toUtf8(fault.name) + " code " + std::to_string(fault.code));
        // Without the interrupted context neither the address nor the module is known.
        EXPECT_EQ(faultLine(fault.signal, fault.code, 0xBEEF),
                  fault.name +
                      L" at address 00000000 inside an unknown module loaded at base address 00000000. " +
                      fault.tail);
    }
}

#if defined(__x86_64__)
// Reads and writes of address 0 are crashed for real below.
TEST_F(CrashReport, TheInterruptedContextGivesModuleAccessKindAndStackOverflow) {
    const struct {
        long trapNumber;
        long errorCode;
        long faultBelowStack;  // the fault address relative to the stack pointer; 0: address 0
        const wchar_t* name;
        const wchar_t* tail;
    } faults[] = {
        {14, 0x15, 0, L"EXCEPTION_ACCESS_VIOLATION",
         L"Invalid operation: user-mode data execution prevention (DEP) violation at address 00000000"},
        {13, 0x0, 0, L"EXCEPTION_ACCESS_VIOLATION", L"Invalid operation: unknown at address 00000000"},
        {14, 0x6, 8, L"EXCEPTION_STACK_OVERFLOW", L""},
    };
    const auto code = reinterpret_cast<std::uintptr_t>(&programPath);
    const std::uintptr_t stack = 0x7ffd00010000;
    const std::wregex layout(
        L"(.*) at address ([0-9A-F]{8,}) inside (.*) loaded at base address ([0-9A-F]{8,}). (.*)");
    for (const auto& fault : faults) {
        SCOPED_TRACE(base::toUtf8(fault.tail));
        ucontext_t context{};
        context.uc_mcontext.gregs[REG_RIP] = static_cast<greg_t>(code);
        context.uc_mcontext.gregs[REG_RSP] = static_cast<greg_t>(stack);
        context.uc_mcontext.gregs[REG_TRAPNO] = fault.trapNumber;
        context.uc_mcontext.gregs[REG_ERR] = fault.errorCode;
        const std::uintptr_t address = fault.faultBelowStack ? stack - fault.faultBelowStack : 0;
        const std::wstring line = faultLine(SIGSEGV, SEGV_MAPERR, address, &context);

        std::wsmatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, layout)) << base::toUtf8(line);
        EXPECT_EQ(parts[1].str(), fault.name);
        EXPECT_EQ(std::stoull(parts[2].str(), nullptr, 16), code);
        EXPECT_EQ(parts[3].str(), base::fromUtf8(programPath()));
        EXPECT_LE(std::stoull(parts[4].str(), nullptr, 16), code);
        EXPECT_EQ(parts[5].str(), fault.tail);
    }
}
#endif

TEST_F(CrashReport, LogFolderThatCannotBeMadeLeavesTheFailureOnTheErrorStream) {
    // A file where the log folder should be: neither the dump nor the day's log can be written.
    fs::remove_all(root_.logFolder());
    std::ofstream(root_.logFolder()) << "in the way";

    testing::internal::CaptureStderr();
    debug::makeMemoryDump();
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(fs::is_regular_file(root_.logFolder()));
    EXPECT_NE(errors.find(" make memory dump\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find(" failed to save memory dump\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("memory dump saved"), std::string::npos) << errors;
}

// ---- Real crashes, in a child process.

struct ChildEnd {
    bool ended = false;
    int status = 0;
    std::string output;
};

// Runs the crash helper with the data folder of `root` (set in this process's environment).
ChildEnd runCrashHelper(const std::string& how, const test::DataRoot& root) {
    // The sanitizers' own handlers stand aside, as in the shipped program.
    std::string sanitizer =
        "ASAN_OPTIONS=handle_segv=0:handle_abort=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old) sanitizer += std::string(":") + old;
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0) envp.push_back(*entry);
    }
    envp.push_back(sanitizer.data());
    envp.push_back(nullptr);
    std::string program = MELVOX_CRASH_HELPER;
    std::string argument = how;
    char* argv[] = {program.data(), argument.data(), nullptr};

    const std::string outputFile = root.path() + "/output.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = -1;
    const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ChildEnd end;
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(error);
        return end;
    }
    // A generous deadline: a crash path that blocks would otherwise hang the test.
    for (int round = 0; round < 6000 && !end.ended; ++round) {
        end.ended = waitpid(child, &end.status, WNOHANG) == child;
        if (!end.ended) usleep(10000);
    }
    if (!end.ended) {
        kill(child, SIGKILL);
        waitpid(child, &end.status, 0);
    }
    end.output = test::readWholeFile(outputFile);
    return end;
}

struct Crash {
    const char* how;
    int signal;
    const wchar_t* fatalStart;  // the start of the FATAL line
    const wchar_t* fatalEnd;    // its end
    const char* crashingFunction;
};

void expectCrashLeftItsTraces(const Crash& crash) {
    // The uncaught exception ends through the terminate handler, not a signal handler.
    const bool signalled = std::string(crash.how) != "uncaught-exception";
    const std::wstring helper = base::fromUtf8(MELVOX_CRASH_HELPER);
    test::DataRoot root;
    const ChildEnd end = runCrashHelper(crash.how, root);
    ASSERT_TRUE(end.ended) << "the crashed program did not end";
    ASSERT_TRUE(WIFSIGNALED(end.status)) << "status " << end.status << ", output:\n" << end.output;
    EXPECT_EQ(WTERMSIG(end.status), crash.signal) << end.output;

    const std::vector<std::string> dumps = dumpsIn(root.logFolder());
    ASSERT_EQ(dumps.size(), 1u) << end.output;
    EXPECT_TRUE(std::regex_match(dumps[0], kDumpName)) << dumps[0];

    const std::vector<test::LogLine> lines = logLinesIn(root.logFolder());
    const std::vector<test::LogLine> fatal = withMessage(lines, crash.fatalStart);
    ASSERT_EQ(fatal.size(), 1u) << end.output;
    EXPECT_EQ(fatal[0].level, L"FATAL");
    EXPECT_EQ(fatal[0].place, L"fatal_safe");
    EXPECT_TRUE(endsWith(fatal[0].message, crash.fatalEnd)) << base::toUtf8(fatal[0].message);
    if (signalled && crash.signal != SIGABRT) {
        EXPECT_NE(fatal[0].message.find(L" inside " + helper + L" loaded at base address "),
                  std::wstring::npos)
            << base::toUtf8(fatal[0].message);
    }
    EXPECT_EQ(withMessage(lines, L"exceptionFilter").size(), signalled ? 1u : 0u);
    if (!signalled) {
        // Without a fault the report names the program's own module.
        const std::vector<test::LogLine> module = withMessage(lines, L"Module loaded at base address ");
        ASSERT_EQ(module.size(), 1u);
        EXPECT_EQ(module[0].level, L"IMPOR");
        EXPECT_EQ(module[0].place, L"important_safe");
        EXPECT_TRUE(endsWith(module[0].message, L" have path " + helper));
    }
    // What was logged before the crash stays before it.
    const auto ready = std::find_if(lines.begin(), lines.end(), [](const test::LogLine& line) {
        return line.message.rfind(L"crash helper ready to", 0) == 0;
    });
    const auto firstFatal = std::find_if(lines.begin(), lines.end(),
                                         [](const test::LogLine& line) { return line.level == L"FATAL"; });
    EXPECT_LT(ready, firstFatal);
    EXPECT_EQ(withMessage(lines, L"make memory dump").size(), 1u);
    const std::vector<test::LogLine> saved = withMessage(lines, L"memory dump saved: ");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].level, L"IMPOR");
    EXPECT_EQ(saved[0].place, L"important_safe");
    EXPECT_EQ(saved[0].message,
              L"memory dump saved: '" + base::fromUtf8(root.logFolder() + "/" + dumps[0]) + L"'");

    const std::string dump = test::readWholeFile(root.logFolder() + "/" + dumps[0]);
    EXPECT_NE(backtraceOf(dump).find(std::string("(") + crash.crashingFunction + "+"), std::string::npos)
        << backtraceOf(dump);
    EXPECT_NE(dump.find(" r-xp ", dump.find("\nmemory map:\n")), std::string::npos);
    const std::string signal = signalled ? std::to_string(crash.signal) + " " : "none\n";
    EXPECT_NE(dump.find("\nsignal: " + signal), std::string::npos) << dump;
    EXPECT_EQ(dump.find("\nregisters:\nnone\n") == std::string::npos, signalled) << dump;
#if defined(__x86_64__)
    if (signalled) {
        EXPECT_NE(dump.find("\nrip     "), std::string::npos) << dump;
    }
#endif
}

TEST(RealCrash, EveryCrashLeavesTheFaultLineAndADump) {
    const Crash crashes[] = {
        {"read-null", SIGSEGV, L"EXCEPTION_ACCESS_VIOLATION at address ",
         L"Invalid operation: read at address 00000000", "readNullPointer"},
        {"write-null", SIGSEGV, L"EXCEPTION_ACCESS_VIOLATION at address ",
         L"Invalid operation: write at address 00000000", "writeNullPointer"},
        {"stack-overflow", SIGSEGV, L"EXCEPTION_STACK_OVERFLOW at address ", L". ", "recurseForever"},
        {"bus-error", SIGBUS, L"EXCEPTION_IN_PAGE_ERROR at address ",
         L"Underlying NTSTATUS code that resulted in the exception 0x00000002", "readBeyondFile"},
#if defined(__x86_64__) || defined(__i386__)
        {"divide-by-zero", SIGFPE, L"EXCEPTION_INT_DIVIDE_BY_ZERO at address ", L". ", "divideByZero"},
#endif
        {"abort", SIGABRT, L"UNKNOWN EXCEPTION at address ", L". ", "main"},
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // The allocator aborts while it holds its lock. The address sanitizer reports a double free
        // itself; the thread sanitizer's allocator lets it pass.
        {"double-free", SIGABRT, L"UNKNOWN EXCEPTION at address ", L". ", "freeTwice"},
#endif
        {"uncaught-exception", SIGABRT,
         L"terminate called after throwing an instance of 'std::runtime_error'", L": kaboom", "main"},
    };
    for (const Crash& crash : crashes) {
        SCOPED_TRACE(crash.how);
        expectCrashLeftItsTraces(crash);
    }
}

TEST(RealCrash, WithoutLoggerTheLinesGoToTheErrorStream) {
    test::DataRoot root;
    const ChildEnd end = runCrashHelper("no-logger", root);
    ASSERT_TRUE(end.ended);
    ASSERT_TRUE(WIFSIGNALED(end.status)) << end.output;
    EXPECT_EQ(WTERMSIG(end.status), SIGSEGV);
    const std::vector<std::string> dumps = dumpsIn(root.logFolder());
    ASSERT_EQ(dumps.size(), 1u);
    for (const auto& entry : fs::directory_iterator(root.logFolder())) {
        EXPECT_NE(entry.path().extension(), ".log") << entry.path();
    }
    EXPECT_NE(end.output.find(" EXCEPTION_ACCESS_VIOLATION at address "), std::string::npos) << end.output;
    EXPECT_NE(end.output.find(" memory dump saved: '" + root.logFolder() + "/" + dumps[0] + "'\n"),
              std::string::npos)
        << end.output;
}

}  // namespace
