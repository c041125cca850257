#include "app/aApp.h"

#include <wx/log.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "app/DebugPref.h"
#include "app/MainFrame.h"
#include "app/ServiceCheck.h"
#include "app/SingleInstance.h"
#include "app/StartupDecisions.h"
#include "app/StopChannel.h"
#include "app/StopSignals.h"
#include "audio/AudioStartup.h"
#include "audio/PlayerEngine.h"
#include "audio/PluginHost.h"
#include "devicelink/TransferProtocol.h"
#include "foundation/CrashDump.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/LogCalls.h"
#include "foundation/NetworkProbes.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/SocketErrors.h"
#include "foundation/SystemServices.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "foundation/ThreadRole.h"

namespace {

constexpr const wchar_t* kTitle = L"Melvox";
constexpr unsigned kHighestBasePort = 65533;  // the two stream ports follow it
// Set in the environment, it makes the thread-role checks strict (foundation/ThreadRole.h).
constexpr const char* kStrictThreadRoles = "MELVOX_STRICT_THREAD_ROLES";

// The operator learns at the start that the changes of this run will not be kept.
void warnOfUnwritableFolders(const std::wstring& folder, int logFailure) {
    const debug::Place place("aApp::OnInit");
    const std::wstring logFolder = os::joinPath(folder, L"log");
    if (const int failure = os::folderWriteError(folder)) {
        const std::wstring text =
            std::wstring(
                L"В папку данных '%1%' нельзя записать (%2%).\nИзменения настроек, устройств, зон, "
                L"плейлистов, сообщений и расписания\nне будут сохранены при остановке программы.") +
            (logFailure != 0 ? L"\nЖурнал и отчёты о сбоях не пишутся в файлы." : L"");
        place.warn(text.c_str(), folder, os::errorText(failure));
    } else if (logFailure != 0) {
        place.warn(
            L"В папку журнала '%1%' нельзя записать (%2%).\nЖурнал и отчёты о сбоях не пишутся в файлы.",
            logFolder, os::errorText(logFailure));
    }
}

// A line in the day's log from a copy that ends before its own logger would exist.
void logBeforeStart(const wchar_t* text) {
    app::startLog(false);
    debug::Place("aApp::OnInit").important(text);
    dbg_free();
}

}  // namespace

namespace {
// Set on the GUI thread once a start that a stop request ended has undone itself.
std::atomic<bool> g_startEndedByStop{false};
}  // namespace

aApp::aApp() = default;
aApp::~aApp() = default;

bool aApp::startEndedByStop() {
    return g_startEndedByStop.load();
}

bool aApp::OnInit() {
    std::optional<std::wstring> failure;
    try {
        if (initialise()) return true;
    } catch (const exception::StopProgram&) {
        base::Log::notifyInstance();
        failure.emplace();
    } catch (const std::exception& error) {
        debug::Place("aApp::OnInit").error(L"Start-up failed: %1%", exception::textOf(error));
        failure = L"Start-up failed: " + exception::textOf(error);
    }
    if (frame_) {
        frame_->Shutdown();
        frame_->Destroy();
    }
    // The settings are dropped unwritten, as the window's stop leaves the state files: a start that
    // ends before its window leaves no trace, and the next start is what this one was.
    if (pref* const settings = pref::instanceSlot().release()) {
        debug::Place("aApp::OnInit").info(L"The settings are not saved: the start ended before the window");
        delete settings;
    }
    tearDown();
    if (failure) tellWhyTheStartEnded(*failure);
    if (stopRequested_.load() && !endedByFault_) g_startEndedByStop.store(true);
    return false;
}

void aApp::tellWhyTheStartEnded(const std::wstring& failure) {
    // What the log had for the boxes over the window, which never came up: the fatal line
    // of the failure among them.
    std::wstring text;
    for (const auto& held : debug::takeHeldMessages()) text += (text.empty() ? L"" : L"\n") + held.second;
    // No logger yet, or none any more: the failure itself.
    if (text.empty()) text = failure;
    if (text.empty()) return;
    std::fprintf(stderr, "%s\n", base::toUtf8(text).c_str());
    app::StopSignals::restoreDefaults();
    dialogs_.setParent(nullptr);
    dialogs_.showMessage(kTitle, text, debug::MessageIcon::error);
}

