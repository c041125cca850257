// The access keys of a microphone console: listed from the console, learnt by the console
// itself, deleted and reset.

#include <algorithm>
#include <mutex>

#include "devices/TribelInfo.h"
#include "devices/TribelReplies.h"
#include "foundation/Exceptions.h"
#include "foundation/Validators.h"

namespace device {
namespace {

constexpr const char* listRequest = "passkeyList";

}  // namespace

void TribelInfo::refuseWhilePlaying() {
    if (hasInternalPlaying()) throw exception::UserResponse(L"internalPlaying", L"");
}

std::vector<TribelInfo::Passkey> TribelInfo::getPasskeys() {
    return listPasskeys();
}

std::vector<TribelInfo::Passkey> TribelInfo::listPasskeys() {
    std::string reply;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        reply = passkeyReply_;
    }
    if (reply.empty()) reply = transfer(listRequest);

    tribel::PasskeyList list;
    try {
        list = tribel::readPasskeyList(reply);
    } catch (const exception::UnexpectedResponseOfDevice&) {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        passkeyReply_.clear();
        throw;
    }
    std::vector<Passkey> keys;
    for (const std::string& key : list.keys)
        keys.push_back(Passkey{true, key, L"Ключ " + std::to_wstring(keys.size() + 1)});

    std::lock_guard<std::recursive_mutex> guard(mutex());
    // While the console learns a key its list is asked for anew every time.
    passkeyReply_ = list.listening ? std::string() : reply;
    passkeys_ = keys;
    return keys;
}

bool TribelInfo::requestPasskeys() {
    std::string reply;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        reply = passkeyReply_;
    }
    if (reply.empty()) {
        if (!transfer(listRequest, &reply, false)) return false;
    }
    bool listening = false;
    try {
        listening = tribel::readPasskeyList(reply).listening;
    } catch (const exception::UnexpectedResponseOfDevice&) {
        // A list that does not read is asked for again by the next listing, which reports it.
        reply.clear();
    }
    std::lock_guard<std::recursive_mutex> guard(mutex());
    passkeyReply_ = listening ? std::string() : reply;
    return listening;
}

void TribelInfo::addPasskey() {
    refuseWhilePlaying();
    listPasskeys();
    transfer("passkeyAdd");
    std::lock_guard<std::recursive_mutex> guard(mutex());
    passkeysBeforeAdd_ = passkeys_;
    passkeyReply_.clear();
}

void TribelInfo::finishPasskey() {
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        // A kept list without "listening": no learning to end.
        if (!passkeyReply_.empty()) return;
    }
    transfer("passkeyFinish");
}

void TribelInfo::deletePasskey(const std::string& key) {
    if (!base::isHexText(key)) throw exception::IncorrectFormat(L"");
    refuseWhilePlaying();
    {
        std::lock_guard<std::recursive_mutex> guard(mutex());
        passkeyReply_.clear();
        const bool listed = std::any_of(passkeys_.begin(), passkeys_.end(),
                                        [&key](const Passkey& passkey) { return passkey.key == key; });
        if (!listed) throw exception::UserError(L"Ключ не существует", L"");
        passkeys_.clear();
        passkeysBeforeAdd_.clear();
    }
    transfer("passkeyDel " + key);
    listPasskeys();
}

void TribelInfo::resetPasskeys() {
    refuseWhilePlaying();
    transfer("passkeyReset");
    std::lock_guard<std::recursive_mutex> guard(mutex());
    passkeyReply_.clear();
}

}  // namespace device
