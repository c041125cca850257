// The loudspeaker's equalizer on the common page: every change goes to the device at once.

#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/EqualizerControls.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

void PropertyDevicePanel::bassOnScrollChanged(wxScrollEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onLeftUpBassSlider");
    place.trace(L"");
    event.Skip();
    if (!checkOnlineDevice()) return;
    const int bass = m_bassSlider->GetValue();
    m_bassSlider->SetToolTip(eq::bassTip(bass, m_bassSlider->GetMax()));
    const auto* tone = dynamic_cast<const device::vka::Equalizer*>(m_equalizer.get());
    if (tone == nullptr) {
        place.error(L"incorrectly selected equalizer");
        return;
    }
    m_equalizer = eq::withBass(*tone, bass);
    applyEqualizerToDevices();
}

void PropertyDevicePanel::trebleOnScrollChanged(wxScrollEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onLeftUpTrebleSlider");
    place.trace(L"");
    event.Skip();
    if (!checkOnlineDevice()) return;
    const int treble = m_trebleSlider->GetValue();
    m_trebleSlider->SetToolTip(eq::trebleTip(treble, m_trebleSlider->GetMin(), m_trebleSlider->GetMax()));
    const auto* tone = dynamic_cast<const device::vka::Equalizer*>(m_equalizer.get());
    if (tone == nullptr) {
        place.error(L"incorrectly selected equalizer vka");
        return;
    }
    m_equalizer = eq::withTreble(*tone, treble);
    applyEqualizerToDevices();
}

void PropertyDevicePanel::onBandSlider(wxEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onBandSlider");
    place.trace(L"");
    event.Skip();
    if (!checkOnlineDevice()) return;
    auto* slider = dynamic_cast<wxSlider*>(event.GetEventObject());
    if (slider == nullptr) {
        place.error(L"Internal error. It is detected unknown object for action.");
        return;
    }
    slider->SetToolTip(eq::bandTip(slider->GetValue()));
    if (dynamic_cast<const device::vkb::Equalizer*>(m_equalizer.get()) == nullptr) {
        place.error(L"incorrectly selected equalizer vkb");
        return;
    }
    std::vector<int> values;
    for (const wxSlider* band : m_bandSliders) values.push_back(band->GetValue());
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::onBandSlider");
    m_equalizer = eq::bandEqualizer(values, m_equalizerCheck->GetValue(), vokar->getVersionId());
    applyEqualizerToDevices();
}

void PropertyDevicePanel::onCheckBoxEqualizer(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onCheckBoxEqualizer");
    place.trace(L"");
    if (!checkOnlineDevice()) return;
    if (!m_equalizer) {
        place.error(L"Internal error. Is is null equalizer.");
        return;
    }
    const bool on = m_equalizerCheck->GetValue();
    m_equalizerArea->Enable(on);
    m_equalizer->setEnabled(on);
    event.Skip();
    applyEqualizerToDevices();
}

void PropertyDevicePanel::resetEqOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetEqOnButtonClick").trace(L"");
    if (!checkOnlineDevice()) return;
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::resetEqOnButtonClick");
    m_equalizer = eq::resetEqualizer(!m_bassTreblePanel->IsShown(), vokar->getVersionId());
    applyEqualizerToDevices();
    updateData();
}

void PropertyDevicePanel::applyEqualizerToDevices() {
    const debug::Place place("frm::PropertyDevicePanel::applyEqualizerToDevices");
    place.trace(L"");
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::applyEqualizerToDevices");
    if (!vokar->setEqualizer(m_equalizer)) place.warn(L"Не удалось изменить настройки эквалайзера");
}

}  // namespace frm
