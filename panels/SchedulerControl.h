#pragma once
// The scheduler control that the panel of one kind of playlist ("playlist", "radio") is given:
// it finds and renames only scheduled playbacks of that kind.

#include <string>

#include "panels/ISchedulerControl.h"
#include "panels/SchedulerTasks.h"

namespace frm {

class SchedulerControl : public ISchedulerControl {
public:
    SchedulerControl(SchedulerTasks& tasks, std::wstring kind) : tasks_(tasks), kind_(std::move(kind)) {}

    void renamePlaylist(const std::wstring& oldName, const std::wstring& newName) override {
        tasks_.renamePlaylist(kind_, oldName, newName);
    }
    bool existPlaylist(const std::wstring& name) override { return tasks_.existPlaylist(kind_, name); }

private:
    SchedulerTasks& tasks_;
    const std::wstring kind_;
};

}  // namespace frm
