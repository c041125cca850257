#include "panels/RecordedMessages.h"

#include <unistd.h>

#include "audio/Mp3FileDecoder.h"
#include "audio/PlaceFolders.h"
#include "audio/PlaybackTrack.h"
#include "foundation/DataFolders.h"
#include "foundation/FileMove.h"
#include "foundation/Files.h"
#include "foundation/Place.h"
#include "foundation/SocketErrors.h"
#include "foundation/TextConversion.h"
#include "panels/MicrophoneRules.h"

namespace frm {
namespace {

constexpr const wchar_t* kRecordings = L"*.mp3";
constexpr const wchar_t* kExtension = L".mp3";

std::wstring withSeparator(std::wstring folder) {
    if (folder.empty() || folder.back() != os::pathSeparator().back()) folder += os::pathSeparator();
    return folder;
}

// As the folder listing names it, so that the message and schedule checks compare alike.
std::wstring recordingPath(const std::wstring& folder, const std::wstring& title) {
    return withSeparator(folder) + title + kExtension;
}

}  // namespace

std::wstring recordDirectory() {
    return withSeparator(audio::recordedMessageFolder());
}

std::wstring temporaryRecording() {
    return os::joinPath(os::getTempDirectory(), L"melvox_record.mp3");
}

std::vector<std::wstring> recordedTitles(const std::wstring& folder) {
    std::vector<std::wstring> titles;
    for (const std::wstring& path : base::listFiles(false, folder, kRecordings))
        titles.push_back(base::getFileName(path, true));
    return titles;
}

std::vector<std::shared_ptr<IPlayback>> recordedPlaybacks() {
    std::vector<std::shared_ptr<IPlayback>> playbacks;
    for (const std::wstring& path : base::listFiles(false, recordDirectory(), kRecordings)) {
        // Only what the priority stream can play is offered to the schedule.
        if (!audio::canDecodeMp3File(path)) continue;
        const std::wstring title = base::getFileName(path, true);
        auto track = std::make_shared<PlaybackTrack>(title, PlaybackTrack::kRecordedMessage, false);
        track->setMessage(title, path);
        playbacks.push_back(track);
    }
    return playbacks;
}

bool saveRecording(const std::wstring& title, const std::wstring& folder, const std::wstring& recording) {
    const debug::Place place("frm::SourceMicrophonePanel::buttonRecordSaveOnClick");
    if (title.empty()) {
        place.notice(L"Введите название записи");
        return false;
    }
    if (!isRecordTitleAllowed(title)) {
        place.notice(
            L"Название записи '%1%' не может быть именем файла: уберите из него символы / и \\, "
            L"управляющие символы и точку в начале",
            title);
        return false;
    }
    if (!base::isFolder(folder) && base::createFolders(folder)) {
        place.notice(L"Не верно указана папка назначения");
        return false;
    }
    const std::wstring target = recordingPath(folder, title);
    const std::error_code error = base::moveToNewFile(recording, target);
    if (error == std::errc::file_exists) {
        place.warn(
            L"Файл с таким именем уже существует.\nЕсли необходимо заменить запись, удалите старую "
            L"(кнопка delete на клавиатуре)");
        return false;
    }
    if (error) {
        place.error(L"Не удалось сохранить запись");
        place.debug(L"'%1%' -> '%2%': %3%", recording, target, os::errorText(error.value()));
        return false;
    }
    place.info(L"The recording is saved as '%1%'", target);
    return true;
}

bool deleteRecording(const std::wstring& title, const std::wstring& folder, const RecordingUsers& users) {
    const debug::Place place("frm::SourceMicrophonePanel::deleteSelectedItems");
    const std::wstring path = recordingPath(folder, title);
    const bool service = users.serviceMessage && users.serviceMessage(path);
    if (service || (users.alarmMessage && users.alarmMessage(path))) {
        place.notice(L"Невозможно удалить сообщение '%1%', т.к. используется в %2% оповещениях", title,
                     service ? L"служебных" : L"тревожных");
        return false;
    }
    if (users.schedule && users.schedule(path)) {
        place.notice(L"Невозможно удалить сообщение '%1%', т.к. входит в задание", title);
        return false;
    }
    if (::unlink(base::toUtf8(path).c_str()) != 0)
        place.warn(L"Не удалось удалить запись '%1%'", title + kExtension);
    return true;
}

}  // namespace frm
