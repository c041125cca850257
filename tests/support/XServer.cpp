#include "support/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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

}  // namespace

std::string screenshotPath(const std::string& name) {
    const std::string folder = std::string(MELVOX_BUILD_DIR) + "/screenshots";
    std::filesystem::create_directories(folder);
    return folder + "/" + name + ".png";
}

XServer::XServer(int width, int height) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
    server_ = ::fork();
    if (server_ == 0) {
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
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
    }
}

unsigned long XServer::findWindow(pid_t pid) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr) return 0;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count) != 0) {
        // Topmost last: the newest window (a dialog above its frame) wins.
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(connection, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable && belongsTo(connection, children[i], pid)) {
                found = children[i];
            }
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

unsigned long XServer::waitForWindow(pid_t pid, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (const unsigned long window = findWindow(pid)) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void XServer::closeWindow(unsigned long window) {
    Display* connection = connectionOf(connection_);
    if (connection == nullptr || window == 0) return;
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

}  // namespace test
