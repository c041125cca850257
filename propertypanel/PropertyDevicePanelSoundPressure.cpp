// The sound-pressure test of the sources page: a loudspeaker plays the test tone at full volume
// for the chosen time; the button starts and ends it and follows the loudspeaker's state.

#include "app/kit/Questions.h"
#include "devices/PlaybackType.h"
#include "devices/VokarInfo.h"
#include "foundation/Place.h"
#include "foundation/ProgramTables.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {

void PropertyDevicePanel::testSoundPressureOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::PropertyDevicePanel::testSoundPressureOnButtonClick");
    place.trace(L"");
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) return;
    if (m_soundPressure->GetLabel() == wxString(kSoundPressureTestLabel.data())) {
        if (!m_questions.askYesNo(L"Внимание!",
                                  L"Запустить тест звукового давления?\nБудет подан очень громкий сигнал!"))
            return;
        const std::optional<long> seconds = m_questions.askNumber(
            L"Продолжительность теста", L"Введите время, в течение которого будет запущен тест",
            L"Время, 1-300 сек.", 15, 1, 300);
        if (!seconds) return;
        if (!vokar->testSoundPressure(static_cast<std::uint32_t>(*seconds)))
            place.warn(L"Тест не был запущен");
    } else if (!vokar->testSoundPressure(0)) {
        place.warn(L"Тест не был остановлен");
    }
    updateSoundPressureButton();
}

void PropertyDevicePanel::updateSoundPressureButton() {
    if (m_isShutdown) return;
    const auto vokar = std::dynamic_pointer_cast<device::VokarInfo>(m_device);
    if (!vokar) return;
    const bool running = vokar->isPlaybackType(device::playback::sine);
    if (running) {
        // Only the label follows the test: the page's other controls may hold unapplied edits.
        const PageTicket ticket = m_work.ticket(m_device, pages::source);
        ticket.queue(
            kSoundPressureSlot, L"GUI Sound pressure checker", 1000,
            [this, ticket](const DevicePtr&) { ticket.show([this] { updateSoundPressureButton(); }); });
    }
    const wxString label(running ? kSoundPressureTestRunningLabel.data() : kSoundPressureTestLabel.data());
    if (m_soundPressure->GetLabel() == label) return;
    m_soundPressure->SetLabel(label);
    m_pageSource->Layout();
    m_pageSource->Refresh();
}

}  // namespace frm
