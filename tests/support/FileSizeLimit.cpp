#include "support/FileSizeLimit.h"

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace test {

void limitFileSize(std::size_t bytes, OnExcess onExcess) {
    // No core file for the kill.
    const rlimit noCore{0, 0};
    const rlimit size{bytes, bytes};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_FSIZE, &size) != 0) {
        throw std::runtime_error("setrlimit failed");
    }
    std::signal(SIGXFSZ, onExcess == OnExcess::kill ? SIG_DFL : SIG_IGN);
}

}  // namespace test
