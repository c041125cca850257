#pragma once
// The panel in which the operator keeps prepared messages in named groups and plays them, each
// after its optional gong: the service panel plays through the common player channel, the alarm
// panel through the priority alarm channel. Its messages are offered to the scheduler, which is
// asked before a scheduled message, or its group, is deleted. The tree lives in its state file
// ("service_message.xml" or "alarm_message.xml").
//
// Everything runs on the GUI thread; playing and stopping hand their work to the channels.

#include <wx/treectrl.h>

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/IPlayback.h"
#include "foundation/ChangeMark.h"
#include "foundation/Storage.h"
#include "layouts/SourceServicePanel.h"
#include "panels/MessageStore.h"

namespace frm {

class ISchedulerControl;

class SourceServicePanel : public fb::SourceServicePanel {
public:
    static constexpr const wchar_t* kServiceFile = L"service_message.xml";
    static constexpr const wchar_t* kAlarmFile = L"alarm_message.xml";
    enum Action { createGroup = 0, addMessage = 1, deleteSelected = 2 };

    // The payload of every item below the hidden root; its children stay empty (they are the
    // item's children in the tree).
    class ItemData : public wxTreeItemData {
    public:
        explicit ItemData(MessageItem item) : item(std::move(item)) {}
        MessageItem item;
    };

    // The scheduler control is not owned; the alarm flag is fixed for the panel's life.
    SourceServicePanel(wxWindow* parent, ISchedulerControl* schedulerControl, bool alarm);
    SourceServicePanel(const SourceServicePanel&) = delete;
    SourceServicePanel& operator=(const SourceServicePanel&) = delete;

    // Makes the controls and shows the items loaded so far in them; the main window calls it when
    // it first shows the panel. Until then the items wait without controls, and everything but
    // the controls' own work (reload, setAction) goes on as with them.
    void buildControls();
    bool hasControls() const { return m_tree != nullptr; }

    bool isAlarm() const { return alarm_; }
    // Asked before the alarm panel plays (the alarm-playback password); the alarm panel plays
    // nothing without it.
    void setPlayConfirmation(std::function<bool()> confirmation) { confirmPlay_ = std::move(confirmation); }

    // Refills the gong and message choices.
    void reload();
    void fillMessageChoice();
    void setAction(int action);

    // The messages of the whole tree as playbacks named after their groups.
    std::vector<std::shared_ptr<IPlayback>> getPlaybackSources();
    // The same below an item of the tree control.
    std::vector<std::shared_ptr<IPlayback>> getPlaybackSources(const wxTreeItemId& item,
                                                               const std::wstring& prefix);
    // Whether a message's path contains the text.
    bool isMessageUsed(const std::wstring& text);
    // The payload of the item; null for the root, an invalid item or an item without one.
    ItemData* getItemData(const wxTreeItemId& item) const;

    // Appends the items of the file below the root. A file without the "tree" root is kept aside
    // as a damaged one; the result tells whether it may be saved over.
    storage::StateFileRead load(const std::wstring& path);
    // The file of the whole tree.
    boost::property_tree::wptree saveToTree() const;
    // What the file keeps, taken as it stands now: the file's tree is made from it later, on any
    // thread (writeMessageTree).
    struct Kept {
        MessageItem root;
        std::wstring messageFolder;
    };
    Kept keep() const { return {collectAll(), messageFolder()}; }
    // Marked by each item made or deleted.
    const base::ChangeMark& changes() const { return changes_; }

protected:
    void onSelectMessage(wxTreeEvent& event) override;
    void actionOnRadioBox(wxCommandEvent& event) override;
    void executeOnButtonClick(wxCommandEvent& event) override;
    void playOnButtonClick(wxCommandEvent& event) override;
    void stopOnButtonClick(wxCommandEvent& event) override;

private:
    // The item with everything below it; the root with the records held at its level.
    MessageItem collect(const wxTreeItemId& item) const;
    // The hidden root with every item, from the tree control or, before it is made, from waiting_.
    MessageItem collectAll() const;
    void append(const wxTreeItemId& parent, const MessageItem& item);
    std::wstring messageFolder() const;
    bool channelBusy() const;
    void createGroupItem();
    void addMessageItem();
    void deleteSelectedItem();
    // Each change of the tree.
    void changed();

    const bool alarm_;
    ISchedulerControl* const schedulerControl_;
    std::function<bool()> confirmPlay_;
    wxTreeItemId root_;
    std::vector<HeldRecord> rootHeld_;
    // The items below the root while the tree control is not made yet.
    std::vector<MessageItem> waiting_;
    // Index-aligned with the gong choice (its first entry empty: no gong) and the message choice.
    std::vector<std::wstring> gongPaths_;
    std::vector<std::wstring> messagePaths_;
    std::set<std::wstring> usedMessagePaths_;
    // The messages of the whole tree as playbacks, made at the revision of the tree.
    std::vector<std::shared_ptr<IPlayback>> playbacks_;
    std::uint64_t treeRevision_ = 0;
    std::optional<std::uint64_t> playbacksRevision_;
    base::ChangeMark changes_;
};

}  // namespace frm
