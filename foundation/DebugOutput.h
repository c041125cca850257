#pragma once
// The debugger sink: a channel for tracing that only a developer sees. On this platform
// it writes to the standard error stream while a debugger is attached to the process;
// tests install their own sink.

#include <functional>
#include <string>

namespace debug {

// Both flags are set by the logger and read without a lock.
void setTraceFlag(bool on);
bool traceFlag();
void setConsoleFlag(bool on);
bool consoleFlag();

// Sends the time of now, a blank and the text (trailing white space removed) to the
// sink while the trace flag is set.
void outputDebugString(const std::wstring& text);
void outputLine(const std::string& narrowText);

// Sends the text to the sink whatever the flags (the sink of last resort).
void sendToDebugger(const std::wstring& text);

using DebuggerSink = std::function<void(const std::wstring&)>;
// Replaces the sink; an empty function restores the default.
void setDebuggerSink(DebuggerSink sink);

// Writes a text and a line end to the standard output or error stream, UTF-8, flushed.
void writeConsole(const std::wstring& text, bool toError);

}  // namespace debug
