#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/TextConversion.h"
#include "support/FileSizeLimit.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

void createFile(const std::string& path, const std::string& bytes = "x") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::wstring wide(const std::string& path) {
    return base::fromUtf8(path);
}

TEST(ReadFile, ReadsRawBytesOfEveryAcceptedSize) {
    test::TempFolder folder;
    const std::string binary("a\r\nb\0\xFF", 6);
    createFile(folder.file("binary"), binary);
    createFile(folder.file("empty"), "");
    const std::string atLimit = folder.file("limit");
    createFile(atLimit, "");
    fs::resize_file(atLimit, base::kMaximumReadFileSize);

    EXPECT_EQ(base::readFile(wide(folder.file("binary"))), binary);
    EXPECT_EQ(base::readFile(wide(folder.file("empty"))), "");
    EXPECT_EQ(base::readFile(wide(atLimit)).size(), static_cast<std::size_t>(base::kMaximumReadFileSize));
}

TEST(ReadFile, RefusesAFileAboveTheLimitAndAPathThatCannotBeOpened) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::string big = folder.file("big");
    createFile(big, "");
    fs::resize_file(big, base::kMaximumReadFileSize + 1);
    const std::wstring missing = wide(folder.file("missing"));
    const struct {
        std::wstring path;
        std::wstring message;
        std::wstring logged;
    } cases[] = {
        {wide(big), L"Ошибка чтения файла", L"Ошибка чтения файла '" + wide(big) + L"'"},
        {missing, L"Получен неверный путь для чтения", L"Неверный путь '" + missing + L"' для чтения"},
        {L"", L"Получен неверный путь для чтения", L"Неверный путь '' для чтения"},
    };
    for (const auto& c : cases) {
        try {
            base::readFile(c.path);
            ADD_FAILURE() << "no exception for " << base::toUtf8(c.path);
        } catch (const exception::ExternalError& error) {
            EXPECT_EQ(error.message, c.message);
            EXPECT_EQ(error.description, c.path);
        }
        EXPECT_TRUE(log.contains(c.logged, L"IMPOR")) << base::toUtf8(c.logged);
    }
}

TEST(WriteFile, ReplacesTheFileAndKeepsItsPermissions) {
    test::TempFolder folder;
    const std::string path = folder.file("Файл.bin");
    createFile(path, "old and longer content");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    EXPECT_TRUE(base::writeFile(wide(path), std::string("new\0", 4)));

    EXPECT_EQ(test::readWholeFile(path), std::string("new\0", 4));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(test::entryNames(folder.path()), std::vector<std::string>{"Файл.bin"});
}

TEST(WriteFile, RefusesAPathInAMissingFolderOrOfAFolder) {
    test::LogCapture log;
    test::TempFolder folder;
    fs::create_directory(folder.file("taken"));
    for (const std::string& path : {folder.file("no/such.bin"), folder.file("taken")}) {
        try {
            base::writeFile(wide(path), "bytes");
            ADD_FAILURE() << "no exception for " << path;
        } catch (const exception::ExternalError& error) {
            EXPECT_EQ(error.message, L"Получен неверный путь для записи");
            EXPECT_EQ(error.description, L"");
        }
        EXPECT_TRUE(log.contains(L"Неверный путь '" + wide(path) + L"' для записи", L"ERROR")) << path;
    }
    EXPECT_TRUE(fs::is_directory(folder.file("taken")));
    EXPECT_EQ(test::entryNames(folder.path()), std::vector<std::string>{"taken"});
}

