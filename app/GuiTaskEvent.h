#pragma once
// The event that carries a task of the GUI-thread invoker to the main window: a text command
// event with the identifier 1090.

#include <wx/event.h>

#include <functional>
#include <utility>

namespace frm {

class GuiTaskEvent : public wxCommandEvent {
public:
    static constexpr int kId = 1090;

    explicit GuiTaskEvent(std::function<void()> task)
        : wxCommandEvent(wxEVT_TEXT, kId), task_(std::move(task)) {}
    wxEvent* Clone() const override { return new GuiTaskEvent(*this); }
    void run() const {
        if (task_) task_();
    }

private:
    std::function<void()> task_;
};

}  // namespace frm
