#include "propertypanel/pages/EqualizerArea.h"

#include <mutex>

#include "devices/VkaEqualizer.h"
#include "devices/VkbEqualizer.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/EqualizerControls.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

struct EqualizerArea::Outbox {
    // Held while one is sent, so that the loudspeaker takes them in order.
    std::mutex sending;
    std::mutex lock;
    std::shared_ptr<device::IEqualizer> pending;
};

EqualizerArea::EqualizerArea(PropertyDevicePanel& panel)
    : PagePart(panel, pages::common, panel.m_pageCommon), outbox_(std::make_shared<Outbox>()) {
    // Every final change of a slider's position is sent: the keys, the wheel and the mouse.
    panel.m_bassSlider->Bind(wxEVT_SCROLL_CHANGED, &EqualizerArea::bassOnScrollChanged, this);
    panel.m_trebleSlider->Bind(wxEVT_SCROLL_CHANGED, &EqualizerArea::trebleOnScrollChanged, this);
    for (wxSlider* band : panel.m_bands) {
        band->SetRange(-10, 0);
        band->SetValue(0);
        bandSliders_.push_back(band);
    }
}

void EqualizerArea::show(const std::shared_ptr<device::IEqualizer>& equalizer, bool bands) {
    const debug::Place place("frm::PropertyDevicePanel::updateData");
    PropertyDevicePanel& p = panel();
    equalizer_ = equalizer;
    if (bands) {
        const auto* sixBands = dynamic_cast<const device::vkb::Equalizer*>(equalizer_.get());
        if (sixBands == nullptr) {
            place.error(L"The equalizer is not suitable");
        } else if (bandSliders_.size() != device::vkb::Equalizer::bandCount) {
            place.error(L"Does not match number of bands and ratios (%1%, %2%)",
                        device::vkb::Equalizer::bandCount, bandSliders_.size());
        } else {
            for (std::size_t band = 0; band < bandSliders_.size(); ++band)
                bandSliders_[band]->SetValue(sixBands->getBands()[band]);
        }
    } else {
        const auto* tone = dynamic_cast<const device::vka::Equalizer*>(equalizer_.get());
        SetFullBassVolume(tone ? tone->word() : 0);
    }
    p.m_bassTreblePanel->Show(!bands);
    p.m_bandPanel->Show(bands);
    for (wxWindow* control :
         {static_cast<wxWindow*>(p.m_bassLabel), static_cast<wxWindow*>(p.m_bassSlider),
          static_cast<wxWindow*>(p.m_trebleLabel), static_cast<wxWindow*>(p.m_trebleSlider)})
        control->Enable();
    const bool equalizerOn = equalizer_ && equalizer_->isEnabled();
    p.m_equalizerCheck->SetValue(equalizerOn);
    p.m_equalizerArea->Enable(equalizerOn);
}

void EqualizerArea::release() {
    equalizer_.reset();
    bandSliders_.clear();
}

void EqualizerArea::SetFullBassVolume(std::uint16_t word) {
    PropertyDevicePanel& p = panel();
    const device::vka::Equalizer equalizer(word);
    const int bass = equalizer.getBands()[1];
    const int treble = equalizer.getBands()[3];
    p.m_bassSlider->SetValue(bass);
    p.m_bassSlider->SetToolTip(eq::bassTip(bass, p.m_bassSlider->GetMax()));
    p.m_trebleSlider->SetValue(treble);
    p.m_trebleSlider->SetToolTip(
        eq::trebleTip(treble, p.m_trebleSlider->GetMin(), p.m_trebleSlider->GetMax()));
}

void EqualizerArea::bassOnScrollChanged(wxScrollEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onLeftUpBassSlider");
    place.trace(L"");
    event.Skip();
    PropertyDevicePanel& p = panel();
    if (!acts() || !p.checkOnlineDevice()) return;
    const int bass = p.m_bassSlider->GetValue();
    p.m_bassSlider->SetToolTip(eq::bassTip(bass, p.m_bassSlider->GetMax()));
    const auto* tone = dynamic_cast<const device::vka::Equalizer*>(equalizer_.get());
    if (tone == nullptr) {
        place.error(L"incorrectly selected equalizer");
        return;
    }
    equalizer_ = eq::withBass(*tone, bass);
    applyEqualizerToDevices();
}