TEST(WriteFileDeathTest, WriteThatFailsOrIsKilledLeavesTheOldFile) {
    test::TempFolder folder;
    const std::string path = folder.file("state.bin");
    createFile(path, "previous");
    EXPECT_EXIT(
        {
            test::limitFileSize(100, test::OnExcess::fail);
            try {
                base::writeFile(wide(path), std::string(4096, 'n'));
            } catch (const exception::ExternalError& error) {
                std::_Exit(error.message == L"Ошибка записи в файл" ? 3 : 4);
            }
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(test::readWholeFile(path), "previous");
    EXPECT_EQ(test::entryNames(folder.path()), std::vector<std::string>{"state.bin"});

    EXPECT_EXIT(
        {
            test::limitFileSize(100, test::OnExcess::kill);
            base::writeFile(wide(path), std::string(4096, 'n'));
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(test::readWholeFile(path), "previous");
    // The killed writer's temporary file stays behind, hidden from folder listings.
    EXPECT_EQ(base::listFiles(false, folder.widePath(), L""), std::vector<std::wstring>{wide(path)});
}

TEST(ListFiles, FiltersByExtensionWithoutRegardToCase) {
    test::TempFolder folder;
    for (const char* name : {"song.MP3", "x.wav", "y.txt", "noextension", ".hidden.mp3", "sub/deep.mp3",
                             "sub/inner/deeper.Wav", "sub/.h.wav", ".hiddendir/z.mp3", "Ъ/Трек.mp3"}) {
        createFile(folder.file(name));
    }
    fs::create_directory_symlink(folder.path(), folder.file("sub/loop"));
    const auto paths = [&folder](std::initializer_list<const char*> names) {
        std::vector<std::wstring> result;
        for (const char* name : names) result.push_back(wide(folder.file(name)));
        return result;
    };
    const std::vector<std::wstring> all = paths({"noextension", "song.MP3", "x.wav", "y.txt"});
    const struct {
        bool recursive;
        const wchar_t* extensions;
        std::vector<std::wstring> expected;
    } cases[] = {
        {false, L"*.mp3;*.WAV;", paths({"song.MP3", "x.wav"})},
        {false, L"*.txt", paths({"y.txt"})},
        {false, L".log", {}},
        {false, L"*", all},
        {false, L"", all},
        {false, L"mp3", all},
        {true, L"*.mp3;*.wav",
         paths({"sub/inner/deeper.Wav", "sub/deep.mp3", "Ъ/Трек.mp3", "song.MP3", "x.wav"})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base::listFiles(c.recursive, folder.widePath(), c.extensions), c.expected)
            << base::toUtf8(c.extensions) << " recursive " << c.recursive;
    }
    // The progress hears of every folder entered and may stop the walk.
    std::vector<std::size_t> entered;
    const auto stopAtThird = [&entered](std::size_t count) {
        entered.push_back(count);
        return count < 3;
    };
    // Stopped on entering "sub/inner", before any folder's own files.
    EXPECT_TRUE(base::listFiles(true, folder.widePath(), L"*.mp3", stopAtThird).empty());
    EXPECT_EQ(entered, (std::vector<std::size_t>{1, 2, 3}));
    // A folder that is missing or is a file gives nothing.
    EXPECT_TRUE(base::listFiles(true, wide(folder.file("absent")), L"").empty());
    EXPECT_TRUE(base::listFiles(true, wide(folder.file("y.txt")), L"").empty());
}

TEST(GetFileName, DropsFolderPartsAndOptionallyTheExtension) {
    const std::tuple<const wchar_t*, bool, const wchar_t*> cases[] = {
        {L"D:\\a/b\\c.d.mp3", true, L"c.d"},
        {L"D:\\a/b\\c.d.mp3", false, L"c.d.mp3"},
        {L"/music/noextension", true, L"noextension"},
        {L"/folder/", true, L""},
        {L"/a.b/c", true, L"c"}};
    for (const auto& [path, dropExtension, name] : cases) {
        EXPECT_EQ(base::getFileName(path, dropExtension), name) << path;
    }
}

TEST(FileExistsIn, RelocatesAMovedFileToTheFolder) {
    test::TempFolder folder;
    createFile(folder.file("here.mp3"));
    createFile(folder.file("moved/gone.mp3"));
    const std::wstring here = wide(folder.file("here.mp3"));
    const struct {
        std::wstring path;
        bool exists;
        std::wstring after;
    } cases[] = {{L"", false, L""},
                 {here, true, here},
                 {L"C:\\Старая папка\\gone.mp3", true, wide(folder.file("moved/gone.mp3"))},
                 {L"/elsewhere/absent.mp3", false, L"/elsewhere/absent.mp3"}};
    for (const auto& c : cases) {
        std::wstring path = c.path;
        EXPECT_EQ(base::fileExistsIn(path, wide(folder.file("moved"))), c.exists) << base::toUtf8(c.path);
        EXPECT_EQ(path, c.after);
    }
}

}  // namespace
