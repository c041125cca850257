#include "foundation/LogCalls.h"

#include <wx/translation.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "foundation/Clock.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Log.h"

namespace debug {
namespace {

constexpr auto kRepeatWindow = std::chrono::milliseconds(2000);

struct RecentMessages {
    std::mutex lock;
    std::vector<std::wstring> texts;
    std::chrono::steady_clock::time_point lastAdded;
};

RecentMessages& recent() {
    static RecentMessages messages;
    return messages;
}

std::mutex g_presenterLock;
std::shared_ptr<const MessagePresenter> g_presenter;

// What came for a box before the GUI-thread invoker existed, or while the boxes are held for the
// window, up to a bound; the log has them all.
constexpr std::size_t kMostHeld = 64;
struct HeldMessages {
    std::mutex lock;
    bool holding = false;
    std::vector<std::pair<std::wstring, std::wstring>> messages;
};

HeldMessages& held() {
    static HeldMessages messages;
    return messages;
}

}  // namespace

void resetRecentMessages() {
    {
        std::lock_guard<std::mutex> guard(recent().lock);
        recent().texts.clear();
    }
    std::lock_guard<std::mutex> guard(held().lock);
    held().holding = false;
    held().messages.clear();
}

std::wstring translate(const std::wstring& text) {
    wxTranslations* translations = wxTranslations::Get();
    if (translations == nullptr) return text;
    const wxString* translated = translations->GetTranslatedString(wxString(text));
    return translated ? translated->ToStdWstring() : text;
}

void guiLogCallback(const boost::posix_time::ptime&, const std::wstring& levelName,
                    const std::wstring& message) {
    if (levelName == L"NOTICE" || levelName == L"WARN" || levelName == L"ERROR") {
        RecentMessages& list = recent();
        std::lock_guard<std::mutex> guard(list.lock);
        // Measured on the steady clock: the process clock counts CPU time, which stands
        // still while the program is idle.
        const auto now = base::clock::steadyNow();
        if (now - list.lastAdded > kRepeatWindow) list.texts.clear();
        if (std::find(list.texts.begin(), list.texts.end(), message) != list.texts.end()) return;
        list.texts.push_back(message);
        list.lastAdded = now;
    }
    // Under the lock of the held ones: a text never overtakes one held before it.
    std::lock_guard<std::mutex> guard(held().lock);
    if (GuiThreadInvoker::exists() && !held().holding) {
        GuiThreadInvoker::add([levelName, message] { showLogMessage(levelName, message); });
        return;
    }
    if (levelName != L"NOTICE" && levelName != L"WARN" && levelName != L"ERROR" && levelName != L"FATAL")
        return;
    if (held().messages.size() < kMostHeld) held().messages.emplace_back(levelName, message);
}

void holdMessages() {
    std::lock_guard<std::mutex> guard(held().lock);
    held().holding = true;
}

void showHeldMessages() {
    std::lock_guard<std::mutex> guard(held().lock);
    if (!GuiThreadInvoker::exists()) return;
    held().holding = false;
    for (auto& [levelName, message] : held().messages)
        GuiThreadInvoker::add(
            [levelName = levelName, message = message] { showLogMessage(levelName, message); });
    held().messages.clear();
}

std::vector<std::pair<std::wstring, std::wstring>> takeHeldMessages() {
    std::lock_guard<std::mutex> guard(held().lock);
    return std::exchange(held().messages, {});
}

void setMessagePresenter(MessagePresenter presenter) {
    std::lock_guard<std::mutex> guard(g_presenterLock);
    g_presenter = presenter ? std::make_shared<const MessagePresenter>(std::move(presenter)) : nullptr;
}

void showLogMessage(const std::wstring& levelName, const std::wstring& message) {
    MessageIcon icon;
    if (levelName == L"NOTICE") {
        icon = MessageIcon::information;
    } else if (levelName == L"WARN") {
        icon = MessageIcon::warning;
    } else if (levelName == L"ERROR" || levelName == L"FATAL") {
        icon = MessageIcon::error;
    } else {
        return;
    }
    std::shared_ptr<const MessagePresenter> presenter;
    {
        std::lock_guard<std::mutex> guard(g_presenterLock);
        presenter = g_presenter;
    }
    if (presenter) (*presenter)(translate(levelName), translate(message), icon);
}

}  // namespace debug

void dbg_init(bool consoleEcho, base::Log::Level level, const std::wstring& directory) {
    auto& slot = base::Log::instanceSlot();
    if (slot.peek() == nullptr) {
        auto* log = new base::Log(directory, level, consoleEcho);
        if (slot.install(log)) {
            base::Log::setActiveLevel(level);
        } else {
            delete log;
        }
    }
    base::SingletonSlot<base::Log>::Use log(slot);
    if (!log) return;
    log->setLogCallback(debug::guiLogCallback);
    log->setStringTransform(debug::translate);
}

void dbg_free() {
    base::Log::setActiveLevel(base::Log::FATAL + 1);
    delete base::Log::instanceSlot().release();
}
