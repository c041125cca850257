#include "panels/LogFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "foundation/Files.h"
#include "foundation/TextConversion.h"

namespace frm {

std::vector<std::wstring> logDates(const std::wstring& folder) {
    std::vector<std::wstring> dates;
    for (const std::wstring& path : base::listFiles(false, folder, L"*.log"))
        dates.push_back(base::getFileName(path, true));
    std::sort(dates.begin(), dates.end());
    return dates;
}

LogFileText readLogFile(const std::wstring& path) {
    LogFileText result;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(base::toUtf8(path), error);
    if (status.type() == std::filesystem::file_type::not_found) return result;
    std::ifstream file(base::toUtf8(path), std::ios::binary);
    if (error || !std::filesystem::is_regular_file(status) || !file) {
        result.status = LogFileText::unreadable;
        return result;
    }
    std::string bytes(kLogViewLimit, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        result.status = LogFileText::unreadable;
        return result;
    }
    const auto size = static_cast<std::size_t>(file.gcount());
    if (size >= kLogViewLimit) {
        result.status = LogFileText::tooLarge;
        return result;
    }
    bytes.resize(size);
    result.status = LogFileText::loaded;
    result.text = base::fromUtf8(bytes);
    return result;
}

}  // namespace frm
