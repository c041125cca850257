#pragma once
// Decodes an MP3 file with libmp3lame's decoder into PCM of the output module's format
// (16-bit stereo at 44100 Hz), block by block.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace audio {

// Takes one block of PCM; false stops the decoding.
using PcmSink = std::function<bool(const std::int16_t* samples, std::size_t frames)>;

// Asked between frames; true stops the decoding.
using StopCheck = std::function<bool()>;

enum class DecodeResult { done, stopped, failed };

// Decodes the file, skipping what does not decode, up to its end or to a stretch without MPEG
// audio longer than a bounded search. `failed` when the file cannot be read or no frame of it
// decodes.
DecodeResult decodeMp3File(const std::wstring& path, const PcmSink& sink,
                           const StopCheck& stopRequested = nullptr);
// Whether the file begins with MPEG audio that decodes (past a tag, within the bounded search):
// what the priority stream can play.
bool canDecodeMp3File(const std::wstring& path);

}  // namespace audio
