#pragma once
// A private X server (Xvfb, 24-bit colour) for the programs a test or a benchmark starts: it
// finds their windows, closes them as the close box does and takes screenshots of them.

#include <sys/types.h>

#include <chrono>
#include <string>

namespace test {

// Where a screenshot of that name goes: "<build>/screenshots/<name>.png" (the folder is made).
std::string screenshotPath(const std::string& name);

class XServer {
public:
    explicit XServer(int width = 1600, int height = 900);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // The DISPLAY value (":N"); empty when the server did not start.
    const std::string& display() const { return display_; }

    // A shown top-level window of the process; waits until there is one. 0 after the deadline.
    unsigned long waitForWindow(pid_t pid, std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // The same without waiting.
    unsigned long findWindow(pid_t pid);
    // Asks the window to close, as a click on its close box does.
    void closeWindow(unsigned long window);
    // Saves the window's picture as PNG; false when it could not be taken.
    bool screenshot(unsigned long window, const std::string& path);

private:
    std::string display_;
    pid_t server_ = -1;
    void* connection_ = nullptr;  // the Display of Xlib
};

}  // namespace test
