#include "panels/SourceServicePanel.h"

#include "app/kit/GuiEnabler.h"
#include "audio/AlarmChannel.h"
#include "audio/PlaceFolders.h"
#include "audio/PlayerChannel.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "panels/ISchedulerControl.h"
#include "panels/MessagePanelRules.h"
#include "panels/SourcePanelParts.h"

namespace frm {
namespace {

void tell(const debug::Place& place, const Report& report) {
    switch (report.level) {
        case base::Log::DEBUG:
            place.debug(L"%1%", report.text);
            break;
        case base::Log::NOTICE:
            place.notice(L"%1%", report.text);
            break;
        case base::Log::WARN:
            place.warn(L"%1%", report.text);
            break;
        default:
            place.error(L"%1%", report.text);
            break;
    }
}

std::wstring wide(const wxString& text) {
    return text.ToStdWstring();
}

}  // namespace

SourceServicePanel::SourceServicePanel(wxWindow* parent, ISchedulerControl* schedulerControl, bool alarm)
    : fb::SourceServicePanel(parent), alarm_(alarm), schedulerControl_(schedulerControl) {}

void SourceServicePanel::buildControls() {
    if (hasControls()) return;
    buildLayout();
    root_ = m_tree->AddRoot(wxEmptyString);
    setAction(createGroup);
    setTransportImages({nullptr, m_play, m_stop});
    for (const MessageItem& item : waiting_) append(root_, item);
    waiting_.clear();
}

void SourceServicePanel::reload() {
    // What the operator chose stays chosen while its file is still there.
    const auto chosen = [](const wxChoice& choice, const std::vector<std::wstring>& paths) {
        const int index = choice.GetSelection();
        return index >= 0 && static_cast<std::size_t>(index) < paths.size()
                   ? paths[static_cast<std::size_t>(index)]
                   : std::wstring();
    };
    const std::wstring gong = chosen(*m_gong, gongPaths_);
    const std::wstring message = chosen(*m_message, messagePaths_);
    const bool gongChosen = m_gong->GetSelection() != wxNOT_FOUND;
    const bool messageChosen = m_message->GetSelection() != wxNOT_FOUND;
    gongPaths_ = fillGongChoice(*m_gong);
    fillMessageChoice();
    if (gongChosen) m_gong->SetSelection(entryToChoose(gongPaths_, gong, wxNOT_FOUND));
    if (messageChosen) m_message->SetSelection(entryToChoose(messagePaths_, message, wxNOT_FOUND));
}

void SourceServicePanel::fillMessageChoice() {
    m_message->Clear();
    messagePaths_.clear();
    // Only the files that a plug-in plays and the priority stream decodes, as the gongs.
    for (const std::wstring& folder : {messageFolder(), audio::recordedMessageFolder()}) {
        for (const std::wstring& path : AlarmChannel::getGongList(folder)) {
            messagePaths_.push_back(path);
            m_message->Append(base::getFileName(path, true));
        }
    }
}

void SourceServicePanel::setAction(int action) {
    switch (action) {
        case createGroup:
            m_nameArea->Show();
            m_messageArea->Hide();
            m_execute->SetLabel(wxT("Создать группу"));
            break;
        case addMessage:
            reload();
            m_nameArea->Show();
            m_messageArea->Show();
            m_execute->SetLabel(wxT("Добавить сообщение"));
            break;
        case deleteSelected:
            m_nameArea->Hide();
            m_messageArea->Hide();
            m_execute->SetLabel(wxT("Удалить выделенное"));
            break;
        default:
            debug::Place("frm::SourceServicePanel::setAction").warn(L"Unknown action N'%1%'", action);
            return;
    }
    Layout();
    Refresh();
}

std::vector<std::shared_ptr<IPlayback>> SourceServicePanel::getPlaybackSources() {
    // The scheduler asks at each showing of its view: the messages are made anew only when the
    // tree has changed since.
    if (playbacksRevision_ != treeRevision_) {
        usedMessagePaths_.clear();
        playbacks_ = messagePlaybacks(collectAll(), std::wstring(), alarm_, &usedMessagePaths_);
        playbacksRevision_ = treeRevision_;
    }
    return playbacks_;
}

std::vector<std::shared_ptr<IPlayback>> SourceServicePanel::getPlaybackSources(const wxTreeItemId& item,
                                                                               const std::wstring& prefix) {
    if (!item.IsOk()) return {};
    return messagePlaybacks(collect(item), prefix, alarm_, &usedMessagePaths_);
}

bool SourceServicePanel::isMessageUsed(const std::wstring& text) {
    getPlaybackSources();
    for (const std::wstring& path : usedMessagePaths_) {
        if (path.find(text) != std::wstring::npos) return true;
    }
    return false;
}

SourceServicePanel::ItemData* SourceServicePanel::getItemData(const wxTreeItemId& item) const {
    if (!item.IsOk() || item == root_) return nullptr;
    wxTreeItemData* data = m_tree->GetItemData(item);
    if (data == nullptr) return nullptr;
    auto* payload = dynamic_cast<ItemData*>(data);
    if (payload == nullptr)
        debug::Place("frm::SourceServicePanel::getItemData").error(L"Internal error. wxTreeItemData is null");
    return payload;
}

MessageItem SourceServicePanel::collect(const wxTreeItemId& item) const {
    MessageItem collected;
    if (item == root_) {
        collected.held = rootHeld_;
    } else if (const ItemData* data = getItemData(item)) {
        collected = data->item;
    }
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = m_tree->GetFirstChild(item, cookie); child.IsOk();
         child = m_tree->GetNextChild(item, cookie)) {
        if (getItemData(child) != nullptr) collected.children.push_back(collect(child));
    }
    return collected;
}

