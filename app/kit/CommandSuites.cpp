#include "app/kit/CommandSuites.h"

#include <algorithm>
#include <filesystem>

#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/Files.h"
#include "foundation/ProgramTables.h"
#include "foundation/TextConversion.h"

namespace frm::suites {
namespace {

std::wstring pathOf(const std::wstring& folder, const std::wstring& name) {
    if (!validName(name)) throw exception::UserError(L"Некорректное название набора", name);
    return os::joinPath(folder, name + std::wstring(kCmdSuiteFileExtension));
}

}  // namespace

std::wstring folder() {
    return os::joinPath(os::getApplicationDataDirectory(), L"commands");
}

bool validName(const std::wstring& name) {
    if (name.empty() || name.size() > 64 || name[0] == L'.') return false;
    return std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
    });
}

std::vector<std::wstring> names(const std::wstring& folder) {
    std::vector<std::wstring> found;
    if (!base::isFolder(folder)) return found;
    for (const std::wstring& path :
         base::listFiles(false, folder, L"*" + std::wstring(kCmdSuiteFileExtension)))
        found.push_back(base::getFileName(path, true));
    std::sort(found.begin(), found.end());
    return found;
}

void save(const std::wstring& folder, const std::wstring& name, const std::vector<std::wstring>& commands) {
    const std::wstring path = pathOf(folder, name);
    base::createFolders(folder);
    std::wstring text;
    for (const std::wstring& command : commands) text += command + L"\n";
    base::writeFile(path, base::toUtf8(text));
}

std::vector<std::wstring> load(const std::wstring& folder, const std::wstring& name) {
    const std::wstring text = base::fromUtf8(base::readFile(pathOf(folder, name)));
    std::vector<std::wstring> commands;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of(L"\r\n", start), text.size());
        if (end > start) commands.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return commands;
}

void remove(const std::wstring& folder, const std::wstring& name) {
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(base::toUtf8(pathOf(folder, name))), error);
    if (error) throw exception::ExternalError(L"Не удалось удалить набор", name);
}

}  // namespace frm::suites
