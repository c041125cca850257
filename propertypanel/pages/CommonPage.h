#pragma once
// The common page ("Общие") of every device: its name; for a loudspeaker its equalizer (the
// equalizer area) and its line settings; for a console its type, power inputs, sounds and gong,
// with the warning of a fire console whose controls no access key locks. The name and the
// settings are written by apply; the console's options keep each other consistent while edited.

#include <wx/event.h>

#include <cstdint>
#include <optional>

#include "devices/TribelConfig.h"
#include "propertypanel/ApplyRules.h"
#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class EqualizerArea;

class CommonPage : public PropertyPage {
public:
    CommonPage(PropertyDevicePanel& panel, EqualizerArea& equalizer);

    void fill() override;
    void apply(AppliedHandler done) override;
    void deviceChanged() override;

    void changeTribelTypeOnChoice(wxCommandEvent& event);
    void singlePowerOnCheckBox(wxCommandEvent& event);

    // The legal-requirement warning of a fire console whose controls no access key locks, from
    // the console's settings; with `showMessage` the operator is also told.
    void showFireConsoleWarning(const device::TribelConfig& config, bool showMessage);

    // What the page reads of the device.
    struct Read;

private:
    void showLoudspeaker(const Read& read);
    void showConsole(const Read& read);
    // Fills the console's gong list once its fragments are read; the gong of the settings read
    // last is then selected.
    void readFragments();
    // Writes the console's options; a change of type that would drop zones is asked about, and the
    // settings are then `forced`.
    void applyConsoleOptions(const AppliedHandler& done);
    void writeConsoleOptions(const apply::ConsoleControls& controls,
                             const std::optional<device::TribelConfig>& forced, const AppliedHandler& done);

    EqualizerArea& equalizer_;
    // The console's settings and version as read last.
    device::TribelConfig console_;
    std::uint32_t consoleVersion_ = 0;
};

}  // namespace frm
