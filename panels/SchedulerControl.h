#pragma once
// The scheduler control that the panel of one kind of playlist ("playlist", "radio") is given:
// it finds and renames only scheduled playbacks of that kind.

#include <string>

#include "panels/ISchedulerControl.h"
#include "panels/SchedulerStore.h"

namespace frm {

class SchedulerControl : public ISchedulerControl {
public:
    SchedulerControl(SchedulerStore& store, std::wstring kind) : store_(store), kind_(std::move(kind)) {}

    void renamePlaylist(const std::wstring& oldName, const std::wstring& newName) override {
        store_.tasks().renamePlaylist(kind_, oldName, newName);
    }
    bool takesRename(const std::wstring& oldName, const std::wstring& newName) override {
        return store_.takesRename(kind_, oldName, newName);
    }
    bool existPlaylist(const std::wstring& name) override {
        return store_.tasks().existPlaylist(kind_, name);
    }

private:
    SchedulerStore& store_;
    const std::wstring kind_;
};

}  // namespace frm
