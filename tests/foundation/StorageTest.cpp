#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/xml_parser.hpp>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using Tree = boost::property_tree::wptree;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

Tree zones() {
    Tree tree;
    tree.put(L"zones.zone.<xmlattr>.id", L"1");
    tree.put(L"zones.zone.name", L"Зона «Вестибюль» №1");
    tree.add(L"zones.zone.device", L"02:7E:41:00:00:01");
    tree.add(L"zones.zone.device", L"02:7E:41:00:00:02");
    return tree;
}

TEST(Storage, CyrillicTextRoundTripsAsUtf8WithoutLineBreaks) {
    test::TempFolder folder;
    const std::string path = folder.file("zones.xml");
    storage::save(base::fromUtf8(path), zones());

    const std::string bytes = test::readWholeFile(path);
    ASSERT_EQ(bytes.rfind(kDeclaration, 0), 0u);
    const std::string body = bytes.substr(kDeclaration.size());
    EXPECT_EQ(body.find('\n'), std::string::npos);
    EXPECT_EQ(body.find("  "), std::string::npos);
    EXPECT_NE(body.find("\xD0\x97\xD0\xBE\xD0\xBD\xD0\xB0"), std::string::npos) << "Зона in UTF-8";

    Tree loaded;
    ASSERT_TRUE(storage::load(base::fromUtf8(path), loaded));
    EXPECT_EQ(loaded, zones());
    EXPECT_EQ(loaded.get<std::wstring>(L"zones.zone.name"), L"Зона «Вестибюль» №1");
}

TEST(Storage, EmptyTreeIsTheDeclarationAlone) {
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("empty.xml"));
    storage::save(path, Tree());
    EXPECT_EQ(test::readWholeFile(folder.file("empty.xml")), kDeclaration);

    Tree loaded = zones();
    EXPECT_TRUE(storage::load(path, loaded));
    EXPECT_TRUE(loaded.empty());
}

TEST(Storage, NothingIsWrittenThatCannotBeReadBack) {
    test::TempFolder folder;
    const std::string path = folder.file("zones.xml");
    // A character reference beyond ASCII is the character it names.
    std::ofstream(path, std::ios::binary)
        << kDeclaration << "<zones><zone>a&#0;b&#x416;&#1046;</zone></zones>";
    Tree tree;
    ASSERT_TRUE(storage::load(base::fromUtf8(path), tree));
    EXPECT_EQ(tree.get<std::wstring>(L"zones.zone"), L"abЖЖ");
    // Text outside the root element and a NUL put in by a caller go no further than the tree.
    tree.data() = L"outside";
    tree.put(L"zones.name", std::wstring(L"x\0y", 3));
    storage::save(base::fromUtf8(path), tree);
    Tree again;
    ASSERT_TRUE(storage::load(base::fromUtf8(path), again));
    EXPECT_EQ(again.get<std::wstring>(L"zones.name"), L"xy");
    EXPECT_EQ(again.data(), L"");
}

TEST(Storage, FailedLoadLeavesTheTreeUntouched) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::wstring missing = base::fromUtf8(folder.file("missing.xml"));
    fs::create_directory(folder.file("folder.xml"));
    const std::wstring notAFile = base::fromUtf8(folder.file("folder.xml"));
    std::ofstream(folder.file("broken.xml")) << kDeclaration << "<zones><zone>";

    Tree tree = zones();
    EXPECT_FALSE(storage::load(missing, tree));
    EXPECT_FALSE(storage::load(notAFile, tree));
    // Malformed XML is left to the caller.
    EXPECT_THROW(storage::load(base::fromUtf8(folder.file("broken.xml")), tree),
                 boost::property_tree::xml_parser::xml_parser_error);
    EXPECT_EQ(tree, zones());
    EXPECT_TRUE(log.contains(L"Неверен путь к файлу настроек " + missing, L"EXTERN"));
    EXPECT_TRUE(log.contains(L"Ошибка открытия настроек '" + notAFile + L"'", L"ERROR"));
}

TEST(Storage, NestingDepthCountsElementsOnly) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {"<?xml version=\"1.0\"?><a/>", 0},
        {"<a><b/><c></c></a>", 2},
        {"<a x=\"/\" y='>'><b x=\"<c>\"></b></a>", 2},
        {"<a><!-- <b><c> --><![CDATA[<d><e>]]></a>", 1},
        {"<!DOCTYPE a><a><?pi <b>?></a>", 1},
        {"</a></a><b><c>", 2},
    };
    for (const auto& [text, depth] : cases) EXPECT_EQ(storage::nestingDepth(text, 10), depth) << text;
    EXPECT_EQ(storage::nestingDepth("<a><a><a><a>", 2), 3);
}