MessageItem SourceServicePanel::collectAll() const {
    if (hasControls()) return collect(root_);
    MessageItem root;
    root.held = rootHeld_;
    root.children = waiting_;
    return root;
}

void SourceServicePanel::append(const wxTreeItemId& parent, const MessageItem& item) {
    MessageItem payload = item;
    payload.children.clear();
    const wxTreeItemId added =
        m_tree->AppendItem(parent, item.name, -1, -1, new ItemData(std::move(payload)));
    for (const MessageItem& child : item.children) append(added, child);
}

std::wstring SourceServicePanel::messageFolder() const {
    return alarm_ ? audio::alarmMessageFolder() : audio::serviceMessageFolder();
}

void SourceServicePanel::changed() {
    ++treeRevision_;
    changes_.mark();
}

storage::StateFileRead SourceServicePanel::load(const std::wstring& path) {
    // What is read joins the tree, which the file need not be written for.
    ++treeRevision_;
    const MessageFile file = readMessageFile(path, {messageFolder(), audio::recordedMessageFolder()});
    if (!file.root) return file.read;
    // The records held at the root stand after the items that are there already.
    const std::size_t before = hasControls() ? m_tree->GetChildrenCount(root_, false) : waiting_.size();
    for (HeldRecord held : file.root->held) {
        held.position += before;
        rootHeld_.push_back(std::move(held));
    }
    for (const MessageItem& item : file.root->children) {
        if (hasControls()) {
            append(root_, item);
        } else {
            waiting_.push_back(item);
        }
    }
    return file.read;
}

boost::property_tree::wptree SourceServicePanel::saveToTree() const {
    return writeMessageTree(collectAll(), messageFolder());
}

bool SourceServicePanel::channelBusy() const {
    if (alarm_) {
        const base::SingletonSlot<AlarmChannel>::Use channel(AlarmChannel::instanceSlot());
        return channel && channel->isBusy();
    }
    const base::SingletonSlot<PlayerChannel>::Use channel(PlayerChannel::instanceSlot());
    return channel && (channel->isPlaying() || channel->isStartPending());
}

void SourceServicePanel::onSelectMessage(wxTreeEvent& event) {
    debug::Place("frm::SourceServicePanel::onSelectMessage").trace(L"");
    // The selection still names the item that is left.
    const ItemData* data = getItemData(event.GetItem());
    m_information->SetLabel(data ? messageInformation(data->item) : std::wstring());
    event.Skip();
}

void SourceServicePanel::actionOnRadioBox(wxCommandEvent& event) {
    debug::Place("frm::SourceServicePanel::actionOnRadioBox").trace(L"");
    setAction(m_action->GetSelection());
    event.Skip();
}

void SourceServicePanel::executeOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::SourceServicePanel::executeOnButtonClick");
    place.trace(L"");
    const int action = m_action->GetSelection();
    switch (action) {
        case createGroup:
            createGroupItem();
            break;
        case addMessage:
            addMessageItem();
            break;
        case deleteSelected:
            deleteSelectedItem();
            break;
        default:
            place.warn(L"Неизвестное действие N%1%", action);
            break;
    }
    event.Skip();
}

void SourceServicePanel::createGroupItem() {
    const std::wstring name = wide(m_name->GetValue());
    std::vector<std::wstring> groups;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = m_tree->GetFirstChild(root_, cookie); child.IsOk();
         child = m_tree->GetNextChild(root_, cookie))
        groups.push_back(wide(m_tree->GetItemText(child)));
    if (const auto refusal = createGroupRefusal(name, groups)) {
        tell(debug::Place("frm::SourceServicePanel::executeOnButtonClick"), *refusal);
        return;
    }
    MessageItem group;
    group.name = name;
    append(root_, group);
    changed();
    m_name->Clear();
}

