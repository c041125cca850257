#pragma once
// The audio part of start-up and shutdown. Start-up (after the main window and its registry
// exist) sets up the common streamer and starts it unless `multicast.zeroPing` is set, sets up
// the priority streamer and creates the alarm channel, then creates the player engine with the
// plug-ins of the "@plugins" folder, the player and the player channel. The main window's
// shutdown ends the alarm broadcasts while the transport still runs and stops what plays; the
// application's exit deletes the channels and the player and frees the engine and the streamers.

#include <memory>
#include <string>

#include "audio/PlaybackTargets.h"

namespace device {
class DeviceCollection;
}

namespace audio {

// False (logged) when the common stream is off (`multicast.commonStream.active`); the player
// then exists but plays nothing. The registry may be null (the channels then reach no device).
bool startUp(const std::wstring& pluginFolder, std::shared_ptr<device::DeviceCollection> registry);
// Once the device collection is read: what a run that ended during a broadcast left on the
// loudspeakers of the collection is given back as they answer (see AlarmChannel).
void giveBackWhatALastRunLeft(bool collectionRead);
// The operator closed a message box that showed the text: the notice of what that run left stands
// until then (see AlarmDevices::noticeShown).
void messageBoxClosed(const std::wstring& text);
// Where both channels learn the devices selected in the main window, for the panels' buttons.
void setSelectionProvider(const frm::SelectionProvider& provider);
// Ends the alarm channel's broadcasts and waits until their loudspeakers are back on the common
// channel, and gives a service message's loudspeakers their volumes back; call before the
// transport stops.
void endBroadcasts();
// The main window's shutdown: ends the broadcasts, marks the player as closing and stops the
// engine and the stream.
void stopPlaying();
// The application's exit.
void shutDown();

}  // namespace audio