TEST(Storage, DeeplyNestedFileIsRefusedBeforeParsing) {
    test::TempFolder folder;
    std::string deep;  // about 100 KB of open tags
    for (int i = 0; i < 33000; ++i) deep += "<z>";
    std::ofstream(folder.file("deep.xml")) << kDeclaration << deep;
    Tree tree = zones();
    EXPECT_THROW(storage::load(base::fromUtf8(folder.file("deep.xml")), tree),
                 boost::property_tree::xml_parser::xml_parser_error);
    EXPECT_EQ(tree, zones());

    std::string fits;
    for (int i = 0; i < storage::kMaximumNesting; ++i) fits = "<z>" + fits + "</z>";
    std::ofstream(folder.file("fits.xml")) << kDeclaration << fits;
    EXPECT_TRUE(storage::load(base::fromUtf8(folder.file("fits.xml")), tree));
}

TEST(Storage, DamagedStateFileIsKeptAsideOthersReadOrMissing) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("zone_collection.xml"));
    Tree tree;
    tree.put(L"left.over", L"1");
    EXPECT_EQ(storage::readStateFile(path, tree, storage::kLargestStateFile),
              storage::StateFileRead::missing);
    EXPECT_TRUE(tree.empty());
    // A missing file is told as the plain read tells it.
    EXPECT_TRUE(log.contains(L"load: '" + path + L"'", L"TRACE"));
    EXPECT_TRUE(log.contains(L"Неверен путь к файлу настроек " + path, L"EXTERN"));

    Tree saved;
    saved.put(L"zone_collection.zone.<xmlattr>.name", L"Все зоны");
    storage::save(path, saved);
    EXPECT_EQ(storage::readStateFile(path, tree, storage::kLargestStateFile), storage::StateFileRead::loaded);
    EXPECT_EQ(tree, saved);

    const std::string damaged = "<?xml version=\"1.0\"?><zone_collection><zone";
    for (int round = 0; round < 2; ++round) {  // the second keeps the first one's copy too
        std::ofstream(folder.file("zone_collection.xml")) << damaged;
        EXPECT_EQ(storage::readStateFile(path, tree, storage::kLargestStateFile),
                  storage::StateFileRead::keptAside);
        EXPECT_TRUE(tree.empty());
        EXPECT_FALSE(fs::exists(folder.file("zone_collection.xml")));
    }
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        kept.push_back(entry.path().filename().string());
        EXPECT_EQ(test::readWholeFile(entry.path().string()), damaged);
    }
    ASSERT_EQ(kept.size(), 2u);
    for (const std::string& name : kept) EXPECT_EQ(name.rfind("zone_collection.xml.broken-", 0), 0u) << name;
    // The operator is told of each (an ERROR is shown), where it went is only logged.
    EXPECT_EQ(log.find(L"Ошибка открытия настроек '" + path + L"'. (", L"ERROR").size(), 2u);
    EXPECT_EQ(log.find(L"zone_collection.xml' повреждён и сохранён как", L"EXTERN").size(), 2u);
    EXPECT_TRUE(log.find(L"повреждён", L"WARN").empty());
}

