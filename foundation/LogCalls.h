#pragma once
// The hooks that tie the log to the window toolkit: translation of log texts, and
// message boxes for notices, warnings, errors and fatal errors on the GUI thread.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace debug {

// The log callback installed by dbg_init.
void guiLogCallback(const boost::posix_time::ptime& time, const std::wstring& levelName,
                    const std::wstring& message);

// What the callback took before the GUI-thread invoker existed (the start before the window) waits;
// this hands it to the invoker, once that exists, and ends holding.
void showHeldMessages();
// From now on the boxes wait, held, for showHeldMessages: the window that is about to come up shows
// them once it is on screen, above it.
void holdMessages();
// The texts held so far, as (level name, message), taken away: a start that ended before its
// window came up tells them otherwise.
std::vector<std::pair<std::wstring, std::wstring>> takeHeldMessages();

// Runs on the GUI thread: shows one message box for a NOTICE, WARN, ERROR or FATAL, through the
// presenter, and returns once the operator has closed it.
void showLogMessage(const std::wstring& levelName, const std::wstring& message);

// The translation transform: the toolkit's catalog entry for the text, or the text.
std::wstring translate(const std::wstring& text);

enum class MessageIcon { information, warning, error };
// Shows a modal box with an OK button, centred, with no parent window, and returns when the operator
// has closed it; installed by the window once it exists.
using MessagePresenter =
    std::function<void(const std::wstring& caption, const std::wstring& text, MessageIcon icon)>;
void setMessagePresenter(MessagePresenter presenter);

// Empties the list of recently shown texts and the held ones (for tests).
void resetRecentMessages();

}  // namespace debug
