#pragma once
// How a second start with --quit asks the running copy to shut down: a Unix-domain socket
// "MELVOX_STOP_APP" beside the running mark in the data folder. The running copy listens on
// it from the external-stop thread; a socket file left by a crash is replaced by the next copy
// (which holds the running mark, so no live copy owns it).

#include <functional>
#include <string>
#include <thread>

namespace app {

class StopChannel {
public:
    static constexpr const wchar_t* kFileName = L"MELVOX_STOP_APP";

    // Listens in `folder`; `onStop` runs on the external-stop thread for every stop request.
    // Failing to listen is logged; the program then only stops from its window.
    StopChannel(const std::wstring& folder, std::function<void()> onStop);
    // Wakes and joins the thread and removes the socket file.
    ~StopChannel();
    StopChannel(const StopChannel&) = delete;
    StopChannel& operator=(const StopChannel&) = delete;

    bool listening() const { return listenFd_ >= 0; }

    // Asks the copy listening in `folder` to stop; false when none took the request.
    static bool requestStop(const std::wstring& folder);

private:
    void run();

    std::function<void()> onStop_;
    std::string path_;
    int folderFd_ = -1;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;
};

}  // namespace app
