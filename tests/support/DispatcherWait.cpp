#include "support/DispatcherWait.h"

#include <atomic>
#include <memory>

#include "foundation/ThreadDispatcher.h"
#include "support/FakeGuiThread.h"

namespace test {

bool waitForDispatcher() {
    auto done = std::make_shared<std::atomic<bool>>(false);
    base::ThreadDispatcher::add(L"test: wait for the dispatcher", 0, [done] { *done = true; });
    return waitFor([&] { return done->load(); });
}

}  // namespace test
