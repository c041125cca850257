#pragma once
// The access-key page ("Ключи") of a console: its key list, learning a key from its reader,
// deleting keys and the access-control switch. While the console learns a key it is asked again
// every kCheckMs; the list is shown anew once it stops.

#include <wx/event.h>

#include <cstdint>
#include <optional>

#include "devices/TribelConfig.h"
#include "propertypanel/pages/PropertyPage.h"

namespace frm {

class PasskeyPage : public PropertyPage {
public:
    static constexpr std::uint32_t kCheckMs = 1000;

    explicit PasskeyPage(PropertyDevicePanel& panel);

    void fill() override;
    // A console still learning a key stops.
    void leave() override;
    // Cancel on any page of a console: a console still learning a key stops, and the list is shown
    // anew when this page is shown.
    void endLearning();

    void accessControlOnToggleButton(wxCommandEvent& event);
    void addPasskeyOnButtonClick(wxCommandEvent& event);
    void resetPasskeysOnButtonClick(wxCommandEvent& event);

private:
    // Reads the console's keys and shows them.
    void refreshPasskeys();
    void checkPasskeyAdding(const wchar_t* name);
    static void queueCheck(PasskeyPage* page, const PageTicket& ticket, const wchar_t* name);
    void deletePasskeyOnButtonClick(wxCommandEvent& event);
    // Writes the console's access-control setting when it differs from what it holds (as `known`
    // tells, else as it is asked), then shows the switch.
    void setAccessControl(bool on, const std::optional<device::TribelConfig>& known = std::nullopt);
    void showAccessControl(bool on);
};

}  // namespace frm
