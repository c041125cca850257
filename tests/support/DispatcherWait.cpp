#include "support/DispatcherWait.h"

#include "foundation/ThreadDispatcher.h"
#include "support/FakeGuiThread.h"

namespace test {

DispatcherMark::DispatcherMark(std::chrono::milliseconds delay) {
    base::ThreadDispatcher::add(L"test: the dispatcher's mark", static_cast<std::uint32_t>(delay.count()),
                                [passed = passed_] {
                                    base::ThreadDispatcher::add(L"test: the dispatcher's mark passed", 0,
                                                                [passed] { *passed = true; });
                                });
}

bool DispatcherMark::wait() const {
    return waitFor([this] { return passed(); });
}

bool waitForDispatcher() {
    return DispatcherMark().wait();
}

}  // namespace test
