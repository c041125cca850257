#pragma once
// The signals that ask the program to stop as the operator's close does: SIGTERM (a service
// manager, the end of a desktop session), SIGINT (Ctrl-C in a terminal) and SIGHUP (the terminal
// went away). The handler only writes the signal's number into a pipe; the external-stop thread
// watches the pipe's read end and starts the orderly shutdown from there. A signal that comes
// while the shutdown runs is taken the same way and changes nothing, so the state files are
// always written.

namespace app {

class StopSignals {
public:
    // Installs the handlers for the life of the process; later calls change nothing. False when
    // the pipe or a handler could not be set up (the signals then keep their default action).
    // The program installs them first thing, so that a signal at any moment of its start is taken.
    static bool install();
    // Gives the signals their default action again, for a copy that ends without the stop thread
    // (a second copy refused); a signal that came meanwhile is raised again and ends it so.
    static void restoreDefaults();
    // The descriptor that becomes readable once a signal came; -1 before install.
    static int fd();
    // Reads what the handler wrote: the number of the last signal, 0 when none came.
    static int take();
    // "SIGTERM", "SIGINT", "SIGHUP", or "signal" for another number.
    static const char* name(int signal);
};

}  // namespace app
