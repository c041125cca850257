/* The interface between the player engine and its input plug-ins: shared objects named
 * "in_*.so" in the "@plugins" folder beside the program. A plug-in exports one C function,
 * melvox_input_plugin, that returns its description; the engine hands it the host's services,
 * among them the output module into which it writes the PCM it decodes. A plug-in plays one
 * item at a time, on threads of its own. */
#ifndef MELVOX_AUDIO_INPUT_PLUGIN_H
#define MELVOX_AUDIO_INPUT_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* Raised when the structures below change in a way that old plug-ins cannot follow. */
#define MELVOX_INPUT_PLUGIN_VERSION 1
#define MELVOX_INPUT_PLUGIN_ENTRY "melvox_input_plugin"

/* The only PCM the output module takes: signed 16-bit native-endian, interleaved. */
#define MELVOX_PCM_RATE 44100
#define MELVOX_PCM_CHANNELS 2
#define MELVOX_PCM_BITS 16

/* What a plug-in tells the host about the item it plays. */
enum melvox_input_event {
    /* The item played to its end; every sample has been written. */
    MELVOX_EVENT_ENDED = 1,
    /* The item cannot be played (not found, not audio, no answer, decoding failed). */
    MELVOX_EVENT_FAILED = 2
};

struct melvox_output_module {
    void* context;
    /* Announces the format of the samples that follow; non-zero refuses it. */
    int (*open)(void* context, int rate, int channels, int bits);
    /* Takes `bytes` bytes of PCM, waiting while the output is full; non-zero when the output
     * no longer takes samples (the item was stopped). */
    int (*write)(void* context, const void* pcm, int bytes);
};

struct melvox_input_host {
    void* context;
    const struct melvox_output_module* output;
    /* Reports an event of the item started by the last successful play; at most one event per
     * item, and none after stop has returned. Callable from any thread. */
    void (*notify)(void* context, int event);
    /* The value of `key` in the plug-in's own section of "plugins.ini", or NULL. */
    const char* (*setting)(void* context, const char* key);
    /* zlib's uncompress, for plug-ins whose formats carry compressed data. */
    int (*uncompress)(unsigned char* destination, unsigned long* destinationLength,
                      const unsigned char* source, unsigned long sourceLength);
};

struct melvox_input_plugin {
    int version;
    /* Shown in the file dialog's filter ("Audio files (libvlc)"), UTF-8. */
    const char* description;
    /* The file extensions it plays, without dots, separated by ';' ("mp3;wav"). */
    const char* extensions;
    /* The URL schemes it plays, separated by ';' ("http;https"); may be empty. */
    const char* schemes;
    /* Called once after loading; non-zero when the plug-in cannot work. The host outlives it. */
    int (*init)(const struct melvox_input_host* host);
    /* Called once before unloading, after the last stop. */
    void (*quit)(void);
    /* Starts playing a file path or URL (UTF-8); returns 0 when the item started, without waiting
     * for it to be decoded. */
    int (*play)(const char* location);
    /* Stops the item; returns once no thread of the plug-in writes to the output any more. */
    void (*stop)(void);
    void (*pause)(int paused);
    /* Milliseconds; -1 while unknown. */
    int (*get_length)(void);
    int (*get_position)(void);
};

typedef const struct melvox_input_plugin* (*melvox_input_plugin_entry)(void);

#ifdef __cplusplus
}
#endif

#endif
