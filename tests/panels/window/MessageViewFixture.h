#pragma once
// The main window with a message file of the service or alarm view written before it opens (one
// group holding one message, a sine in the view's message folder), and that message played as
// the operator plays it: its view shown, the message clicked, ▶ clicked.

#include <wx/treectrl.h>

#include <filesystem>
#include <string>

#include "foundation/Storage.h"
#include "panels/MessageStore.h"
#include "panels/SourceServicePanel.h"
#include "tests/panels/window/PanelFixture.h"

namespace test {

class MessageViewFixture : public PanelFixture {
protected:
    // The message `name` of `hertz` in the group `group`, in the service view's file or, with
    // `alarm`, the alarm view's; the view's folder setting names the folder of the sound.
    void writeOneMessage(bool alarm, const std::wstring& group, const std::wstring& name, double hertz) {
        const std::string folder = files_.file(alarm ? "alarm" : "service");
        pref::setString(
            alarm ? setting::placePathDirAlarmMessage.key : setting::placePathDirServiceMessage.key, folder);
        std::filesystem::create_directories(root_.dataFolder());
        std::filesystem::create_directories(folder);
        const std::string sound = folder + "/" + base::toUtf8(name) + ".mp3";
        ASSERT_TRUE(writeSineMp3(sound, hertz, 4));
        frm::MessageItem message;
        message.kind = frm::MessageItem::messageItem;
        message.name = name;
        message.message = base::fromUtf8(sound);
        frm::MessageItem parent;
        parent.name = group;
        parent.children.push_back(message);
        frm::MessageItem root;
        root.children.push_back(parent);
        const wchar_t* file =
            alarm ? frm::SourceServicePanel::kAlarmFile : frm::SourceServicePanel::kServiceFile;
        storage::save(base::fromUtf8(root_.dataFolder() + "/") + file,
                      frm::writeMessageTree(root, base::fromUtf8(folder)));
    }
    // Shows the view of the button, clicks its one message and then ▶; the view.
    frm::SourceServicePanel* playOnlyMessage(const wxString& button) {
        auto* panel = openView<frm::SourceServicePanel>(button);
        if (panel == nullptr) return nullptr;
        auto* tree = named<wxTreeCtrl>(panel, "messages");
        wxTreeItemIdValue groups;
        const wxTreeItemId group = tree->GetFirstChild(tree->GetRootItem(), groups);
        wxTreeItemIdValue messages;
        const wxTreeItemId message = group.IsOk() ? tree->GetFirstChild(group, messages) : group;
        if (!message.IsOk()) {
            ADD_FAILURE() << "no message";
            return nullptr;
        }
        tree->EnsureVisible(message);
        wxRect area;
        if (!tree->GetBoundingRect(message, area, true)) {
            ADD_FAILURE() << "the message is not shown";
            return nullptr;
        }
        click(tree, area);
        EXPECT_TRUE(pumpUntil([&] { return tree->GetSelection() == message; }));
        press(named<wxWindow>(panel, "play"));
        return panel;
    }

    TempFolder files_;
};

}  // namespace test
