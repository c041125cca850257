#pragma once
// What the application does with an exception that reaches the toolkit's main loop.

#include <exception>
#include <string>

namespace exception {
class UserResponse;
}

namespace app {

enum class MainLoopOutcome { goOn, endProgram };

// Logs the exception and tells whether the loop goes on. The operator is told by one line at the
// level of a message box (NOTICE and above) in the operator's words, whose box is the only one of
// the event; what a developer needs goes to an IMPOR line beside it, which shows no box.
// exception::StopProgram writes out the log and ends the program (the caller exits with status 1).
MainLoopOutcome handleMainLoopException(std::exception_ptr error);

// The operator's words for a refusal that no window told: its description when it has one,
// otherwise the text of its code.
std::wstring refusalWords(const exception::UserResponse& refusal);

}  // namespace app
