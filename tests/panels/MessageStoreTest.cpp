// The message files: a round trip keeps the tree, damaged records are held in their place and
// written back, damaged files are kept aside, and moved files are found again by name.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/TextConversion.h"
#include "panels/MessageStore.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"
#include "tests/panels/MessageItems.h"

namespace {

namespace fs = std::filesystem;
using frm::MessageItem;
using Tree = boost::property_tree::wptree;

using test::group;
using test::message;

class MessageStoreTest : public ::testing::Test {
protected:
    std::wstring path(const std::string& name) const { return base::fromUtf8(files_.file(name)); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(files_.file(name)) << text;
    }
    frm::MessageFile read(const std::string& name) const {
        return frm::readMessageFile(path(name), {path("service"), path("record")});
    }
    std::vector<std::string> filesNamed(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(files_.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0) names.push_back(name);
        }
        return names;
    }

    test::LogCapture log_;
    test::TempFolder files_;
};

TEST_F(MessageStoreTest, ARoundTripGivesTheSameTree) {
    const MessageItem root =
        group(L"", {group(L"Эвакуация & сбор", {message(L"Пожар <1>", L"/нет/пожар.mp3", L"/нет/гонг.mp3"),
                                                message(L"Без гонга", L"/нет/тишина & покой.mp3", L"")}),
                    group(L"Пустая", {}),
                    group(L"Вложенная", {group(L"Глубже", {message(L"A", L"/нет/a.mp3", L"")})})});
    const Tree written = frm::writeMessageTree(root, path("service"));
    EXPECT_EQ(written.get<std::wstring>(L"tree.group.name"), L"Эвакуация & сбор");
    EXPECT_EQ(written.get_child(L"tree.group.message").front().first, L"name");
    storage::save(path("service_message.xml"), written);

    const frm::MessageFile file = read("service_message.xml");
    ASSERT_EQ(file.read, storage::StateFileRead::loaded);
    ASSERT_TRUE(file.root);
    ASSERT_EQ(file.root->children.size(), 3u);
    const MessageItem& first = file.root->children[0].children[0];
    EXPECT_EQ(first.kind, MessageItem::messageItem);
    EXPECT_EQ(first.name, L"Пожар <1>");
    EXPECT_EQ(first.gong, L"/нет/гонг.mp3");
    EXPECT_EQ(file.root->children[2].children[0].children[0].message, L"/нет/a.mp3");
    EXPECT_EQ(frm::writeMessageTree(*file.root, path("service")), written);
}

TEST_F(MessageStoreTest, DamagedRecordsAreHeldInTheirPlaceAndWrittenBack) {
    write("service_message.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?><tree>"
          "<group><name>Первая</name><message><name>М1</name><message>/нет/1.mp3</message><gong/></message>"
          "<message><name>Без файла</name><gong/></message></group>"
          "<group><message><name>Без группы</name><message>/нет/2.mp3</message><gong/></message></group>"
          "<!-- заметка --><un.known>x</un.known>"
          "<group><name>Третья</name></group>"
          "<message><name>В корне</name><message>/нет/3.mp3</message></message>"
          "</tree>");
    const frm::MessageFile file = read("service_message.xml");
    ASSERT_TRUE(file.root);
    ASSERT_EQ(file.root->children.size(), 3u);
    EXPECT_EQ(file.root->children[0].name, L"Первая");
    EXPECT_EQ(file.root->children[0].children.size(), 1u);
    EXPECT_EQ(file.root->children[1].name, L"Третья");
    EXPECT_EQ(file.root->children[2].gong, L"");  // a message without a gong element has none
    EXPECT_EQ(file.root->held.size(), 3u);

    Tree original;
    ASSERT_TRUE(storage::load(path("service_message.xml"), original));
    Tree saved = frm::writeMessageTree(*file.root, path("service"));
    // Only the missing gong element of the last message is added.
    original.get_child(L"tree").back().second.put(L"gong", L"");
    EXPECT_EQ(saved, original);
}

// A large file is shown whole, however many items it holds, and written back as it was read.
TEST_F(MessageStoreTest, AFileOf12000ItemsIsShownWhole) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?><tree>";
    for (int g = 0; g < 3; ++g) {
        text += "<group><name>" + std::to_string(g) + "</name>";
        for (int m = 0; m < 3999; ++m) {
            const std::string name = std::to_string(g) + "-" + std::to_string(m);
            text +=
                "<message><name>" + name + "</name><message>/нет/" + name + ".mp3</message><gong/></message>";
        }
        text += "</group>";
    }
    write("service_message.xml", text + "</tree>");
    const frm::MessageFile file = read("service_message.xml");
    ASSERT_TRUE(file.root);
    ASSERT_EQ(file.root->children.size(), 3u);
    EXPECT_TRUE(file.root->held.empty());
    for (const MessageItem& group : file.root->children) {
        EXPECT_EQ(group.children.size(), 3999u) << group.name;
        EXPECT_TRUE(group.held.empty()) << group.name;
    }
    EXPECT_EQ(file.root->children[2].children.back().message, L"/нет/2-3998.mp3");

    Tree original;
    ASSERT_TRUE(storage::load(path("service_message.xml"), original));
    EXPECT_EQ(frm::writeMessageTree(*file.root, path("service")), original);
}

