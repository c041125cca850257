#pragma once
// A private X server (Xvfb, 24-bit colour) for the programs a test or a benchmark starts: it
// finds their windows, closes them as the close box does, clicks and types into them as the
// operator does (the server's XTest extension) and takes screenshots of them.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace test {

// On a program's own connection to its server (an Xlib Display, such as the window toolkit's):
// makes the server carry out every request sent on it so far, so that every event the server made
// for the program until then has reached the connection; the number of them not yet taken from it.
int eventsQueuedAfterSync(void* connection);

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

    // Makes the server look as if a window manager ran that is slow to tell a new window the size of
    // its frame, as a busy one is: the toolkit then shows its first main window only a second after
    // the program asked for it, while a dialog, sized to its contents, shows at once. The order in
    // which windows are mapped from then on is kept (mapOrder).
    void announceSlowWindowManager();
    // The top-level windows of the process in the order they were mapped since the announcement,
    // the last mapped last: a window manager puts the one mapped last on top.
    std::vector<unsigned long> mapOrder(pid_t pid);

    // A shown top-level window of the process; waits until there is one. 0 after the deadline.
    unsigned long waitForWindow(pid_t pid, std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // The same without waiting.
    unsigned long findWindow(pid_t pid);
    // How many shown top-level windows the process has (its main window, its dialogs).
    std::size_t windowCount(pid_t pid);
    // The window's title (its caption); empty when it has none or is gone.
    std::wstring title(unsigned long window);
    // Asks the window to close, as a click on its close box does.
    void closeWindow(unsigned long window);
    // Saves the window's picture as PNG; false when it could not be taken.
    bool screenshot(unsigned long window, const std::string& path);

    // The window's place on the screen and its size; false when it is gone.
    struct Area {
        int x = 0, y = 0, width = 0, height = 0;
    };
    bool area(unsigned long window, Area& area);
    // A click of the mouse button (1 left, 3 right) at the point of the window, which takes the
    // keyboard as a window manager gives it; false when the window is gone or the server cannot
    // fake input.
    bool click(unsigned long window, int x, int y, unsigned button = 1);
    // Types the text into whatever has the keyboard focus, any character (Cyrillic too);
    // '\n' presses Return and '\t' Tab.
    bool type(const std::wstring& text);
    // Presses and releases the key of the keysym (XK_Tab, XK_Down, ...), with Shift when asked.
    bool pressKey(unsigned long keysym, bool shift = false);

private:
    // The shown top-level windows of the process, bottom first.
    std::vector<unsigned long> windowsOf(pid_t pid);

    std::string display_;
    pid_t server_ = -1;
    void* connection_ = nullptr;  // the Display of Xlib
    std::vector<unsigned long> mapped_;
};

}  // namespace test
