#pragma once
// The audio part of start-up and shutdown. Start-up (after the main window exists) sets up the
// common streamer and starts it unless `multicast.zeroPing` is set, then creates the player engine
// with the plug-ins of the "@plugins" folder and the player. The main window's shutdown stops what
// plays; the application's exit deletes the player and frees the engine and the streamer.

#include <string>

namespace audio {

// False (logged) when the common stream is off (`multicast.commonStream.active`); the player
// then exists but plays nothing.
bool startUp(const std::wstring& pluginFolder);
// The main window's shutdown: marks the player as closing and stops the engine and the stream.
void stopPlaying();
// The application's exit.
void shutDown();

}  // namespace audio