void EqualizerArea::trebleOnScrollChanged(wxScrollEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onLeftUpTrebleSlider");
    place.trace(L"");
    event.Skip();
    PropertyDevicePanel& p = panel();
    if (!acts() || !p.checkOnlineDevice()) return;
    const int treble = p.m_trebleSlider->GetValue();
    p.m_trebleSlider->SetToolTip(
        eq::trebleTip(treble, p.m_trebleSlider->GetMin(), p.m_trebleSlider->GetMax()));
    const auto* tone = dynamic_cast<const device::vka::Equalizer*>(equalizer_.get());
    if (tone == nullptr) {
        place.error(L"incorrectly selected equalizer vka");
        return;
    }
    equalizer_ = eq::withTreble(*tone, treble);
    applyEqualizerToDevices();
}

void EqualizerArea::onBandSlider(wxEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onBandSlider");
    place.trace(L"");
    event.Skip();
    PropertyDevicePanel& p = panel();
    if (!p.checkOnlineDevice()) return;
    auto* slider = dynamic_cast<wxSlider*>(event.GetEventObject());
    if (slider == nullptr) {
        place.error(L"Internal error. It is detected unknown object for action.");
        return;
    }
    slider->SetToolTip(eq::bandTip(slider->GetValue()));
    if (dynamic_cast<const device::vkb::Equalizer*>(equalizer_.get()) == nullptr) {
        place.error(L"incorrectly selected equalizer vkb");
        return;
    }
    std::vector<int> values;
    for (const wxSlider* band : bandSliders_) values.push_back(band->GetValue());
    const auto* vokar = dynamic_cast<const device::VokarInfo*>(device().get());
    debug::throwIfFalse(vokar != nullptr, "frm::PropertyDevicePanel::onBandSlider");
    equalizer_ = eq::bandEqualizer(values, p.m_equalizerCheck->GetValue(), vokar->getVersionId());
    applyEqualizerToDevices();
}

void EqualizerArea::onCheckBoxEqualizer(wxCommandEvent& event) {
    const debug::Place place("frm::PropertyDevicePanel::onCheckBoxEqualizer");
    place.trace(L"");
    PropertyDevicePanel& p = panel();
    if (!p.checkOnlineDevice()) return;
    if (!equalizer_) {
        place.error(L"Internal error. Is is null equalizer.");
        return;
    }
    const bool on = p.m_equalizerCheck->GetValue();
    p.m_equalizerArea->Enable(on);
    equalizer_->setEnabled(on);
    event.Skip();
    applyEqualizerToDevices();
}

void EqualizerArea::resetEqOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::PropertyDevicePanel::resetEqOnButtonClick").trace(L"");
    PropertyDevicePanel& p = panel();
    if (!p.checkOnlineDevice()) return;
    debug::throwIfFalse(dynamic_cast<const device::VokarInfo*>(device().get()) != nullptr,
                        "frm::PropertyDevicePanel::resetEqOnButtonClick");
    equalizer_ = eq::resetEqualizer(!p.m_bassTreblePanel->IsShown());
    applyEqualizerToDevices();
    // Read after the reset is sent.
    p.updateData();
}

void EqualizerArea::applyEqualizerToDevices() {
    debug::Place("frm::PropertyDevicePanel::applyEqualizerToDevices").trace(L"");
    debug::throwIfFalse(dynamic_cast<const device::VokarInfo*>(device().get()) != nullptr,
                        "frm::PropertyDevicePanel::applyEqualizerToDevices");
    {
        // A copy: the page goes on changing its own.
        std::lock_guard<std::mutex> guard(outbox_->lock);
        outbox_->pending = equalizer_->clone();
    }
    send(L"send the equalizer", [outbox = outbox_](const DevicePtr& device) {
        std::lock_guard<std::mutex> sending(outbox->sending);
        std::shared_ptr<device::IEqualizer> equalizer;
        {
            std::lock_guard<std::mutex> guard(outbox->lock);
            equalizer = std::move(outbox->pending);
        }
        // An earlier send took it along.
        if (!equalizer) return;
        auto* vokar = dynamic_cast<device::VokarInfo*>(device.get());
        if (vokar != nullptr && !vokar->setEqualizer(equalizer))
            debug::Place("frm::PropertyDevicePanel::applyEqualizerToDevices")
                .warn(L"Не удалось изменить настройки эквалайзера");
    });
}

}  // namespace frm
