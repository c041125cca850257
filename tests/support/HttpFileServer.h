#pragma once
// A small HTTP server on loopback for one test: it answers every GET with one file, or, when
// told to stay silent, takes connections and never answers.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace test {

class HttpFileServer {
public:
    // Serves the file's bytes as "audio/mpeg"; an empty path makes a server that never answers.
    explicit HttpFileServer(const std::string& filePath);
    ~HttpFileServer();
    HttpFileServer(const HttpFileServer&) = delete;
    HttpFileServer& operator=(const HttpFileServer&) = delete;

    std::string url(const std::string& name = "stream.mp3") const;

private:
    void run();

    std::string body_;
    bool silent_;
    int listener_ = -1;
    int wakeFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace test
