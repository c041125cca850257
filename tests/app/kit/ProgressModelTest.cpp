// The lines of the progress dialog: when the wait is over and how it ended.

#include <gtest/gtest.h>

#include "app/kit/ProgressModel.h"

namespace {

using frm::ProgressModel;

TEST(ProgressModel, EndsWhenEveryDeviceEndedAndTakesTheLastReport) {
    const int first = 0;
    const int second = 0;
    struct Report {
        const int* device;
        int value;
        bool finished;
        bool succeeded;
    };
    const struct {
        const char* name;
        bool bothAwaited;
        std::vector<Report> reports;
        std::vector<std::size_t> failed;
    } cases[] = {
        {"one device done", false, {{&first, 40, false, false}, {&first, 100, true, true}}, {}},
        {"one of two failed first", true, {{&first, -1, false, false}, {&second, 100, true, true}}, {0}},
        {"one of two failed last", true, {{&first, 100, false, false}, {&second, -1, true, false}}, {1}},
        {"an ended line keeps its end", false, {{&first, -1, true, false}, {&first, 100, true, false}}, {0}},
        {"more than done is done", false, {{&first, 250, true, true}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressModel model;
        if (c.bothAwaited) {
            model.expect(&first, L"");
            model.expect(&second, L"");
        }
        for (const Report& report : c.reports) {
            model.report(report.device, L"", report.value);
            EXPECT_EQ(model.finished(), report.finished);
            EXPECT_EQ(model.succeeded(), report.succeeded);
        }
        EXPECT_EQ(model.failed(), c.failed);
    }
}

TEST(ProgressModel, AbandoningFailsTheDevicesStillRunning) {
    const int first = 0;
    const int second = 0;
    ProgressModel model;
    model.report(&first, L"a", 100);
    model.report(&second, L"b", 50);
    EXPECT_EQ(model.lines()[1].percent, 50);
    model.abandon();
    EXPECT_TRUE(model.finished());
    EXPECT_FALSE(model.succeeded());
    EXPECT_EQ(model.failed(), std::vector<std::size_t>{1});
}

}  // namespace
