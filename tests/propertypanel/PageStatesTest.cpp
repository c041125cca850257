// When a page of the property panel acts on the operator's controls and what its bar offers: only
// while it shows what it read, with the edits kept while it reads again.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "propertypanel/PageStates.h"

namespace {

using frm::PageStates;

constexpr int kPage = 1031;
constexpr int kOther = 1032;

enum class Step {
    reading,
    shown,
    readFailed,
    writing,
    written,
    leave,
    reset,
    editApply,
    editNone,
    editCancel,
    otherReading,
    otherWriting
};

void take(PageStates& states, Step step) {
    switch (step) {
        case Step::reading:
            return states.reading(kPage);
        case Step::shown:
            return states.shown(kPage);
        case Step::readFailed:
            return states.readFailed(kPage);
        case Step::writing:
            return states.writing(kPage);
        case Step::written:
            return states.written(kPage);
        case Step::leave:
            return states.leave(kPage);
        case Step::reset:
            return states.reset();
        case Step::editApply:
            return states.wantApply(true);
        case Step::editNone:
            return states.wantApply(false);
        case Step::editCancel:
            return states.wantCancel(true);
        case Step::otherReading:
            return states.reading(kOther);
        case Step::otherWriting:
            return states.writing(kOther);
    }
}

struct Case {
    const char* what;
    std::vector<Step> steps;
    PageStates::Shows shows;
    bool acts;
    PageStates::Bar bar;
};

TEST(PageStates, APageActsOnlyWhileItShowsWhatItReadAndKeepsTheEditsMeanwhile) {
    using Shows = PageStates::Shows;
    const std::vector<Case> cases = {
        {"a page that reads nothing", {}, Shows::read, true, {false, false}},
        {"edited", {Step::editApply}, Shows::read, true, {true, true}},
        {"cancel alone", {Step::editCancel}, Shows::read, true, {false, true}},
        {"reading", {Step::reading}, Shows::reading, false, {false, false}},
        {"edited, then read again", {Step::editApply, Step::reading}, Shows::reading, false, {false, false}},
        {"edited while it read", {Step::reading, Step::editApply}, Shows::reading, false, {false, false}},
        {"the read arrived after the edit",
         {Step::reading, Step::editApply, Step::shown},
         Shows::read,
         true,
         {true, true}},
        {"the read failed",
         {Step::editApply, Step::reading, Step::readFailed},
         Shows::readFailed,
         false,
         {false, false}},
        {"read again after a failure",
         {Step::reading, Step::readFailed, Step::reading, Step::shown},
         Shows::read,
         true,
         {false, false}},
        {"writing", {Step::editApply, Step::writing}, Shows::read, false, {false, false}},
        {"written", {Step::editApply, Step::writing, Step::written}, Shows::read, true, {true, true}},
        {"a write within a write",
         {Step::writing, Step::writing, Step::written},
         Shows::read,
         false,
         {false, false}},
        {"both writes ended",
         {Step::writing, Step::writing, Step::written, Step::written},
         Shows::read,
         true,
         {false, false}},
        {"a write's end without its start",
         {Step::written, Step::writing},
         Shows::read,
         false,
         {false, false}},
        {"edits dropped", {Step::editApply, Step::editNone}, Shows::read, true, {false, false}},
        {"left while it read",
         {Step::editApply, Step::reading, Step::leave},
         Shows::read,
         true,
         {false, false}},
        {"left while it wrote", {Step::writing, Step::leave}, Shows::read, true, {false, false}},
        {"another device",
         {Step::editApply, Step::readFailed, Step::reset},
         Shows::read,
         true,
         {false, false}},
        {"another page reads and writes",
         {Step::editApply, Step::otherReading, Step::otherWriting},
         Shows::read,
         true,
         {true, true}},
    };
    for (const Case& tried : cases) {
        PageStates states;
        for (const Step step : tried.steps) take(states, step);
        EXPECT_EQ(states.shows(kPage), tried.shows) << tried.what;
        EXPECT_EQ(states.waits(kPage), tried.shows == Shows::reading) << tried.what;
        EXPECT_EQ(states.acts(kPage), tried.acts) << tried.what;
        EXPECT_EQ(states.bar(kPage), tried.bar) << tried.what;
    }
}

}  // namespace
