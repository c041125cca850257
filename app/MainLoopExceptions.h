#pragma once
// What the application does with an exception that reaches the toolkit's main loop.

#include <exception>
#include <functional>
#include <string>

namespace app {

enum class MainLoopOutcome { goOn, endProgram };

// Shows a text to the operator (a message box in the program).
using ShowMessage = std::function<void(const std::wstring& text)>;

// Logs and shows the exception and tells whether the loop goes on. exception::StopProgram
// writes out the log and ends the program (the caller exits with status 1).
MainLoopOutcome handleMainLoopException(std::exception_ptr error, const ShowMessage& show);

}  // namespace app
