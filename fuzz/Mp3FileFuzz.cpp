// Message files decoded to PCM for the priority stream: any file is decoded or refused, and what
// it gives is within what its length can hold.

#include "FuzzSupport.h"
#include "audio/Mp3FileDecoder.h"
#include "foundation/Files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring path = fuzz::scratchFile("message.mp3");
    base::writeFile(path, fuzz::text(data, size));
    std::size_t frames = 0;
    audio::decodeMp3File(path, [&](const std::int16_t* samples, std::size_t count) {
        frames += count;
        for (std::size_t i = 0; i < 2 * count; ++i) static_cast<void>(samples[i]);
        return true;
    });
    // The smallest frame (8 kbit/s at 8 kHz) carries 1152 samples in 24 bytes; at 44100 Hz that is
    // about 6400 frames, and the decoder may hold one frame of its own.
    fuzz::require(frames <= (size / 24 + 2) * 6400, "decoding gives no more than the file holds");
    audio::canDecodeMp3File(path);
    return 0;
}
