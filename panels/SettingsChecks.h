#pragma once
// The checks of the texts typed into the settings dialog: addresses, ports, folders and the
// lock passwords. Each refusal is the text the operator is shown.

#include <optional>
#include <string>

namespace frm {

// The kinds of frm::checkValue.
enum CheckKind { checkAny = 0, checkIpAddress = 1, checkInteger = 2 };

// checkAny: every text. checkIpAddress: exactly four dotted numbers of at most 255 and nothing
// behind them. checkInteger: decimal digits with an optional sign that fit 32 bits. Any other
// kind is an internal fault: logged at ERROR and refused.
bool checkValue(const std::wstring& text, int kind);

// "address:port" split at the first ':'; true when the address passes checkIpAddress and the
// port checkInteger. The parts are stored also when the check fails.
bool splitAddressAndPort(const std::string& text, std::wstring& address, std::wstring& port);

// The two fields of one password box.
struct PasswordPair {
    std::wstring typed;
    std::wstring repeated;

    bool empty() const { return typed.empty() && repeated.empty(); }
};

// Whether a spin box's text is emptied: blanks only.
bool isEmptiedSpinText(const std::wstring& typed);
// The number of a spin box: its value, but the value it showed when the operator emptied it, which
// the box itself would read as 0.
int spinValue(const std::wstring& typed, int value, int shown);

// A box whose fields are both empty changes nothing and is never refused. Otherwise the fields
// must be equal and every character must have a stored form (Latin-1): a password that could
// not be stored would never match again. `title` names the box in the refusal.
std::optional<std::wstring> passwordRefusal(const PasswordPair& pair, const std::wstring& title);

// A folder field the operator left as it was shown is kept as it is, even while the folder is
// missing (an unplugged drive or an unmounted share); an emptied field means the default folder.
// A changed path must name an existing folder that the settings can hold.
std::optional<std::wstring> folderRefusal(const std::wstring& edited, const std::wstring& shown);

// A choice the operator changed (the gong, the capture device) must be one the settings can hold:
// a name with a character outside their code page would be saved empty. `what` begins the refusal.
std::optional<std::wstring> choiceRefusal(const std::wstring& chosen, const std::wstring& shown,
                                          const std::wstring& what);

}  // namespace frm
