#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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

TEST(ReadFile, RefusesFileOneByteAboveTheLimit) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::string path = folder.file("big");
    createFile(path, "");
    fs::resize_file(path, base::kMaximumReadFileSize + 1);
    try {
        base::readFile(wide(path));
        FAIL() << "no exception";
    } catch (const exception::ExternalError& error) {
        EXPECT_EQ(error.message, L"Ошибка чтения файла");
        EXPECT_EQ(error.description, wide(path));
    }
    EXPECT_TRUE(log.contains(L"Ошибка чтения файла '" + wide(path) + L"'", L"IMPOR"));
}

TEST(ReadFile, RefusesPathThatCannotBeOpened) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::wstring path = wide(folder.file("missing"));
    for (const std::wstring& bad : {path, std::wstring()}) {
        try {
            base::readFile(bad);
            FAIL() << "no exception";
        } catch (const exception::ExternalError& error) {
            EXPECT_EQ(error.message, L"Получен неверный путь для чтения");
            EXPECT_EQ(error.description, bad);
        }
    }
    EXPECT_TRUE(log.contains(L"Неверный путь '" + path + L"' для чтения", L"IMPOR"));
}

TEST(WriteFile, ReplacesTheFileAndKeepsItsPermissions) {
    test::TempFolder folder;
    const std::string path = folder.file("Файл.bin");
    createFile(path, "old and longer content");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    EXPECT_TRUE(base::writeFile(wide(path), std::string("new\0", 4)));

    EXPECT_EQ(test::readWholeFile(path), std::string("new\0", 4));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"Файл.bin"});
}

TEST(WriteFile, RefusesPathInMissingFolder) {
    test::LogCapture log;
    test::TempFolder folder;
    const std::string path = folder.file("no/such.bin");
    try {
        base::writeFile(wide(path), "bytes");
        FAIL() << "no exception";
    } catch (const exception::ExternalError& error) {
        EXPECT_EQ(error.message, L"Получен неверный путь для записи");
        EXPECT_EQ(error.description, L"");
    }
    EXPECT_TRUE(entriesOf(folder.path()).empty());
    EXPECT_TRUE(log.contains(L"Неверный путь '" + wide(path) + L"' для записи", L"ERROR"));
}

TEST(WriteFile, RefusesPathThatIsAFolder) {
    test::TempFolder folder;
    fs::create_directory(folder.file("taken"));
    EXPECT_THROW(base::writeFile(wide(folder.file("taken")), "bytes"), exception::ExternalError);
    EXPECT_TRUE(fs::is_directory(folder.file("taken")));
    EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"taken"});
}

TEST(WriteFileDeathTest, ProcessKilledDuringTheWriteLeavesTheOldFile) {
    test::TempFolder folder;
    const std::string path = folder.file("state.bin");
    createFile(path, "previous");
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

TEST(WriteFileDeathTest, FailedWriteThrowsAndLeavesTheOldFile) {
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
    EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"state.bin"});
}

class ListFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"song.MP3", "x.wav", "y.txt", "noextension", ".hidden.mp3", "sub/deep.mp3",
                                 "sub/inner/deeper.Wav", "sub/.h.wav", ".hiddendir/z.mp3", "Ъ/Трек.mp3"}) {
            createFile(folder.file(name));
        }
        fs::create_directory_symlink(folder.path(), folder.file("sub/loop"));
    }

    std::vector<std::wstring> paths(std::initializer_list<const char*> names) const {
        std::vector<std::wstring> result;
        for (const char* name : names) result.push_back(wide(folder.file(name)));
        return result;
    }

    test::TempFolder folder;
};

TEST_F(ListFiles, FiltersByExtensionWithoutRegardToCase) {
    struct Case {
        bool recursive;
        const wchar_t* extensions;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {false, L"*.mp3;*.WAV;", paths({"song.MP3", "x.wav"})},
        {false, L"*.txt", paths({"y.txt"})},
        {false, L".log", {}},
        {false, L"*", paths({"noextension", "song.MP3", "x.wav", "y.txt"})},
        {false, L"", paths({"noextension", "song.MP3", "x.wav", "y.txt"})},
        {false, L"mp3", paths({"noextension", "song.MP3", "x.wav", "y.txt"})},
        {true, L"*.mp3;*.wav",
         paths({"sub/inner/deeper.Wav", "sub/deep.mp3", "Ъ/Трек.mp3", "song.MP3", "x.wav"})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base::listFiles(c.recursive, folder.widePath(), c.extensions), c.expected)
            << base::toUtf8(c.extensions) << " recursive " << c.recursive;
    }
}

TEST_F(ListFiles, MissingFolderGivesNothing) {
    EXPECT_TRUE(base::listFiles(true, wide(folder.file("absent")), L"").empty());
    EXPECT_TRUE(base::listFiles(true, wide(folder.file("y.txt")), L"").empty());
}

TEST(GetFileName, DropsFolderPartsAndOptionallyTheExtension) {
    struct Case {
        const wchar_t* path;
        bool dropExtension;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"D:\\a/b\\c.d.mp3", true, L"c.d"},
        {L"D:\\a/b\\c.d.mp3", false, L"c.d.mp3"},
        {L"/music/noextension", true, L"noextension"},
        {L"name.mp3", true, L"name"},
        {L"/folder/", true, L""},
        {L"/a.b/c", true, L"c"},
    };
    for (const Case& c : cases) EXPECT_EQ(base::getFileName(c.path, c.dropExtension), c.expected) << c.path;
}

TEST(FileExistsIn, RelocatesAMovedFileToTheFolder) {
    test::TempFolder folder;
    createFile(folder.file("here.mp3"));
    createFile(folder.file("moved/gone.mp3"));
    const std::wstring moved = wide(folder.file("moved"));

    std::wstring path;
    EXPECT_FALSE(base::fileExistsIn(path, moved));

    path = wide(folder.file("here.mp3"));
    EXPECT_TRUE(base::fileExistsIn(path, moved));
    EXPECT_EQ(path, wide(folder.file("here.mp3")));

    path = L"C:\\Старая папка\\gone.mp3";
    EXPECT_TRUE(base::fileExistsIn(path, moved));
    EXPECT_EQ(path, wide(folder.file("moved/gone.mp3")));

    path = L"/elsewhere/absent.mp3";
    EXPECT_FALSE(base::fileExistsIn(path, moved));
    EXPECT_EQ(path, L"/elsewhere/absent.mp3");
}

}  // namespace
