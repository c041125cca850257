#include "propertypanel/pages/CommonPage.h"

#include <memory>
#include <vector>

#include "app/kit/Questions.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/IAudioControl.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Checks.h"
#include "foundation/Place.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/ChoiceData.h"
#include "propertypanel/ConsoleType.h"
#include "propertypanel/DeviceTraits.h"
#include "propertypanel/PageFill.h"
#include "propertypanel/PageTabs.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "propertypanel/pages/EqualizerArea.h"

namespace frm {

struct CommonPage::Read {
    std::shared_ptr<device::IEqualizer> equalizer;
    device::VokarConfig loudspeaker;
    device::TribelConfig console;
    std::uint32_t consoleVersion = 0;
};

namespace {

constexpr std::size_t kSettingsSlot = 0;
constexpr std::size_t kFragmentsSlot = 1;

const wchar_t* const kFireConsoleWarning =
    L"Согласно действующих нормативно-правовых актов (НПА),\nдоступ к органам управления пожарной консоли "
    L"необходимо заблокировать\n(включите контроль доступа)";

std::optional<std::uint32_t> selectionOf(const wxChoice* choice) {
    const int selection = choice->GetSelection();
    if (selection < 0) return std::nullopt;
    return static_cast<std::uint32_t>(selection);
}

// A console's settings write: the settings written, whether the registry took them, and the
// settings afterwards.
struct ConsoleWrite {
    device::TribelConfig config;
    bool written = false;
    std::optional<device::TribelConfig> after;
};

}  // namespace

CommonPage::CommonPage(PropertyDevicePanel& panel, EqualizerArea& equalizer)
    // The settings wait for their read; the direct command exchange beside them does not, nor does
    // the line measurement, which needs nothing the read gives. (Making the exchange's multi-line
    // reply box insensitive as the panel first shows crashes the toolkit.)
    : PropertyPage(panel, pages::common,
                   {panel.m_equalizerCheck, panel.m_equalizerArea, panel.m_lineTest, panel.m_lineMode,
                    panel.m_tribelPanel}),
      equalizer_(equalizer) {
    panel.m_tribelWarning->Hide();
}

void CommonPage::fill() {
    PropertyDevicePanel& p = panel();
    const DevicePtr shown = device();
    const DeviceTraits traits = traitsOf(*shown);
    const fill::CommonPage view = fill::commonPage(traits);
    p.m_testDevice->Enable(view.deviceTestEnabled);
    p.m_nameLabel->Enable();
    p.m_name->Enable();
    p.m_name->ChangeValue(shown->getDisplayName());
    p.m_equalizerCheck->Show(view.equalizerShown);
    p.m_equalizerArea->Show(view.equalizerShown);
    p.m_pageCommon->GetSizer()->Show(p.m_lineSettingsBox, view.lineSettingsShown, true);
    p.m_tribelPanel->Show(view.consoleShown);
    const bool loudspeaker = traits.compatible && traits.loudspeaker;
    const bool console = traits.compatible && traits.console;
    if (loudspeaker || console) {
        await();
        read<Read>(
            kSettingsSlot, L"read the common settings",
            [](const DevicePtr& device) {
                Read read;
                if (auto* vokar = dynamic_cast<device::VokarInfo*>(device.get())) {
                    read.equalizer = vokar->getEqualizer();
                    read.loudspeaker = vokar->getConfig(false);
                } else if (auto* tribel = dynamic_cast<device::TribelInfo*>(device.get())) {
                    read.console = tribel->getConfig(false);
                    read.consoleVersion = tribel->getVersionId();
                }
                return read;
            },
            [this, &p, loudspeaker](const Read& read) {
                ready();
                if (loudspeaker) {
                    showLoudspeaker(read);
                } else {
                    showConsole(read);
                }
                p.m_pageCommon->Layout();
                p.m_pageCommon->Refresh();
            });
    }
    p.m_pageCommon->Layout();
    p.m_pageCommon->Refresh();
}

void CommonPage::showLoudspeaker(const Read& read) {
    debug::Place("frm::PropertyDevicePanel::updateData").trace(L"select a megaphone");
    PropertyDevicePanel& p = panel();
    const fill::CommonPage view = fill::commonPage(traitsOf(*device()));
    equalizer_.show(read.equalizer, view.bandEqualizer);
    p.m_lineTest->Enable(view.lineSettingsEnabled);
    p.m_lineMode->Enable(view.lineSettingsEnabled);
    p.m_lineMode->SetSelection(read.loudspeaker.lineDoubleOff ? 0 : 1);
    p.m_lineTest->SetValue(read.loudspeaker.lineTest);
}

void CommonPage::showConsole(const Read& read) {
    debug::Place("frm::PropertyDevicePanel::updateData").trace(L"select a microphone console");
    PropertyDevicePanel& p = panel();
    console_ = read.console;
    consoleVersion_ = read.consoleVersion;
    p.m_bassTreblePanel->Hide();
    p.m_bandPanel->Hide();
    // The gong list comes from the memory, read next; until it arrives it is empty and disabled, and
    // apply keeps the configured gong.
    const fill::ConsoleOptions options = fill::consoleOptions(console_, consoleVersion_, 0);
    p.m_keySound->SetValue(options.keySound);
    p.m_singlePower->SetValue(options.singlePower);
    p.m_singlePower->Enable(options.singlePowerEnabled);
    p.m_analogInput->SetValue(options.analogInput);
    p.m_analogInput->Enable(options.analogInputEnabled);
    p.m_faultSound->SetValue(options.faultSound);
    p.m_faultSound->Enable(options.faultSoundEnabled);
    p.m_zoneIndication->SetValue(options.zoneIndication);
    p.m_holdToTalk->SetValue(options.holdToTalk);
    p.m_holdToTalk->Enable(options.holdToTalkEnabled);
    p.m_tribelType->SetSelection(options.type);
    p.m_typePriority->SetValue(options.typePriority);
    p.m_powerInput1->SetSelection(options.powerInput1);
    p.m_powerInput2->SetSelection(options.powerInput2);
    p.m_powerInput2->Enable(options.powerInput2Enabled);
    p.m_gongCombo->Clear();
    p.m_gongCombo->Enable(false);
    p.m_useGong->SetValue(options.useGong);
    p.m_useGong->Enable(false);
    showFireConsoleWarning(console_, false);
    readFragments();
}

void CommonPage::readFragments() {
    PropertyDevicePanel& p = panel();
    read<std::vector<device::memory::FragmentEntry>>(
        kFragmentsSlot, L"read the console's fragments",
        [](const DevicePtr& device) {
            std::vector<device::memory::FragmentEntry> fragments;
            if (const auto memory = device->getAudioMemory(false, false)) fragments = memory->getFragments();
            return fragments;
        },
        [this, &p](const std::vector<device::memory::FragmentEntry>& fragments) {
            const fill::ConsoleOptions options =
                fill::consoleOptions(console_, consoleVersion_, static_cast<int>(fragments.size()));
            for (const device::memory::FragmentEntry& fragment : fragments)
                p.m_gongCombo->Append(
                    wxString::Format(L"%u - %ls", unsigned(fragment.order), fragment.name.c_str()),
                    itemData(fragment.id));
            p.m_gongCombo->SetSelection(options.gong);
            p.m_gongCombo->Enable(options.gongEnabled);
            p.m_useGong->Enable(options.gongEnabled);
        });
}

void CommonPage::deviceChanged() {
    // Until the new device's settings are read.
    panel().m_tribelWarning->Hide();
    panel().m_pageCommon->Layout();
}

void CommonPage::showFireConsoleWarning(const device::TribelConfig& config, bool showMessage) {
    const bool unlocked = config.fireConsole && !config.passkey;
    panel().m_tribelWarning->Show(unlocked);
    if (unlocked && showMessage)
        debug::Place("frm::PropertyDevicePanel::checkTribelConfig")
            .warn(L"%1%", std::wstring(kFireConsoleWarning));
    panel().m_pageCommon->Layout();
}

void CommonPage::changeTribelTypeOnChoice(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::changeTribelTypeOnChoice").trace(L"");
    PropertyDevicePanel& p = panel();
    debug::throwIfFalse(dynamic_cast<device::TribelInfo*>(device().get()) != nullptr,
                        "frm::PropertyDevicePanel::changeTribelTypeOnChoice");
    // The console's values as it reported them last.
    const console::TypeOptions options =
        console::typeChanged(p.m_tribelType->GetSelection() != 0, console_, consoleVersion_);
    p.m_singlePower->SetValue(options.singlePower);
    p.m_singlePower->Enable(options.singlePowerEnabled);
    p.m_faultSound->SetValue(options.faultSound);
    p.m_faultSound->Enable(options.faultSoundEnabled);
    p.m_analogInput->SetValue(options.analogInput);
    p.m_analogInput->Enable(options.analogInputEnabled);
    p.m_holdToTalk->SetValue(options.holdToTalk);
    p.m_holdToTalk->Enable(options.holdToTalkEnabled);
    p.m_powerInput2->Enable(options.powerInput2Enabled);
    p.enableApplyButtons(true);
    event.Skip();
}

void CommonPage::singlePowerOnCheckBox(wxCommandEvent& event) {
    debug::Place("frm::PropertyDevicePanel::singlePowerOnCheckBox").trace(L"");
    panel().m_powerInput2->Enable(!panel().m_singlePower->GetValue());
    panel().enableApplyButtons(true);
    event.Skip();
}

void CommonPage::apply(AppliedHandler done) {
    PropertyDevicePanel& p = panel();
    const DevicePtr shown = device();
    const std::wstring name = p.m_name->GetValue().ToStdWstring();
    if (name != shown->getDisplayName()) {
        debug::Place("frm::PropertyDevicePanel::applyOnButtonClick")
            .info(L"rename device, old name '%1%', new name '%2%'", shown->getDisplayName(), name);
        shown->setTitle(name);
        p.m_deviceName->SetLabel(shown->getDisplayName());
        p.runUpdateCallback();
    }
    if (dynamic_cast<device::VokarInfo*>(shown.get())) {
        const int lineMode = p.m_lineMode->GetSelection();
        const bool lineTest = p.m_lineTest->GetValue();
        write<Applied>(
            L"write the line settings",
            [lineMode, lineTest](const DevicePtr& device) {
                auto& vokar = dynamic_cast<device::VokarInfo&>(*device);
                Applied applied;
                applied.closeAfterwards =
                    vokar.setConfig(apply::loudspeakerCommon(vokar.getConfig(true), lineMode, lineTest));
                return applied;
            },
            [done](const Applied& applied) { done(applied); });
    } else if (dynamic_cast<device::TribelInfo*>(shown.get())) {
        applyConsoleOptions(done);
    } else {
        done(Applied());
    }
}

void CommonPage::applyConsoleOptions(const AppliedHandler& done) {
    const PropertyDevicePanel& p = panel();
    apply::ConsoleControls controls;
    if (const auto gong = selectedData(*p.m_gongCombo)) controls.gongId = static_cast<std::uint16_t>(*gong);
    controls.gong = p.m_useGong->GetValue();
    controls.keySound = p.m_keySound->GetValue();
    controls.faultSound = p.m_faultSound->GetValue();
    controls.singlePower = p.m_singlePower->GetValue();
    controls.analogInput = p.m_analogInput->GetValue();
    controls.zoneIndication = p.m_zoneIndication->GetValue();
    controls.holdToTalk = p.m_holdToTalk->GetValue();
    controls.type = p.m_tribelType->GetSelection();
    controls.typePriority = p.m_typePriority->GetValue();
    controls.powerInput1 = selectionOf(p.m_powerInput1);
    controls.powerInput2 = selectionOf(p.m_powerInput2);
    writeConsoleOptions(controls, std::nullopt, done);
}

void CommonPage::writeConsoleOptions(const apply::ConsoleControls& controls,
                                     const std::optional<device::TribelConfig>& forced,
                                     const AppliedHandler& done) {
    device::DeviceCollection& registry = panel().registry();
    write<ConsoleWrite>(
        forced ? L"write the console's settings by force" : L"write the console's settings",
        [&registry, controls, forced](const DevicePtr& device) {
            const auto console = std::dynamic_pointer_cast<device::TribelInfo>(device);
            ConsoleWrite result;
            result.config = forced ? *forced : apply::consoleConfig(console->getConfig(false), controls);
            result.written = registry.setTribelConfig(console, result.config, forced.has_value());
            if (console->isOnlineAndResponding()) result.after = console->getConfig(false);
            return result;
        },
        [this, controls, forced, done](const ConsoleWrite& result) {
            PropertyDevicePanel& p = panel();
            if (!result.written && !forced &&
                p.questions().ask({L"Сообщение",
                                   L"При переключении на консоль вещания будут удалены зоны с запуском "
                                   L"сообщений, продолжить?",
                                   Questions::Question::Buttons::okCancel})) {
                writeConsoleOptions(controls, result.config, done);
                return;
            }
            if (result.after) {
                showFireConsoleWarning(*result.after, false);
            } else {
                p.m_tribelWarning->Hide();
            }
            p.m_pageCommon->Layout();
            p.m_pageCommon->Refresh();
            Applied applied;
            applied.success = result.written;
            done(applied);
        });
}

}  // namespace frm
