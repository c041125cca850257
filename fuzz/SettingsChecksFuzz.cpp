// The settings dialog's checks and what it saves: the value checks by kind, an address with its
// port, the password boxes and the folder fields, and the form written when nothing was refused.
// What a check lets through is what the program then reads: a number passes when it is a 32-bit
// number, an address when it is four dotted numbers; a password that passes is stored in a form
// that matches it again; and the settings written read back, after a restart, as the form held
// them.
//
// The input: a byte of choices (administrator, alarm buttons, the folder field, the password box),
// the log level, two bytes of the base port, the TTL, the idle minutes and the two volumes, then the texts
// separated by 0x1F: the multicast address, a folder (made in a scratch folder unless it begins with '/'),
// the gong, the capture device, the typed and the repeated password. A text box never holds a NUL, so none
// reaches the form.

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>

#include "FuzzSupport.h"
#include "foundation/DataFolders.h"
#include "foundation/Files.h"
#include "foundation/NetworkAddress.h"
#include "foundation/Password.h"
#include "foundation/Settings.h"
#include "foundation/TextConversion.h"
#include "panels/SettingsForm.h"
#include "support/DataRoot.h"

namespace {

using frm::SettingsForm;

constexpr std::size_t kHeader = 7;

std::wstring typed(const std::string& bytes) {
    std::wstring text = base::fromUtf8(bytes);
    text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
    return text;
}

// A plain reading of a 32-bit decimal number, sign allowed.
bool isInt32(const std::string& text) {
    const std::size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (digits == text.size()) return false;
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto read = std::from_chars(text.data() + digits, end, value);
    if (read.ec != std::errc() || read.ptr != end || text[digits] == '-') return false;
    if (text[0] == '-') value = -value;
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

void checkValues(const std::wstring& text) {
    const std::string narrow = base::narrow(text);
    fuzz::require(frm::checkValue(text, frm::checkInteger) == isInt32(narrow),
                  "a number passes when it is a 32-bit number");
    if (frm::checkValue(text, frm::checkIpAddress)) {
        // Four zeros are the empty address, which the program reads as none.
        const bool empty = narrow.find_first_not_of("0.") == std::string::npos;
        fuzz::require((empty || net::Ip4Address(narrow).isValid()) &&
                          std::count(narrow.begin(), narrow.end(), '.') == 3,
                      "an address that passes is four dotted numbers");
    }
    std::wstring address;
    std::wstring port;
    if (frm::splitAddressAndPort(narrow, address, port))
        fuzz::require(base::narrow(address + L":" + port) == narrow,
                      "an address and port are the whole text");
}

void checkPassword(const frm::PasswordPair& pair) {
    if (frm::passwordRefusal(pair, L"Пароль") || pair.empty()) return;
    fuzz::require(pair.typed == pair.repeated && !pair.typed.empty(),
                  "a password passes when both boxes agree");
    const std::wstring stored = base::toHexSpaced(pair.typed);
    fuzz::require(base::decodePassword(base::widen(base::narrow(stored))) == pair.typed,
                  "a password that passes is stored in a form that matches it");
}

// The form the operator leaves, from the input.
SettingsForm edited(const SettingsForm& opened, std::uint8_t choices, const std::uint8_t* header,
                    const std::vector<std::string>& texts, const std::string& scratch) {
    SettingsForm form = opened;
    form.logLevel = header[0] % 8 < 5 ? SettingsForm::kLogLevels[header[0] % 8] : opened.logLevel;
    form.basePort = header[1] | header[2] << 8;
    form.ttl = header[3];
    form.idleMinutes = header[4];
    form.serviceVolume = header[5] % 101;
    form.microphoneVolume = header[6] % 101;
    form.multicastAddress = typed(texts[0]);
    std::wstring folder = typed(texts[1]);
    if (!folder.empty() && folder.front() != L'/') {
        const std::wstring made = base::fromUtf8(scratch) + L"/" + folder;
        std::error_code ignored;
        std::filesystem::create_directories(base::toUtf8(made), ignored);
        folder = made;
    }
    form.folders[choices >> 2 & 3] = folder;
    form.gongFile = typed(texts[2]);
    form.captureDevice = typed(texts[3]);
    form.passwords[(choices >> 4) % SettingsForm::passwordCount] = {typed(texts[4]), typed(texts[5])};
    return form;
}

// The settings file of a first start, installed as the program's.
void installSettings(bool fresh) {
    delete pref::instanceSlot().release();
    if (fresh) std::filesystem::remove(base::toUtf8(pref::defaultPath()));
    pref::instanceSlot().install(pref_init(pref::defaultPath()));
}

void saveSettings() {
    base::SingletonSlot<pref>::Use store(pref::instanceSlot());
    fuzz::require(store->save(), "the settings are saved");
}

std::wstring storedPassword(int box) {
    static const setting::Text keys[] = {setting::securityAdministrator, setting::securityPlaybackAlarm,
                                         setting::securityInterface};
    return base::decodePassword(base::widen(pref::getString(keys[box])));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const test::DataRoot root;
    if (size < kHeader + 1) return 0;
    const std::uint8_t* header = data + 1;
    const bool administrator = (data[0] & 1) != 0;
    std::vector<std::string> texts =
        fuzz::pieces(fuzz::text(data + 1 + kHeader, size - 1 - kHeader), '\x1F', 6);
    texts.resize(6);

    for (const std::string& text : texts) checkValues(typed(text));
    checkPassword({typed(texts[4]), typed(texts[5])});

    fuzz::clearScratch();
    installSettings(true);
    pref::setBool(setting::mainWindowAlarmButtons.key, (data[0] & 2) != 0);
    const SettingsForm opened = SettingsForm::open(administrator);
    const std::string scratch = base::toUtf8(fuzz::scratchFile("folders"));
    const SettingsForm form = edited(opened, data[0], header, texts, scratch);
    if (!form.check(opened).empty()) return 0;
    form.write(opened);
    saveSettings();

    // A restart: the settings file read again, the dialog opened again.
    installSettings(false);
    const SettingsForm again = SettingsForm::open(administrator);
    for (int folder = 0; folder < SettingsForm::folderCount; ++folder) {
        const std::wstring& chosen = form.folders[folder];
        fuzz::require(again.folders[folder] == (chosen.empty() ? opened.folders[folder] : chosen),
                      "a folder that passed is the folder after a restart");
    }
    if (form.alarmButtons) fuzz::require(again.gongFile == form.gongFile, "the gong is kept");
    fuzz::require(
        again.serviceVolume == form.serviceVolume && again.microphoneVolume == form.microphoneVolume,
        "the volumes are kept");
    fuzz::require(again.captureDevice == form.captureDevice, "the capture device is kept");
    fuzz::require(again.idleMinutes == form.idleMinutes, "the idle time is kept");
    fuzz::require(again.logLevel == form.logLevel, "the log level is kept");
    if (administrator) {
        fuzz::require(again.multicastAddress == form.multicastAddress,
                      "a multicast address that passed is the address after a restart");
        fuzz::require(again.basePort == form.basePort && again.ttl == form.ttl, "the port and TTL are kept");
    }
    for (int box = 0; box < SettingsForm::passwordCount; ++box) {
        if (!form.passwords[box].empty())
            fuzz::require(storedPassword(box) == form.passwords[box].typed, "a password that passed matches");
    }
    return 0;
}
