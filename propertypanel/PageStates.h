#pragma once
// Whether the property panel's pages act on the operator's controls, decided without the window.
// A page acts only while it shows what it read from the device it shows: while it waits for its
// read, and after that read failed, the controls that change the device and the bar's "&Применить"
// and "&Отмена" take nothing, and the bar keeps the operator's edits waiting until the page
// shows again. While a page writes the panel takes nothing either. Every page starts as showing:
// a page that reads says so when it starts its read.

#include <map>

namespace frm {

class PageStates {
public:
    // What the page shows of its device.
    enum class Shows { read, reading, readFailed };

    // The buttons of the bar: enabled or not.
    struct Bar {
        bool apply = false;
        bool cancel = false;
        bool operator==(const Bar& other) const { return apply == other.apply && cancel == other.cancel; }
    };

    // The page waits for its read.
    void reading(int page);
    // The page shows what it read.
    void shown(int page);
    // The read the page waited for failed: it shows nothing read until it is read again.
    void readFailed(int page);
    // A write of the page starts and ends.
    void writing(int page);
    void written(int page);
    // The page is left: its reads and writes end with it, and its edits are dropped.
    void leave(int page);
    // Another device: every page starts again.
    void reset();

    // The operator's edits of the shown page ask for apply and cancel, or cancel alone.
    void wantApply(bool wanted);
    void wantCancel(bool wanted);
    // The shown page holds edits that apply would write.
    bool applyWanted() const { return applyWanted_; }

    Shows shows(int page) const;
    bool waits(int page) const { return shows(page) == Shows::reading; }
    // Whether the page's controls that change the device, and apply, act now.
    bool acts(int page) const;
    // The bar of the shown page.
    Bar bar(int page) const;

private:
    struct State {
        Shows shows = Shows::read;
        int writes = 0;
    };
    const State& stateOf(int page) const;

    std::map<int, State> states_;
    bool applyWanted_ = false;
    bool cancelWanted_ = false;
};

}  // namespace frm