bool aApp::initialise() {
    // The toolkit runs its events on this thread, which must never wait for a device; the program
    // tests make such a wait end a sanitizer build.
    os::setThreadRole(os::ThreadRole::window);
    os::setStrictThreadRoles(std::getenv(kStrictThreadRoles) != nullptr);
    locale_.Init(wxLANGUAGE_RUSSIAN, wxLOCALE_DONT_LOAD_DEFAULT);
    // The toolkit's own complaints go to the standard error stream: the operator sees the
    // program's messages only, each in a dialog that a stop request can close.
    delete wxLog::SetActiveTarget(new wxLogStderr);

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i].ToStdString(wxConvUTF8));
    std::string unknown;
    options_ = app::parseOptions(arguments, unknown);
    if (!unknown.empty()) {
        std::fprintf(stderr, "Unknown option: %s\n", unknown.c_str());
        return false;
    }

    std::wstring folder;
    try {
        folder = os::getApplicationDataDirectory();
    } catch (const std::exception& error) {
        // Before the log: the operator learns it from the box and the standard error alone.
        const std::wstring text = L"Папка данных программы не может быть создана: " +
                                  exception::textOf(error) + L"\nПрограмма не может работать без неё.";
        std::fprintf(stderr, "%s\n", base::toUtf8(text).c_str());
        app::StopSignals::restoreDefaults();
        dialogs_.showMessage(kTitle, text, debug::MessageIcon::error);
        return false;
    }
    const std::vector<std::wstring> runFolders = app::runFolders(folder);
    instance_ = std::make_unique<app::SingleInstance>(runFolders);
    switch (app::decideStart(options_.quit, instance_->anotherCopyRuns())) {
        case app::StartDecision::askRunningToStop:
        case app::StartDecision::endQuietly:
            // Answered by the entry point before the toolkit starts (app::quitRunningCopy).
            return false;
        case app::StartDecision::refuseSecond:
            // This copy starts no stop thread: a stop signal ends it at once, as a close of the box.
            app::StopSignals::restoreDefaults();
            logBeforeStart(L"Копия программы уже запущена.");
            dialogs_.showMessage(kTitle, L"Копия программы уже запущена.", debug::MessageIcon::warning);
            return false;
        case app::StartDecision::start:
            break;
    }
    os::emptyTempDirectory();
    const int logFailure = app::loadDebugPref(options_.trace, options_.output);
    logger_ = true;
    const debug::Place place("aApp::OnInit");
    place.info(L"Melvox v1 - Initialization.");
    if (!instance_->acquired()) place.warn(L"Отметка о запуске программы в папке '%1%' не создана", folder);
    warnOfUnwritableFolders(folder, logFailure);
    if (wxTranslations* translations = wxTranslations::Get()) translations->AddStdCatalog();
    debug::setMessagePresenter(dialogs_.presenter());
    // The boxes of the start open above the main window once it is shown.
    debug::holdMessages();

    stopChannel_ = std::make_unique<app::StopChannel>(
        runFolders,
        [this] {
            stopRequested_.store(true);
            CallAfter([this] { onStopRequest(); });
        },
        app::StopSignals::fd());
    place.trace(L"Create thread dispatcher. Threads: [%1%]", os::getThreadList());
    base::ThreadDispatcher::create();
    dispatcher_ = true;
    place.info(L"Melvox v1.2, built %1% %2%", __DATE__, __TIME__);
    debug::installCrashHandlers();

    if (app::isServiceActive(app::kSecondGenerationUnit)) {
        place.important(L"The service '%1%' runs: this program ends", app::kSecondGenerationUnit);
        dialogs_.showMessage(kTitle,
                             L"Запущена служба Melvox2. Программа не может работать одновременно с ней.",
                             debug::MessageIcon::warning);
        return false;
    }

    int basePort = pref::getInt(setting::multicastBasePort);
    if (basePort < 1 || basePort > static_cast<int>(kHighestBasePort)) {
        place.warn(L"Недопустимый базовый порт %1%, используется %2%", basePort,
                   setting::multicastBasePort.fallback);
        basePort = setting::multicastBasePort.fallback;
    }
    // The plug-ins' trial loads, in child processes, and then their loads run while the network
    // is probed and the window is built.
    audio::PluginHost::startLoading(player_engine_plugin_folder());
    std::string interfaceIp;
    if (!chooseNetworkInterface(interfaceIp)) return false;
    // The probe for another copy's stream waits up to its timeout; the window is built meanwhile
    // and shown only once the probe has answered. Nothing is streamed before that answer.
    const std::string group = pref::getString(setting::multicastAddress) + ":" +
                              std::to_string(static_cast<unsigned>(basePort) + 1);
    std::future<bool> streamPlays = std::async(std::launch::async, [group, interfaceIp] {
        return os::hasStream(group.c_str(), interfaceIp.c_str());
    });

    transport_ = std::make_shared<device::TransferProtocol>(static_cast<unsigned>(basePort), interfaceIp);
    frame_ = new frm::MainFrame(transport_, static_cast<std::uint16_t>(basePort), interfaceIp, dialogs_,
                                options_.debug || options_.dev);
    frame_->setStateWrittenHandler([this](bool written) { stateWritten_ = written; });
    if (!acceptStreamAlreadyPlaying(streamPlays.get(), group)) return false;
    dialogs_.setParent(frame_);
    SetTopWindow(frame_);
    audio_ = true;
    audio::startUp(player_engine_plugin_folder(), frame_->getRegistry());
    dialogs_.setClosedHandler([](const std::wstring& text) { audio::messageBoxClosed(text); });
    audio::setSelectionProvider([frame = frame_]() {
        frm::Targets targets;
        if (frame) {
            for (const auto& device : frame->getTargetDevices()) targets.insert(device);
        }
        return targets;
    });
    frame_->Startup();
    // The journal's records are matched with the device collection, read now; one that did not
    // read drops none of them.
    audio::giveBackWhatALastRunLeft(frame_->stateFileLoaded(L"device_collection.xml"));

    if (options_.fullscreen) {
        frame_->ShowFullScreen(true);
    } else {
        frame_->Show();
    }
    place.info(L"The main window is shown");
    // The request waits for the system's answer; the window need not.
    os::keepSystemAwake(true);
    awake_ = true;
    // A request that came while the start-up ran is carried out now.
    if (stopRequested_.load()) CallAfter([this] { onStopRequest(); });
    return true;
}

