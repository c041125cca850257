#include "propertypanel/EqualizerControls.h"

#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarVersion.h"
#include "foundation/Exceptions.h"

namespace frm::eq {
namespace {

// The first generation whose firmware takes the six bands in full.
constexpr std::int32_t kFullBandsVersion = device::vokarB_1_01_63;

std::shared_ptr<device::IEqualizer> toneEqualizer(int bass, int treble, bool on) {
    auto equalizer = std::make_shared<device::vka::Equalizer>(treble, bass, treble, treble);
    equalizer->setEnabled(on);
    return equalizer;
}

int percent(int value, int end) {
    return end == 0 ? 0 : value * 100 / end;
}

}  // namespace

std::wstring bassTip(int bass, int maximum) {
    return L"Громкость басса " + std::to_wstring(percent(bass, maximum)) + L"%";
}

std::wstring trebleTip(int treble, int minimum, int maximum) {
    return L"Громкость высоких частот " + std::to_wstring(percent(treble, treble < 0 ? -minimum : maximum)) +
           L"%";
}

std::wstring bandTip(int value) {
    return std::to_wstring(value) + L" дБ";
}

std::shared_ptr<device::IEqualizer> withBass(const device::vka::Equalizer& current, int bass) {
    return toneEqualizer(bass, current.getBands()[3], current.isEnabled());
}

std::shared_ptr<device::IEqualizer> withTreble(const device::vka::Equalizer& current, int treble) {
    return toneEqualizer(current.getBands()[1], treble, current.isEnabled());
}

std::shared_ptr<device::IEqualizer> bandEqualizer(const std::vector<int>& values, bool on,
                                                  std::int32_t versionId) {
    if (values.size() != device::vkb::Equalizer::bandCount)
        throw exception::InternalError(L"Не соответствует количеству полос эквалайзера");
    auto equalizer = std::make_shared<device::vkb::Equalizer>(on, versionId < kFullBandsVersion);
    for (std::uint32_t band = 0; band < values.size(); ++band) equalizer->setBands(band, values[band]);
    return equalizer;
}

std::shared_ptr<device::IEqualizer> resetEqualizer(bool bands) {
    if (bands) return std::make_shared<device::vkb::Equalizer>(true, false);
    return std::make_shared<device::vka::Equalizer>(15, 0, 2, 0);
}

}  // namespace frm::eq