// Each row reads in a child process under an alarm: a reader that waits for a pipe or reads a device
// without end is killed there, which fails the row and nothing else.
TEST(StorageDeathTest, WhatIsNoRegularFileOrPastItsBoundIsKeptAsideUnwaitedForAndUnread) {
    constexpr std::size_t kBound = 1u << 20;
    constexpr unsigned kHangGuardSeconds = 60;
    const std::string opening = kDeclaration + "<zones><zone>Вестибюль</zone></zones><!--";
    const std::string closing = "-->";
    const auto validOfSize = [&](std::size_t size) {
        return opening + std::string(size - opening.size() - closing.size(), 'x') + closing;
    };
    enum Kind { pipe, deviceLink, pastTheBound, atTheBound, linkToAFile };
    struct Row {
        Kind kind;
        const char* name;
        storage::StateFileRead read;
        std::wstring told;  // in the ERROR line of a file kept aside, after its path
    };
    const std::wstring damaged = L"'. (это не обычный файл)";
    const Row rows[] = {
        {pipe, "a named pipe", storage::StateFileRead::keptAside, damaged},
        {deviceLink, "a link to /dev/zero", storage::StateFileRead::keptAside, damaged},
        // A whole file, too large: never told as damaged.
        {pastTheBound, "a byte past the bound", storage::StateFileRead::keptAside,
         L"' слишком велик: " + std::to_wstring(kBound + 1) +
             L" байт, а программа читает его при запуске, только пока он не больше " +
             std::to_wstring(kBound) + L" байт. Он сохранён как '"},
        {atTheBound, "a valid file of the bound's size", storage::StateFileRead::loaded, L""},
        {linkToAFile, "a link to a valid file", storage::StateFileRead::loaded, L""},
    };
    for (const Row& row : rows) {
        test::TempFolder folder;
        const std::string file = folder.file("zone_collection.xml");
        const std::wstring path = base::fromUtf8(file);
        switch (row.kind) {
            case pipe:
                ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
                break;
            case deviceLink:
                fs::create_symlink("/dev/zero", file);
                break;
            case pastTheBound:
                std::ofstream(file, std::ios::binary) << validOfSize(kBound + 1);
                break;
            case atTheBound:
                std::ofstream(file, std::ios::binary) << validOfSize(kBound);
                break;
            case linkToAFile:
                std::ofstream(folder.file("elsewhere.xml"), std::ios::binary) << validOfSize(4096);
                fs::create_symlink(folder.file("elsewhere.xml"), file);
                break;
        }
        // The child's exit code says what went wrong: 1 the result, 2 the tree, 3 the file left in
        // place or gone, 4 the ERROR line, 5 a whole file told as damaged.
        EXPECT_EXIT(
            {
                ::alarm(kHangGuardSeconds);
                test::LogCapture log;
                Tree tree;
                const storage::StateFileRead read = storage::readStateFile(path, tree, kBound);
                if (read != row.read) std::_Exit(1);
                if (read == storage::StateFileRead::loaded) {
                    std::_Exit(tree.get<std::wstring>(L"zones.zone", L"") == L"Вестибюль" ? 0 : 2);
                }
                if (!tree.empty()) std::_Exit(2);
                if (fs::symlink_status(file).type() != fs::file_type::not_found) std::_Exit(3);
                if (!log.contains(path + row.told, L"ERROR")) std::_Exit(4);
                if (row.kind == pastTheBound &&
                    (log.contains(L"повреждён") || log.contains(L"Ошибка открытия")))
                    std::_Exit(5);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << row.name;
        if (row.read == storage::StateFileRead::keptAside) {
            // The thing itself is kept aside, not what it leads to.
            std::size_t kept = 0;
            for (const auto& entry : fs::directory_iterator(folder.path()))
                kept += entry.path().filename().string().rfind("zone_collection.xml.broken-", 0) == 0;
            EXPECT_EQ(kept, 1u) << row.name;
        }
    }
}

TEST(Storage, SaveToMissingFolderIsLoggedAndWritesNothing) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("absent/zones.xml"));
    EXPECT_NO_THROW(storage::save(path, zones()));
    EXPECT_TRUE(fs::is_empty(folder.path()));
    EXPECT_TRUE(log.contains(L"Ошибка сохранения настроек. Неверен путь к файлу настроек " + path, L"ERROR"));
}

TEST(StorageDeathTest, SaveKilledHalfwayLeavesThePreviousFile) {
    test::TempFolder folder;
    const std::string path = folder.file("zones.xml");
    storage::save(base::fromUtf8(path), zones());
    const std::string previous = test::readWholeFile(path);
    Tree bigger = zones();
    for (int i = 0; i < 100; ++i) bigger.add(L"zones.zone.device", L"Устройство");

    EXPECT_EXIT(
        {
            test::limitFileSize(previous.size() + 64, test::OnExcess::kill);
            storage::save(base::fromUtf8(path), bigger);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(test::readWholeFile(path), previous);

    EXPECT_EXIT(
        {
            test::limitFileSize(previous.size() + 64, test::OnExcess::fail);
            try {
                storage::save(base::fromUtf8(path), bigger);
            } catch (const boost::property_tree::xml_parser::xml_parser_error&) {
                std::_Exit(3);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(test::readWholeFile(path), previous);
}

TEST(Storage, ATextPastItsBoundIsNotWrittenAndTheFileStaysReadable) {
    test::TempFolder folder;
    const std::wstring path = base::fromUtf8(folder.file("zone_collection.xml"));
    storage::save(path, zones());
    const std::string previous = test::readWholeFile(folder.file("zone_collection.xml"));
    Tree bigger = zones();
    for (int i = 0; i < 100; ++i) bigger.add(L"zones.zone.device", L"Устройство");
    const std::size_t size = storage::xmlText(bigger).size();
    struct Row {
        std::size_t bound;
        bool written;
    };
    for (const Row row : {Row{size - 1, false}, Row{size, true}}) {
        storage::save(path, zones());
        test::LogCapture log;
        bool refused = false;
        try {
            storage::save(path, bigger, row.bound);
        } catch (const storage::TooLarge& error) {
            refused = true;
            EXPECT_NE(exception::textOf(error).find(std::to_wstring(row.bound)), std::wstring::npos);
        }
        EXPECT_EQ(refused, !row.written) << row.bound;
        Tree read;
        ASSERT_EQ(storage::readStateFile(path, read, row.bound), storage::StateFileRead::loaded) << row.bound;
        EXPECT_EQ(read, row.written ? bigger : zones()) << row.bound;
        if (!row.written) {
            EXPECT_EQ(test::readWholeFile(folder.file("zone_collection.xml")), previous);
        }
    }
}

}  // namespace
