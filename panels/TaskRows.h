#pragma once
// The rows of the scheduler's task list, apart from the window: the tasks that a refresh let
// through, in id order, each with its record (which a task keeps from its making on, so that a
// record once read serves every refresh after). The list is virtual: a row's texts are made when
// the list first draws it, so that a refresh of fifty thousand tasks, or of a thousand that each
// name five hundred loudspeakers, makes the texts of the rows on screen only. The loudspeakers' names come
// from the names the refresh read of the registry, by id; a target the registry no longer holds is named by
// itself.
//
// The texts of a row can be made on any thread: the records are copies, and the tasks and their
// playbacks read their own state under their locks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/BaseTask.h"
#include "panels/SchedulerPanelRules.h"

namespace frm {

class TaskRows {
public:
    struct Row {
        std::shared_ptr<scheduler::task::BaseTask> task;
        std::shared_ptr<const scheduler::task::DataVault> record;
    };
    using Names = std::unordered_map<std::uint32_t, std::wstring>;
    using Texts = std::array<std::wstring, kTaskColumnCount>;

    TaskRows() = default;
    TaskRows(std::vector<Row> rows, Names names) : rows_(std::move(rows)), names_(std::move(names)) {}

    std::size_t size() const { return rows_.size(); }
    std::uint32_t id(std::size_t row) const { return rows_.at(row).task->getId(); }
    const std::vector<Row>& rows() const { return rows_; }
    // The row's texts (fillRow), made once; on the window's thread only.
    const Texts& texts(std::size_t row) const;
    // The row's texts, made anew.
    Texts makeTexts(std::size_t row) const;
    // The name of a target of the record's playback by its id: the registry's name read by the
    // refresh, or the target's own.
    static std::wstring deviceName(const Names& names, const scheduler::task::DataVault& record,
                                   std::uint32_t id);

private:
    std::vector<Row> rows_;
    Names names_;
    mutable std::unordered_map<std::size_t, Texts> made_;
};

}  // namespace frm
