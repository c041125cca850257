// The page "Безопасность" of the settings, opened from the main window with real clicks: once an
// administrator password is set, outside the administrator mode its password boxes and the idle
// time are disabled, a line says why, and nothing typed there is stored; in the mode a new
// administrator password is stored and is the one that opens the mode, and an emptied idle time
// keeps its value. The page is pictured in both modes.

#include <wx/app.h>
#include <wx/notebook.h>

#include "app/kit/LockRules.h"
#include "foundation/Password.h"
#include "tests/app/window/DialogControls.h"
#include "tests/app/window/WindowFixture.h"

namespace {

class SecurityPageTest : public test::WindowFixture {
protected:
    struct Seen {
        std::vector<bool> enabled;
        bool idleEnabled = false;
        bool noteShown = false;
    };
    // Opens the settings with the button, shows the page "Безопасность", pictures it, types the
    // administrator password `typed` twice into its boxes and `idle` into the idle time (disabled or
    // not, as a script could) and saves. What the page showed.
    Seen changeAdministratorPassword(const std::wstring& typed, const std::wstring& idle,
                                     const std::string& picture) {
        Seen seen;
        bool done = false;
        questions_.modal = [&](wxDialog& dialog) {
            wxTheApp->CallAfter([&] {
                auto* book = test::findControl<wxNotebook>(&dialog);
                for (std::size_t page = 0; book != nullptr && page < book->GetPageCount(); ++page) {
                    if (book->GetPageText(page) == wxT("Безопасность")) book->SetSelection(page);
                }
                const std::vector<wxTextCtrl*> fields = test::passwordFields(&dialog);
                for (wxTextCtrl* field : fields) seen.enabled.push_back(field->IsEnabled());
                const wxStaticText* note =
                    test::labelStarting(&dialog, L"Пароли и время до блокировки меняются только");
                seen.noteShown = note != nullptr && note->IsShownOnScreen();
                EXPECT_TRUE(screenshot(picture));
                if (fields.size() == 6) {
                    fields[0]->ChangeValue(typed);
                    fields[1]->ChangeValue(typed);
                }
                wxSpinCtrl* const idleTime = test::idleTimeField(&dialog);
                EXPECT_NE(idleTime, nullptr);
                if (idleTime != nullptr) {
                    seen.idleEnabled = idleTime->IsEnabled();
                    idleTime->SetValue(idle);
                }
                pressButton(&dialog, L"Сохранить");
                done = true;
            });
            return dialog.ShowModal();
        };
        clickButton(L"Настройки");
        EXPECT_TRUE(pumpUntil([&] { return done; }));
        return seen;
    }
};

TEST_F(SecurityPageTest, PasswordsChangeOnlyInTheAdministratorModeOnceOneIsSet) {
    pref::setString(setting::securityAdministrator.key, base::toUtf8(base::encodePassword(L"admin")));
    // Far longer than the test: the window never locks itself meanwhile.
    pref::setInt(setting::securityInterfaceTimeout.key, 30);
    openWindow();

    const Seen locked = changeAdministratorPassword(L"intruder", L"0", "settings_security_locked");
    EXPECT_EQ(locked.enabled, std::vector<bool>(6, false));
    EXPECT_FALSE(locked.idleEnabled);
    EXPECT_TRUE(locked.noteShown);
    EXPECT_TRUE(frm::passwordMatches(L"admin", setting::securityAdministrator));
    EXPECT_EQ(pref::getInt(setting::securityInterfaceTimeout), 30);
    questions_.passwords = {L"intruder"};
    clickButton(L"Администратор");
    EXPECT_TRUE(messageShown(L"Неверный пароль"));
    EXPECT_FALSE(frame_->isAdministrator());

    questions_.passwords = {L"admin"};
    clickButton(L"Администратор");
    ASSERT_TRUE(frame_->isAdministrator());
    const Seen open = changeAdministratorPassword(L"root", L"", "settings_security_administrator");
    EXPECT_EQ(open.enabled, std::vector<bool>(6, true));
    EXPECT_TRUE(open.idleEnabled);
    EXPECT_FALSE(open.noteShown);
    EXPECT_TRUE(frm::passwordMatches(L"root", setting::securityAdministrator));
    EXPECT_EQ(pref::getInt(setting::securityInterfaceTimeout), 30);

    // The new password is the one that opens the mode.
    clickButton(L"Администратор");
    EXPECT_FALSE(frame_->isAdministrator());
    questions_.passwords = {L"root"};
    clickButton(L"Администратор");
    EXPECT_TRUE(frame_->isAdministrator());
}

}  // namespace