bool aApp::chooseNetworkInterface(std::string& interfaceIp) {
    const debug::Place place("aApp::OnInit");
    const std::string savedIp = pref::getString(setting::netInterfaceIp);
    const app::InterfaceChoice choice = app::chooseInterface(
        savedIp, pref::getWString(setting::netInterfaceDescription), os::getNetworkInterfaceList());
    if (choice.ask) {
        const std::wstring text =
            choice.ip.empty()
                ? L"Сетевой интерфейс с адресом " + base::widen(savedIp) +
                      L" не найден, и другого подходящего нет.\nПродолжить без выбранного интерфейса?"
                : L"Сетевой интерфейс с адресом " + base::widen(savedIp) +
                      L" не найден.\nПродолжить работу через интерфейс с адресом " + base::widen(choice.ip) +
                      L"?";
        if (stopRequested_.load() || !dialogs_.askYesNo(L"Сетевой интерфейс", text)) {
            place.important(L"The start ends: the network interface '%1%' is gone", savedIp);
            return false;
        }
    }
    interfaceIp = choice.ip;
    if (!interfaceIp.empty()) pref::setString(setting::netInterfaceIp.key, interfaceIp);
    place.info(L"Network interface: '%1%'", interfaceIp);
    return !stopRequested_.load();
}

bool aApp::acceptStreamAlreadyPlaying(bool playing, const std::string& group) {
    const debug::Place place("aApp::OnInit");
    if (playing) {
        const std::wstring text =
            L"В группе " + base::widen(group) +
            L" уже идёт вещание: возможно, работает другая копия программы.\nПродолжить запуск?";
        if (stopRequested_.load() || !dialogs_.askYesNo(L"Вещание", text)) {
            place.important(L"The start ends: a stream already plays on '%1%'", group);
            return false;
        }
    }
    return !stopRequested_.load();
}

void aApp::onStopRequest() {
    // The open dialogs end as cancelled, no new one opens, and the window closes once the last
    // modal loop has returned.
    dialogs_.closeAll([this] {
        if (frame_) frame_->Close(true);
    });
}

int aApp::OnRun() {
    const int status = GuardedApp::OnRun();
    return endedByFault_ ? 1 : status;
}

int aApp::OnExit() {
    // The loop may end with the window still open (an exception that the toolkit let end it): the
    // window stops first and writes the state files, while what it stops is still there.
    if (frame_) frame_->Shutdown();
    tearDown();
    return wxApp::OnExit();
}

void aApp::tearDown() {
    transport_.reset();
    if (audio_) {
        audio::shutDown();
        audio_ = false;
    }
    audio::PluginHost::dropLoaded();
    if (dispatcher_) {
        base::ThreadDispatcher::destroy();
        dispatcher_ = false;
    }
    if (awake_) {
        os::keepSystemAwake(false);
        awake_ = false;
    }
    debug::setMessagePresenter(nullptr);
    if (pref::instanceSlot().peek() != nullptr) stateWritten_ = pref_free() && stateWritten_;
    if (logger_) {
        const debug::Place place("aApp::OnExit");
        // What is left beside the logger's writer tells of a thread that outlived its owner.
        place.trace(L"Exit. Threads: [%1%]", os::getThreadList());
        place.info(L"Melvox v1 - Exit.");
        dbg_free();
        logger_ = false;
    }
    // Last: a copy that asked for the stop is told that everything is written, the log included,
    // or that the state could not be.
    if (stopChannel_) stopChannel_->tellStateSaved(stateWritten_);
    stopChannel_.reset();
}

void aApp::endProgram() {
    // The log is written out already; the rest ends as a stop request ends it.
    endedByFault_ = true;
    stopRequested_.store(true);
    CallAfter([this] { onStopRequest(); });
}