// An empty name or path is the operator's and is shown, so it is read as it stands.
TEST_F(MessageStoreTest, EmptyNamesAndPathsAreReadAsTheyStand) {
    write("service_message.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?><tree>"
          "<group><name/><message><name/><message>/нет/1.mp3</message><gong/></message>"
          "<message><name>Без файла</name><message/><gong/></message></group>"
          "</tree>");
    const frm::MessageFile file = read("service_message.xml");
    ASSERT_TRUE(file.root);
    ASSERT_EQ(file.root->children.size(), 1u);
    const MessageItem& group = file.root->children[0];
    EXPECT_EQ(group.name, L"");
    ASSERT_EQ(group.children.size(), 2u);
    EXPECT_EQ(group.children[0].name, L"");
    EXPECT_EQ(group.children[0].message, L"/нет/1.mp3");
    EXPECT_EQ(group.children[1].name, L"Без файла");
    EXPECT_EQ(group.children[1].message, L"");
    EXPECT_TRUE(group.held.empty());
}

TEST_F(MessageStoreTest, AnItemOfAnotherKindIsToldAndNotWritten) {
    MessageItem odd = message(L"Странное", L"/нет/x.mp3");
    odd.kind = 7;
    const MessageItem root =
        group(L"", {group(L"Группа", {message(L"A", L"/нет/a.mp3"), odd}), message(L"B", L"/нет/b.mp3")});
    const Tree written = frm::writeMessageTree(root, path("service"));
    EXPECT_EQ(written.get_child(L"tree.group").count(L"message"), 1u);
    EXPECT_EQ(written.get_child(L"tree").count(L"message"), 1u);
    EXPECT_TRUE(log_.contains(L"Internal error. Unknown type '7'", L"ERROR"));
}

TEST_F(MessageStoreTest, FilesThatCannotBeReadAreKeptAside) {
    const std::pair<const char*, storage::StateFileRead> cases[] = {
        {"not xml <", storage::StateFileRead::keptAside},
        {"<?xml version=\"1.0\"?><scheduler_v2/>", storage::StateFileRead::keptAside},
    };
    for (const auto& [text, result] : cases) {
        write("alarm_message.xml", text);
        const frm::MessageFile file = read("alarm_message.xml");
        EXPECT_EQ(file.read, result) << text;
        EXPECT_FALSE(file.root) << text;
        EXPECT_FALSE(fs::exists(files_.file("alarm_message.xml"))) << text;
    }
    EXPECT_EQ(filesNamed("alarm_message.xml.broken-").size(), 2u);
    // Both are told to the operator: the one that does not parse and the one without its root.
    EXPECT_EQ(log_.find(L"Ошибка открытия настроек '", L"ERROR").size(), 2u);
    EXPECT_TRUE(log_.contains(L"(нет корня 'tree')", L"ERROR"));
    EXPECT_EQ(read("alarm_message.xml").read, storage::StateFileRead::missing);
    EXPECT_TRUE(log_.contains(
        L"Неверен путь к файлу настроек " + base::fromUtf8(files_.file("alarm_message.xml")), L"EXTERN"));
    EXPECT_EQ(log_.find(L"Service message not loaded", L"EXTERN").size(), 3u);
}

TEST_F(MessageStoreTest, MovedFilesAreFoundInTheMessageFolderThenInTheRecordFolder) {
    for (const char* folder : {"service", "record"}) fs::create_directory(files_.file(folder));
    for (const char* file : {"service/both.mp3", "record/both.mp3", "record/recorded.mp3", "here.mp3"})
        write(file, "x");
    const std::wstring here = path("here.mp3");
    const MessageItem root = group(
        L"",
        {group(L"Г", {message(L"1", L"/old/both.mp3", L"/old/recorded.mp3"),
                      message(L"2", L"/old/recorded.mp3", L"/old/nowhere.mp3"), message(L"3", here, here)})});
    storage::save(path("service_message.xml"), frm::writeMessageTree(root, path("service")));
    const frm::MessageFile file = read("service_message.xml");
    ASSERT_TRUE(file.root);
    const auto& messages = file.root->children[0].children;
    const std::pair<std::wstring, std::wstring> expected[] = {
        {path("service/both.mp3"), path("record/recorded.mp3")},
        {path("record/recorded.mp3"), L"/old/nowhere.mp3"},
        {here, here},
    };
    for (std::size_t index = 0; index < messages.size(); ++index) {
        EXPECT_EQ(messages[index].message, expected[index].first) << index;
        EXPECT_EQ(messages[index].gong, expected[index].second) << index;
    }
    // A save relocates against the message folder only.
    const Tree saved = frm::writeMessageTree(root, path("service"));
    const Tree& first = std::next(saved.get_child(L"tree.group").begin())->second;
    EXPECT_EQ(first.get<std::wstring>(L"message"), path("service/both.mp3"));
    EXPECT_EQ(first.get<std::wstring>(L"gong"), L"/old/recorded.mp3");
}

}  // namespace
