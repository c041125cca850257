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

enum class DecodeResult { done, stopped, failed };

// Decodes the whole file, skipping what does not decode. `failed` when the file cannot be read
// or holds no MPEG audio frame at all.
DecodeResult decodeMp3File(const std::wstring& path, const PcmSink& sink);
// Whether the file begins with MPEG audio that decodes: what the priority stream can play.
bool canDecodeMp3File(const std::wstring& path);

}  // namespace audio
