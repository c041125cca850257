#include "audio/PulseCapture.h"

#include <pthread.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <memory>
#include <vector>

#include "audio/InputPlugin.h"
#include "foundation/Place.h"
#include "foundation/TextConversion.h"

namespace audio {
namespace {

constexpr std::size_t kBlockBytes = 1152 * MELVOX_PCM_CHANNELS * MELVOX_PCM_BITS / 8;
constexpr const char* kClientName = "Melvox";

pa_simple* simple(void* stream) {
    return static_cast<pa_simple*>(stream);
}

}  // namespace

PulseCapture::~PulseCapture() {
    stop();
}

bool PulseCapture::start(const std::wstring& source, Sink sink, FailureHandler onFailure) {
    const debug::Place place("audio::PulseCapture::start");
    stop();
    const pa_sample_spec spec{PA_SAMPLE_S16NE, MELVOX_PCM_RATE, MELVOX_PCM_CHANNELS};
    // Small fragments keep the capture close to real time.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kBlockBytes;
    const std::string name = base::toUtf8(source);
    int error = 0;
    stream_ = pa_simple_new(nullptr, kClientName, PA_STREAM_RECORD, name.empty() ? nullptr : name.c_str(),
                            "capture", &spec, nullptr, &attributes, &error);
    if (stream_ == nullptr) {
        place.warn(L"Не удалось открыть устройство захвата '%1%' (%2%)", source,
                   base::fromSystem(pa_strerror(error)));
        return false;
    }
    place.info(L"Capture started: '%1%'", source);
    stopping_.store(false);
    thread_ = std::thread(
        [this, sink = std::move(sink), onFailure = std::move(onFailure)] { run(sink, onFailure); });
    return true;
}

void PulseCapture::stop() {
    stopping_.store(true);
    if (thread_.joinable()) thread_.join();
    if (stream_ != nullptr) pa_simple_free(simple(stream_));
    stream_ = nullptr;
}

void PulseCapture::run(Sink sink, FailureHandler onFailure) {
    pthread_setname_np(pthread_self(), "capture");
    std::vector<std::uint8_t> block(kBlockBytes);
    while (!stopping_.load()) {
        int error = 0;
        if (pa_simple_read(simple(stream_), block.data(), block.size(), &error) < 0) {
            debug::Place("audio::PulseCapture::run")
                .error(L"Устройство захвата недоступно (%1%)", base::fromSystem(pa_strerror(error)));
            if (onFailure) onFailure();
            return;
        }
        if (!sink(block.data(), block.size())) return;
    }
}

std::vector<std::wstring> captureSources() {
    std::vector<std::wstring> names;
    std::unique_ptr<pa_mainloop, void (*)(pa_mainloop*)> loop(pa_mainloop_new(), pa_mainloop_free);
    if (!loop) return names;
    std::unique_ptr<pa_context, void (*)(pa_context*)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), kClientName), pa_context_unref);
    if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return names;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context.get());
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(loop.get(), 1, nullptr) < 0) return names;
    }
    struct Listing {
        std::vector<std::wstring>* names;
        bool done = false;
    } listing{&names};
    pa_operation* operation = pa_context_get_source_info_list(
        context.get(),
        [](pa_context*, const pa_source_info* info, int last, void* data) {
            auto* listing = static_cast<Listing*>(data);
            if (last != 0) {
                listing->done = true;
                return;
            }
            if (info != nullptr && info->name != nullptr)
                listing->names->push_back(base::fromUtf8(info->name));
        },
        &listing);
    while (operation != nullptr && !listing.done) {
        if (pa_mainloop_iterate(loop.get(), 1, nullptr) < 0) break;
    }
    if (operation != nullptr) pa_operation_unref(operation);
    pa_context_disconnect(context.get());
    return names;
}

}  // namespace audio
