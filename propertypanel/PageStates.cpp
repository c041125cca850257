#include "propertypanel/PageStates.h"

namespace frm {

void PageStates::reading(int page) {
    states_[page].shows = Shows::reading;
}

void PageStates::shown(int page) {
    states_[page].shows = Shows::read;
}

void PageStates::readFailed(int page) {
    states_[page].shows = Shows::readFailed;
}

void PageStates::writing(int page) {
    ++states_[page].writes;
}

void PageStates::written(int page) {
    State& state = states_[page];
    if (state.writes > 0) --state.writes;
}

void PageStates::leave(int page) {
    states_.erase(page);
    applyWanted_ = false;
    cancelWanted_ = false;
}

void PageStates::reset() {
    states_.clear();
    applyWanted_ = false;
    cancelWanted_ = false;
}

void PageStates::wantApply(bool wanted) {
    applyWanted_ = wanted;
    cancelWanted_ = wanted;
}

void PageStates::wantCancel(bool wanted) {
    cancelWanted_ = wanted;
}

const PageStates::State& PageStates::stateOf(int page) const {
    static const State initial;
    const auto found = states_.find(page);
    return found == states_.end() ? initial : found->second;
}

PageStates::Shows PageStates::shows(int page) const {
    return stateOf(page).shows;
}

bool PageStates::acts(int page) const {
    const State& state = stateOf(page);
    return state.shows == Shows::read && state.writes == 0;
}

PageStates::Bar PageStates::bar(int page) const {
    if (!acts(page)) return Bar{};
    return Bar{applyWanted_, cancelWanted_};
}

}  // namespace frm