void SourceServicePanel::addMessageItem() {
    NewMessageInput input;
    input.name = wide(m_name->GetValue());
    const wxTreeItemId selected = m_tree->GetSelection();
    if (selected.IsOk() && selected != root_) {
        input.selection = m_tree->GetItemParent(selected) == root_ ? NewMessageInput::groupUnderRoot
                                                                   : NewMessageInput::deeperItem;
    }
    if (const ItemData* data = getItemData(selected)) {
        input.groupPayload = data->item.kind == MessageItem::groupItem;
        input.groupName = data->item.name;
    }
    input.gongIndex = m_gong->GetSelection();
    input.gongCount = gongPaths_.size();
    input.messageIndex = m_message->GetSelection();
    input.messageCount = messagePaths_.size();
    for (const auto& playback : getPlaybackSources()) input.takenNames.push_back(playback->getName());
    if (const auto refusal = addMessageRefusal(input)) {
        tell(debug::Place("frm::SourceServicePanel::executeOnButtonClick"), *refusal);
        return;
    }
    MessageItem message;
    message.kind = MessageItem::messageItem;
    message.name = input.name;
    if (input.gongIndex >= 0) message.gong = gongPaths_[static_cast<std::size_t>(input.gongIndex)];
    message.message = messagePaths_[static_cast<std::size_t>(input.messageIndex)];
    append(selected, message);
    changed();
    m_name->Clear();
    m_tree->Expand(selected);
    m_tree->Refresh();
}

void SourceServicePanel::deleteSelectedItem() {
    const wxTreeItemId selected = m_tree->GetSelection();
    std::optional<MessageItem> item;
    if (getItemData(selected) != nullptr) item = collect(selected);
    std::wstring prefix;
    if (item) {
        if (const ItemData* parent = getItemData(m_tree->GetItemParent(selected))) prefix = parent->item.name;
    }
    const auto scheduled = [this](const std::wstring& name) {
        return schedulerControl_ != nullptr && schedulerControl_->existPlaylist(name);
    };
    if (const auto refusal = deleteRefusal(channelBusy(), item ? &*item : nullptr, prefix, scheduled)) {
        tell(debug::Place("frm::SourceServicePanel::executeOnButtonClick"), *refusal);
        return;
    }
    m_tree->Delete(selected);
    changed();
    m_information->SetLabel(wxEmptyString);
}

void SourceServicePanel::playOnButtonClick(wxCommandEvent& event) {
    const debug::Place place("frm::SourceServicePanel::playOnButtonClick");
    place.trace(L"");
    event.Skip();
    GuiEnabler enabler(m_play);
    const ItemData* data = getItemData(m_tree->GetSelection());
    if (data == nullptr || data->item.kind != MessageItem::messageItem) {
        place.notice(L"Выберите сообщение для запуска");
        return;
    }
    const MessageItem message = data->item;
    if (alarm_) {
        const AlarmLaunch launch = alarmLaunch(message);
        if (launch.refusal) {
            tell(place, *launch.refusal);
            return;
        }
        if (!confirmPlay_ || !confirmPlay_()) return;
        const base::SingletonSlot<AlarmChannel>::Use channel(AlarmChannel::instanceSlot());
        if (!channel) {
            place.error(L"Internal error. No alarm channel for '%1%'", message.name);
            return;
        }
        channel->launch(launch.priority, launch.description, launch.messagePath, launch.gongPath,
                        launch.volume, nullptr);
        return;
    }
    const ServicePlaylist planned = servicePlaylist(message);
    if (planned.refusal) {
        tell(place, *planned.refusal);
        return;
    }
    auto playlist = std::make_shared<Playlist>(message.name, false);
    playlist->add(planned.items);
    const base::SingletonSlot<PlayerChannel>::Use channel(PlayerChannel::instanceSlot());
    if (!channel) {
        place.error(L"Internal error. No player channel for '%1%'", message.name);
        return;
    }
    channel->playForSelected(playlist, pref::getInt(setting::volumeServiceMessage));
}

void SourceServicePanel::stopOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::SourceServicePanel::stopOnButtonClick").trace(L"");
    event.Skip();
    GuiEnabler enabler(m_stop);
    if (alarm_) {
        const base::SingletonSlot<AlarmChannel>::Use channel(AlarmChannel::instanceSlot());
        if (channel && channel->getPriority() != kUnstoppablePriority) channel->stop();
        return;
    }
    const base::SingletonSlot<PlayerChannel>::Use channel(PlayerChannel::instanceSlot());
    if (channel) channel->stop();
}

}  // namespace frm
