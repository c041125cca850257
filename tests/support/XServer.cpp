#include "support/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/TextConversion.h"

namespace test {
namespace {

Display* connectionOf(void* connection) {
    return static_cast<Display*>(connection);
}

// The number Xvfb writes to the descriptor once it accepts clients.
std::string readDisplayNumber(int fd) {
    std::string number;
    char c = 0;
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') number += c;
    return number;
}

bool belongsTo(Display* connection, Window window, pid_t pid) {
    const Atom pidAtom = XInternAtom(connection, "_NET_WM_PID", True);
    if (pidAtom == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool matches = false;
    if (XGetWindowProperty(connection, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && count == 1 && format == 32) {
        matches = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    }
    if (data != nullptr) XFree(data);
    return matches;
}

// Windows of the programs come and go while they are looked at: an error about one that is gone
// makes the call fail instead of ending the test (the default handler exits).
class GoneWindowsAllowed {
public:
    explicit GoneWindowsAllowed(Display* connection)
        : connection_(connection), previous_(XSetErrorHandler([](Display*, XErrorEvent*) { return 0; })) {}
    ~GoneWindowsAllowed() {
        XSync(connection_, False);
        XSetErrorHandler(previous_);
    }
    GoneWindowsAllowed(const GoneWindowsAllowed&) = delete;
    GoneWindowsAllowed& operator=(const GoneWindowsAllowed&) = delete;

private:
    Display* const connection_;
    const XErrorHandler previous_;
};

// The XTest extension's calls, taken from the library the window toolkit loads anyway, so that
// the tests need no development files of their own for it.
struct FakeInput {
    int (*motion)(Display*, int screen, int x, int y, unsigned long delay) = nullptr;
    int (*button)(Display*, unsigned int button, int press, unsigned long delay) = nullptr;
    int (*key)(Display*, unsigned int keycode, int press, unsigned long delay) = nullptr;
};

const FakeInput& fakeInput() {
    static const FakeInput input = [] {
        FakeInput loaded;
        void* library = ::dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return loaded;
        loaded.motion = reinterpret_cast<decltype(loaded.motion)>(::dlsym(library, "XTestFakeMotionEvent"));
        loaded.button = reinterpret_cast<decltype(loaded.button)>(::dlsym(library, "XTestFakeButtonEvent"));
        loaded.key = reinterpret_cast<decltype(loaded.key)>(::dlsym(library, "XTestFakeKeyEvent"));
        return loaded;
    }();
    return input;
}

bool canFakeInput() {
    const FakeInput& input = fakeInput();
    return input.motion != nullptr && input.button != nullptr && input.key != nullptr;
}

// A keycode without keysyms, which takes the keysym of each character typed.
KeyCode spareKeycode(Display* connection) {
    int lowest = 0, highest = 0;
    XDisplayKeycodes(connection, &lowest, &highest);
    int perCode = 0;
    KeySym* map =
        XGetKeyboardMapping(connection, static_cast<KeyCode>(lowest), highest - lowest + 1, &perCode);
    KeyCode spare = 0;
    for (int code = highest; code >= lowest && spare == 0 && map != nullptr; --code) {
        bool empty = true;
        for (int column = 0; column < perCode; ++column)
            empty = empty && map[(code - lowest) * perCode + column] == NoSymbol;
        if (empty) spare = static_cast<KeyCode>(code);
    }
    if (map != nullptr) XFree(map);
    return spare;
}

// Lets the program see the input before the next step, as an operator's pace does.
void settle(Display* connection) {
    XSync(connection, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
}

}  // namespace

int eventsQueuedAfterSync(void* connection) {
    XSync(connectionOf(connection), False);
    return XPending(connectionOf(connection));
}

std::string screenshotPath(const std::string& name) {
    const std::string folder = std::string(MELVOX_BUILD_DIR) + "/screenshots";
    std::filesystem::create_directories(folder);
    return folder + "/" + name + ".png";
}

XServer::XServer(int width, int height) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
    const pid_t parent = ::getpid();
    server_ = ::fork();
    if (server_ == 0) {
        // The server ends with the test program: one left behind by a program that crashed would
        // hold the program's output open, and the test runner would wait for it until its timeout.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) std::_Exit(127);
        ::dup2(pipeFds[1], 3);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(pipeFds[1]);
    const std::string number = server_ > 0 ? readDisplayNumber(pipeFds[0]) : std::string();
    ::close(pipeFds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    connection_ = XOpenDisplay(display_.c_str());
}

XServer::~XServer() {
    if (connection_ != nullptr) XCloseDisplay(connectionOf(connection_));
    if (server_ > 0) {
        // A server that does not end at the request is killed: the program's end waits for it.
        ::kill(server_, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(server_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(server_, SIGKILL);
                ::waitpid(server_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

std::vector<unsigned long> XServer::windowsOf(pid_t pid) {
    std::vector<unsigned long> windows;
    Display* connection = connectionOf(connection_);
    if (connection == nullptr) return windows;
    const GoneWindowsAllowed allowed(connection);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(connection, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable && belongsTo(connection, children[i], pid)) {
                windows.push_back(children[i]);
            }
        }
    }
    if (children != nullptr) XFree(children);
    return windows;
}

void XServer::announceSlowWindowManager() {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr) return;
    const Window root = DefaultRootWindow(connection);
    // The window by which a window manager shows that it runs, as the desktop specification has
    // it; the request for the frame size is then left unanswered, and the toolkit waits for it.
    const Window check = XCreateSimpleWindow(connection, root, -1, -1, 1, 1, 0, 0, 0);
    const Atom checkAtom = XInternAtom(connection, "_NET_SUPPORTING_WM_CHECK", False);
    for (const Window window : {root, check})
        XChangeProperty(connection, window, checkAtom, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&check), 1);
    const Atom supported[] = {checkAtom, XInternAtom(connection, "_NET_REQUEST_FRAME_EXTENTS", False)};
    XChangeProperty(connection, root, XInternAtom(connection, "_NET_SUPPORTED", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(supported), 2);
    XSelectInput(connection, root, SubstructureNotifyMask);
    XSync(connection, False);
}

std::vector<unsigned long> XServer::mapOrder(pid_t pid) {
    Display* connection = connectionOf(connection_);
    std::vector<unsigned long> windows;
    if (connection == nullptr) return windows;
    XSync(connection, False);
    while (XPending(connection) > 0) {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == MapNotify) mapped_.push_back(event.xmap.window);
    }
    const GoneWindowsAllowed allowed(connection);
    for (const unsigned long window : mapped_) {
        if (belongsTo(connection, window, pid)) windows.push_back(window);
    }
    return windows;
}

unsigned long XServer::findWindow(pid_t pid) {
    // Topmost last: the newest window (a dialog above its frame) wins.
    const std::vector<unsigned long> windows = windowsOf(pid);
    return windows.empty() ? 0 : windows.back();
}

std::size_t XServer::windowCount(pid_t pid) {
    return windowsOf(pid).size();
}

unsigned long XServer::waitForWindow(pid_t pid, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (const unsigned long window = findWindow(pid)) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

std::wstring XServer::title(unsigned long window) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || window == 0) return std::wstring();
    const GoneWindowsAllowed allowed(connection);
    // The toolkit names its windows in UTF-8.
    const Atom name = XInternAtom(connection, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(connection, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(connection, window, name, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 8) {
        text.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return base::fromUtf8(text);
}

void XServer::closeWindow(unsigned long window) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || window == 0) return;
    const GoneWindowsAllowed allowed(connection);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection, window, False, NoEventMask, &event);
    XFlush(connection);
}

bool XServer::screenshot(unsigned long window, const std::string& path) {
    if (display_.empty() || window == 0) return false;
    const std::string command =
        "DISPLAY=" + display_ + " import -window " + std::to_string(window) + " '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

bool XServer::area(unsigned long window, Area& area) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || window == 0) return false;
    const GoneWindowsAllowed allowed(connection);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(connection, window, &attributes) == 0) return false;
    Window child = 0;
    if (!XTranslateCoordinates(connection, window, DefaultRootWindow(connection), 0, 0, &area.x, &area.y,
                               &child))
        return false;
    area.width = attributes.width;
    area.height = attributes.height;
    return true;
}

bool XServer::click(unsigned long window, int x, int y, unsigned button) {
    Display* connection = connectionOf(connection_);
    Area place;
    if (!canFakeInput() || !area(window, place)) return false;
    const FakeInput& input = fakeInput();
    {
        // The keyboard goes to the clicked window, as a window manager gives it there.
        const GoneWindowsAllowed allowed(connection);
        XSetInputFocus(connection, window, RevertToPointerRoot, CurrentTime);
    }
    input.motion(connection, DefaultScreen(connection), place.x + x, place.y + y, CurrentTime);
    settle(connection);
    input.button(connection, button, True, CurrentTime);
    input.button(connection, button, False, CurrentTime);
    settle(connection);
    return true;
}

bool XServer::pressKey(unsigned long keysym, bool shift) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || !canFakeInput()) return false;
    const KeyCode code = XKeysymToKeycode(connection, keysym);
    const KeyCode shiftCode = XKeysymToKeycode(connection, XK_Shift_L);
    if (code == 0 || (shift && shiftCode == 0)) return false;
    const FakeInput& input = fakeInput();
    if (shift) input.key(connection, shiftCode, True, CurrentTime);
    input.key(connection, code, True, CurrentTime);
    input.key(connection, code, False, CurrentTime);
    if (shift) input.key(connection, shiftCode, False, CurrentTime);
    settle(connection);
    return true;
}

bool XServer::type(const std::wstring& text) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || !canFakeInput()) return false;
    const KeyCode spare = spareKeycode(connection);
    if (spare == 0) return false;
    const FakeInput& input = fakeInput();
    for (const wchar_t character : text) {
        if (character == L'\n' || character == L'\t') {
            if (!pressKey(character == L'\n' ? XK_Return : XK_Tab)) return false;
            continue;
        }
        // Every character is typed on the spare key mapped to it alone: no modifier is needed.
        KeySym symbol = character < 0x100
                            ? static_cast<KeySym>(character)
                            : static_cast<KeySym>(0x01000000 | static_cast<unsigned>(character));
        XChangeKeyboardMapping(connection, spare, 1, &symbol, 1);
        settle(connection);
        input.key(connection, spare, True, CurrentTime);
        input.key(connection, spare, False, CurrentTime);
        settle(connection);
    }
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(connection, spare, 1, &none, 1);
    XSync(connection, False);
    return true;
}

}  // namespace test
