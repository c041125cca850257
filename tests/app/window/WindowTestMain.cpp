// The window tests run with the window toolkit started once for the whole test program, on an X
// server of its own, so that test programs running side by side never click into each other's
// windows. Neither is started when the tests are only listed. The program runs in a mount
// namespace of its own, where the tests mount their media.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "app/GuardedApp.h"
#include "support/HangWatch.h"
#include "support/PrivateMounts.h"
#include "tests/app/window/WindowFixture.h"

namespace {

test::XServer* screen = nullptr;

class Toolkit : public ::testing::Environment {
public:
    Toolkit(int argc, char** argv) : argc_(argc), argv_(argv) {}
    void SetUp() override {
        screen_ = std::make_unique<test::XServer>();
        screen = screen_.get();
        ASSERT_FALSE(screen_->display().empty()) << "no X server";
        setenv("DISPLAY", screen_->display().c_str(), 1);
        // The program's own handling of what an event's handler throws: the operator's box, and the
        // events go on.
        wxApp::SetInstance(new app::GuardedApp());
        ASSERT_TRUE(wxEntryStart(argc_, argv_)) << "the window toolkit did not start";
        stopAnimations();
    }
    void TearDown() override {
        wxEntryCleanup();
        screen = nullptr;
        screen_.reset();
    }

private:
    // The toolkit changes a control's look over a fifth of a second; without that a screenshot
    // shows the state the test saw, not a step on the way to it.
    static void stopAnimations() {
        using Settings = void* (*)();
        using Set = void (*)(void* object, const char* first, ...);
        const auto settings = reinterpret_cast<Settings>(::dlsym(RTLD_DEFAULT, "gtk_settings_get_default"));
        const auto set = reinterpret_cast<Set>(::dlsym(RTLD_DEFAULT, "g_object_set"));
        ASSERT_TRUE(settings != nullptr && set != nullptr) << "the toolkit's settings are not at hand";
        set(settings(), "gtk-enable-animations", 0, nullptr);
    }

    std::unique_ptr<test::XServer> screen_;
    int argc_;
    char** argv_;
};

}  // namespace

test::XServer& test::toolkitScreen() {
    return *screen;
}

int main(int argc, char** argv) {
    test::enterPrivateMountNamespace();
    ::testing::InitGoogleTest(&argc, argv);
    // Below the runner's five minutes, so that a hung test leaves its stacks in the log.
    test::watchForHangs(std::chrono::seconds(240));
    ::testing::AddGlobalTestEnvironment(new Toolkit(argc, argv));
    return RUN_ALL_TESTS();
}
