#pragma once
// The recorded messages: MP3 files in the record folder, each named by its title, made from the
// microphone. A recording is made into a file of the per-user temporary folder and saved under a
// title, never over another recording; one that a message or a scheduled task uses is never
// deleted. The refusals are logged with the texts the operator sees.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/IPlayback.h"

namespace frm {

// `place.pathDirRecordedMessage`, or the data folder's "record", ending with the separator.
std::wstring recordDirectory();
// Where the microphone is recorded until the recording is saved.
std::wstring temporaryRecording();

// The titles of the recordings in the folder, in the order of the listing.
std::vector<std::wstring> recordedTitles(const std::wstring& folder);
// A recorded-message playback (kind 3, no gong) for each recording of the record folder that
// the priority stream decodes.
std::vector<std::shared_ptr<IPlayback>> recordedPlaybacks();

// Saves the recording under the title in the folder (created when missing). False, logged, when
// the title is empty or not allowed, the folder cannot be made, the title is taken or the move
// fails.
bool saveRecording(const std::wstring& title, const std::wstring& folder, const std::wstring& recording);

// Whether a message of the service or the alarm panel, or a scheduled task, plays a file. An
// unset check has no users to ask.
struct RecordingUsers {
    std::function<bool(const std::wstring& path)> serviceMessage;
    std::function<bool(const std::wstring& path)> alarmMessage;
    std::function<bool(const std::wstring& path)> schedule;
};
// Removes the recording of the title from the folder unless something uses it. True when its
// list item goes: the file was removed or could not be (logged); false when it is kept (logged).
bool deleteRecording(const std::wstring& title, const std::wstring& folder, const RecordingUsers& users);

}  // namespace frm
