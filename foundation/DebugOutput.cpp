#include "foundation/DebugOutput.h"

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <memory>
#include <mutex>

#include "foundation/Clock.h"
#include "foundation/Log.h"
#include "foundation/TextConversion.h"

namespace debug {
namespace {

std::atomic<bool> g_trace{false};
std::atomic<bool> g_console{false};

bool debuggerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
    }
    return false;
}

std::mutex g_sinkLock;
std::shared_ptr<const DebuggerSink> g_sink;

}  // namespace

void setTraceFlag(bool on) { g_trace = on; }
bool traceFlag() { return g_trace; }
void setConsoleFlag(bool on) { g_console = on; }
bool consoleFlag() { return g_console; }

void setDebuggerSink(DebuggerSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = sink ? std::make_shared<const DebuggerSink>(std::move(sink)) : nullptr;
}

void sendToDebugger(const std::wstring& text) {
    std::shared_ptr<const DebuggerSink> sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkLock);
        sink = g_sink;
    }
    if (sink) {
        (*sink)(text);
        return;
    }
    static const bool attached = debuggerAttached();
    if (attached) writeConsole(text, true);
}

void outputDebugString(const std::wstring& text) {
    if (!traceFlag()) return;
    std::wstring line = base::Log::timeText(base::clock::localNow()) + L" " + text;
    while (!line.empty() && iswspace(line.back())) line.pop_back();
    sendToDebugger(line);
}

void outputLine(const std::string& narrowText) {
    if (!traceFlag()) return;
    outputDebugString(base::widen(narrowText));
}

void writeConsole(const std::wstring& text, bool toError) {
    const std::string bytes = base::toUtf8(text) + "\n";
    std::FILE* stream = toError ? stderr : stdout;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace debug
