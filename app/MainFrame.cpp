#include "app/MainFrame.h"

#include <wx/display.h>
#include <wx/eventfilter.h>
#include <wx/sizer.h>
#include <wx/thread.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <stdexcept>

#include "app/DeviceCollectionFile.h"
#include "app/GuiTaskEvent.h"
#include "app/KeptState.h"
#include "app/StartupDecisions.h"
#include "app/ViewButtons.h"
#include "app/kit/DeviceListCtrl.h"
#include "app/kit/GuiLocker.h"
#include "app/kit/LockRules.h"
#include "app/kit/ZoneElementPanel.h"
#include "audio/AudioStartup.h"
#include "audio/ListOfPlaylist.h"
#include "audio/PlaybackCollection.h"
#include "audio/PlaybackPlaylist.h"
#include "devicelink/DeviceCollection.h"
#include "devicelink/DeviceFactory.h"
#include "devices/TribelInfo.h"
#include "devices/VokarInfo.h"
#include "foundation/Clock.h"
#include "foundation/DataFolders.h"
#include "foundation/Exceptions.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/LogCalls.h"
#include "foundation/Place.h"
#include "foundation/Settings.h"
#include "foundation/Storage.h"
#include "foundation/TextConversion.h"
#include "foundation/ThreadDispatcher.h"
#include "panels/Drives.h"
#include "panels/PlaybackDrive.h"
#include "panels/SettingsDialog.h"
#include "panels/SourceDevicePanel.h"
#include "panels/SourceMicrophonePanel.h"
#include "panels/SourcePlaylistPanel.h"
#include "panels/SourceSchedulerPanel.h"
#include "panels/SourceServicePanel.h"
#include "propertypanel/PropertyDevicePanel.h"

namespace frm {
namespace {

constexpr auto kClockPeriod = std::chrono::milliseconds(100);
constexpr auto kIdleCheckPeriod = std::chrono::milliseconds(1000);

std::int64_t steadyTicks() {
    return base::clock::steadyNow().time_since_epoch().count();
}

// The state files of the data folder, in the order they are loaded.
constexpr const wchar_t* kStateFiles[] = {
    L"device_collection.xml", L"list_of_playlist_music.xml", L"list_of_playlist_radio.xml",
    L"device_playback.xml",   L"service_message.xml",        L"alarm_message.xml",
    L"scheduler.xml",         L"zone_collection.xml",
};

std::wstring dataFile(const std::wstring& name) {
    return os::joinPath(os::getApplicationDataDirectory(), name);
}

}  // namespace

// Keyboard and mouse input anywhere in the program counts as the operator's activity.
class MainFrame::ActivityFilter : public wxEventFilter {
public:
    explicit ActivityFilter(std::atomic<std::int64_t>& lastActivity) : lastActivity_(lastActivity) {
        wxEvtHandler::AddFilter(this);
    }
    ~ActivityFilter() override { wxEvtHandler::RemoveFilter(this); }

    int FilterEvent(wxEvent& event) override {
        const wxEventType type = event.GetEventType();
        if (type == wxEVT_KEY_DOWN || type == wxEVT_LEFT_DOWN || type == wxEVT_RIGHT_DOWN ||
            type == wxEVT_MIDDLE_DOWN || type == wxEVT_MOTION || type == wxEVT_MOUSEWHEEL) {
            lastActivity_.store(steadyTicks());
        }
        return Event_Skip;
    }

private:
    std::atomic<std::int64_t>& lastActivity_;
};

MainFrame::MainFrame(std::shared_ptr<device::TransferProtocol> transport, std::uint16_t basePort,
                     const std::string& interfaceIp, Questions& questions, bool debug)
    : fb::MainFrame(nullptr),
      transport_(std::move(transport)),
      questions_(questions),
      debug_(debug),
      rootZone_(ZoneElement::makeRoot()),
      musicList_(std::make_shared<ListOfPlaylist>(L"music")),
      radioList_(std::make_shared<ListOfPlaylist>(L"radio")),
      guiClock_("gui clock", kClockPeriod,
                [this] {
                    if (!clockQueued_.exchange(true)) GuiThreadInvoker::add([this] { onClock(); });
                }),
      idleLock_("idle lock", kIdleCheckPeriod, [this] { checkIdle(); }),
      lastActivity_(steadyTicks()),
      stateSaver_([](std::function<void()> take) { GuiThreadInvoker::add(std::move(take)); }) {
    const debug::Place place("frm::MainFrame::MainFrame");
    place.trace(L"");
    Bind(wxEVT_TEXT, &MainFrame::onGuiTask, this, GuiTaskEvent::kId);
    // The boxes held until now open once the window is shown, as the last of its start: a box
    // made before a window manager maps the window would open beneath it, and the window would
    // then take no clicks while the box waits.
    Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
        if (event.IsShown()) {
            debug::showHeldMessages();
            startSaving();
        }
        event.Skip();
    });
    GuiThreadInvoker::create(
        [this](GuiThreadInvoker::Task task) { wxQueueEvent(this, new GuiTaskEvent(std::move(task))); });

    registry_ = std::make_shared<device::DeviceCollection>(transport_, basePort);
    registry_->setStateHandler(
        [this](const std::shared_ptr<device::DeviceBase>& device) { updateGui(device); });
    registry_->setNewDeviceHandler([this](const std::string&, const net::HardwareAddress&,
                                          const std::wstring&) { return ++deviceCounter_; });
    registry_->setFactory(device::types::loudspeaker,
                          std::make_shared<device::DeviceFactoryOf<device::VokarInfo>>());
    registry_->setFactory(device::types::console,
                          std::make_shared<device::DeviceFactoryOf<device::TribelInfo>>());
    registry_->setInterfaceIp(interfaceIp);

    deviceList_ = new DeviceListCtrl(m_deviceListArea, deviceModel_);
    m_deviceListArea->GetSizer()->Add(deviceList_, 1, wxEXPAND);
    deviceList_->setSelectionCallback([this] { deviceSelectionChanged(); });
    deviceList_->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent& event) {
        event.Skip();
        openProperties();
    });
    zonePanel_ = new ZoneElementPanel(m_zoneArea, rootZone_, questions_, [this] { return chosenDevices(); });
    zonePanel_->setSelectionCallback([this] { zoneSelectionChanged(); });
    m_zoneArea->GetSizer()->Add(zonePanel_, 1, wxEXPAND);
    schedulerPanel_ = new SourceSchedulerPanel(m_book, rootZone_, registry_);
    m_book->AddPage(schedulerPanel_, wxT("Планировщик"));
    zonePanel_->setUsedCheck([scheduler = schedulerPanel_](const ZoneElement::DevicePtr& device) {
        return scheduler->isUsedDevice(device);
    });
    musicPanel_ =
        new SourcePlaylistPanel(m_book, schedulerPanel_->getSchedulerControl(L"playlist"), false, questions_);
    m_book->AddPage(musicPanel_, wxT("Плейлист"));
    radioPanel_ =
        new SourcePlaylistPanel(m_book, schedulerPanel_->getSchedulerControl(L"radio"), true, questions_);
    m_book->AddPage(radioPanel_, wxT("Радио"));
    microphonePanel_ = new SourceMicrophonePanel(
        m_book, this, [this](const wxString& text) { showAlarmState(text); }, questions_);
    m_book->AddPage(microphonePanel_, wxT("Микрофон"));
    microphonePanel_->setScheduleCheck(
        [scheduler = schedulerPanel_](const std::wstring& path) { return scheduler->isUsedFile(path); });
    drivesPanel_ = new SourceDevicePanel(m_book, questions_);
    m_book->AddPage(drivesPanel_, wxT("Накопители"));
    servicePanel_ =
        new SourceServicePanel(m_book, schedulerPanel_->getSchedulerControl(L"serviceMessage"), false);
    m_book->AddPage(servicePanel_, wxT("Служебные сообщения"));
    alarmPanel_ = new SourceServicePanel(m_book, schedulerPanel_->getSchedulerControl(L"alarmMessage"), true);
    alarmPanel_->setPlayConfirmation([this] { return askAlarmPassword(); });
    m_book->AddPage(alarmPanel_, wxT("Тревожные сообщения"));
    microphonePanel_->setServiceMessageCheck(
        [this](const std::wstring& path) { return servicePanel_->isMessageUsed(path); });
    microphonePanel_->setAlarmMessageCheck(
        [this](const std::wstring& path) { return alarmPanel_->isMessageUsed(path); });
    activity_ = std::make_unique<ActivityFilter>(lastActivity_);
    enableViewButtons();
    Layout();
}

MainFrame::~MainFrame() {
    // Normally done by the close handler; a window destroyed otherwise still stops its threads.
    // Nothing may leave a destructor: that would end the program at once.
    try {
        Shutdown();
    } catch (const std::exception& error) {
        debug::Place("frm::MainFrame::~MainFrame")
            .error(L"The shutdown failed: %1%", exception::textOf(error));
    } catch (...) {
        debug::Place("frm::MainFrame::~MainFrame").error(L"The shutdown failed");
    }
}

void MainFrame::Startup() {
    const debug::Place place("frm::MainFrame::Startup");
    place.trace(L"");
    guiClock_.start();
    restoreGeometry();
    loadStateFiles();
    for (const auto& [name, read] : stateFiles_) {
        if (read == storage::StateFileRead::unreadable) stateSaver_.keepAsIs(dataFile(name));
    }
    // What changes from here on, before the window is up too, is what the files lack.
    for (auto& [mark, take] : keptKinds()) stateSaver_.watch(mark, std::move(take));
    stateLoaded_ = true;
    idleLock_.start();
    bool firstStart = false;
    {
        base::SingletonSlot<pref>::Use store(pref::instanceSlot());
        firstStart = store && app::isFirstStart(*store.get());
    }
    if (const auto notice = app::startNotice(firstStart, pref::getBool(setting::mainWindowAlarmButtons)))
        place.notice(L"%1%", *notice);
    transport_->run();
}

void MainFrame::Shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    const debug::Place place("frm::MainFrame::Shutdown");
    place.trace(L"");
    // Its writes end before those of the stop, which it must not follow with an older state.
    stateSaver_.stop();
    guiClock_.stop();
    idleLock_.stop();
    if (propertyPanel_ != nullptr) propertyPanel_->shutdown();
    drivesPanel_->stopThread();
    // A folder still being added stops before the lists are written, keeping what it added.
    musicPanel_->stopFolderAddition();
    radioPanel_->stopFolderAddition();
    // The loudspeakers of a broadcast go back to the common channel while the transport runs.
    audio::endBroadcasts();
    registry_->stop();
    transport_->stop();
    base::ThreadDispatcher::shutdown();
    GuiThreadInvoker::destroy();
    // A start that ended before the state was read writes no settings either: the next start is
    // what this one was, a first start included. Only what differs from the disk is written, so
    // that a stalled disk holds the stop only for what changed.
    bool written = true;
    if (stateLoaded_) {
        saveGeometry();
        StateSaver::Snapshot files;
        auto kinds = keptKinds();
        if (auto settings = settingsKind()) kinds.push_back(std::move(*settings));
        for (const auto& kind : kinds) {
            for (StateSaver::File& file : kind.second()) files.push_back(std::move(file));
        }
        written = stateSaver_.writeChanged(files);
    } else {
        place.info(L"The state files are not saved: the start-up ended before they were read");
    }
    schedulerPanel_->shutdown();
    audio::stopPlaying();
    if (stateWritten_) stateWritten_(written);
}

void MainFrame::OnClose(wxCloseEvent&) {
    debug::Place("frm::MainFrame::OnClose").trace(L"");
    Shutdown();
    Destroy();
}

void MainFrame::onGuiTask(wxCommandEvent& event) {
    auto* task = dynamic_cast<GuiTaskEvent*>(&event);
    if (task == nullptr) {
        event.Skip();
        return;
    }
    // A device state or a clock tick that arrives while the window shuts down is dropped.
    if (!shuttingDown_) task->run();
}

void MainFrame::updateGui(const std::shared_ptr<device::DeviceBase>& device) {
    GuiThreadInvoker::add([this, device] { refreshDevice(device); });
}

void MainFrame::refreshDevice(const std::shared_ptr<device::DeviceBase>& device) {
    // The registry tells of a device it let go (its place went to a new one) once more: the row
    // goes, unless another device has taken the address since.
    const device::DeviceType family =
        device->isType(device::types::console) ? device::types::console : device::types::loudspeaker;
    const auto held = registry_->searchForFamily(device->getHardwareAddress(), family);
    if (held != device) {
        if (!held) dropRow(*device);
        return;
    }
    bool inserted = false;
    const std::size_t row = deviceModel_.update(DeviceView::of(*device), &inserted);
    deviceList_->refreshRow(row, inserted);
    if (propertiesShown()) propertyPanel_->refreshView();
    if (!inserted) return;
    bool adopted = false;
    {
        GuiLocker lock;
        adopted = rootZone_->adopt(device);
    }
    if (!adopted) return;
    zonePanel_->changes().mark();
    zonePanel_->updateAll();
}

void MainFrame::dropRow(device::DeviceBase& device) {
    const std::optional<std::size_t> row = deviceModel_.remove(device.getHardwareAddress().toCharArray());
    if (!row) return;
    deviceList_->removeRow(*row);
    deviceSelectionChanged();
}

std::vector<ZoneElement::DevicePtr> MainFrame::chosenDevices() const {
    std::vector<ZoneElement::DevicePtr> devices;
    const std::vector<std::size_t> rows = deviceList_->selectedRows();
    if (rows.empty()) return devices;
    const std::vector<ZoneElement::DevicePtr> known = registry_->getDevices();
    for (const std::size_t row : rows) {
        const net::HardwareAddress address(deviceModel_.addressAt(row));
        const auto matches = [&](const ZoneElement::DevicePtr& device) {
            return device->getHardwareAddress().getHigh() == address.getHigh() &&
                   device->getHardwareAddress().getLow() == address.getLow();
        };
        for (const auto& device : known) {
            if (matches(device)) devices.push_back(device);
        }
    }
    return devices;
}

void MainFrame::deviceSelectionChanged() {
    std::vector<ZoneElement::DevicePtr> devices = chosenDevices();
    GuiLocker lock;
    selectedDevices_ = std::move(devices);
}

void MainFrame::zoneSelectionChanged() {
    std::vector<ZoneElement::ZonePtr> zones = zonePanel_->selectedZones();
    GuiLocker lock;
    selectedZones_ = std::move(zones);
}

void MainFrame::setDeviceUsedCheck(ZoneElement::UsedCheck check) {
    zonePanel_->setUsedCheck(std::move(check));
}

std::vector<ZoneElement::DevicePtr> MainFrame::getTargetDevices() {
    // On the window's thread the list is read as it stands: the list tells of a range only once
    // the input that selected it has been handled whole.
    if (wxThread::IsMain()) deviceSelectionChanged();
    GuiLocker lock;
    return combine(selectedDevices_, selectedZones_);
}

void MainFrame::showAlarmState(const wxString& text) {
    m_statusBar->SetStatusText(text.empty() ? wxString() : wxString(L"Тревожный канал: ") + text, 0);
}

void MainFrame::displayMainView() {
    debug::Place("frm::MainFrame::displayMainView").trace(L"");
    if (locked_.load()) return;
    if (propertiesShown()) propertyPanel_->killFocus();
    m_book->SetSelection(pageDevices);
}

void MainFrame::openProperties() {
    const std::vector<ZoneElement::DevicePtr> devices = chosenDevices();
    if (devices.size() != 1 || locked_.load()) return;
    debug::Place("frm::MainFrame::openProperties").trace(L"");
    PropertyDevicePanel& panel = properties();
    if (propertiesShown()) panel.killFocus();
    m_book->SetSelection(propertyPage_);
    panel.imbueDevice(devices.front());
    panel.updateData();
}

PropertyDevicePanel& MainFrame::properties() {
    if (propertyPanel_ == nullptr) {
        propertyPanel_ = new PropertyDevicePanel(m_book, registry_, transport_, debug_, questions_);
        propertyPanel_->setCallback([this] { displayMainView(); }, [this] { zonePanel_->updateAll(); });
        propertyPage_ = static_cast<int>(m_book->GetPageCount());
        m_book->AddPage(propertyPanel_, L"Свойства", false);
    }
    return *propertyPanel_;
}

bool MainFrame::propertiesShown() const {
    return propertyPanel_ != nullptr && m_book->GetSelection() == propertyPage_;
}

void MainFrame::devicesOnButtonClick(wxCommandEvent& event) {
    debug::Place("frm::MainFrame::devicesOnButtonClick").trace(L"");
    displayMainView();
    event.Skip();
}

void MainFrame::playlistOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::playlistOnButtonClick").trace(L"");
    musicPanel_->buildControls();
    musicPanel_->setListOfPlaylist(musicList_);
    showView(musicPanel_);
}

void MainFrame::radioOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::radioOnButtonClick").trace(L"");
    radioPanel_->buildControls();
    radioPanel_->setListOfPlaylist(radioList_);
    showView(radioPanel_);
}

void MainFrame::schedulerOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::schedulerOnButtonClick").trace(L"");
    schedulerPanel_->buildControls();
    schedulerPanel_->setSettingsUnlocked(administrator_);
    schedulerPanel_->selectTask(false);
    buildPlaybackSources();
    showView(schedulerPanel_);
}

void MainFrame::serviceOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::serviceOnButtonClick").trace(L"");
    servicePanel_->buildControls();
    servicePanel_->reload();
    showView(servicePanel_);
}

void MainFrame::alarmOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::alarmOnButtonClick").trace(L"");
    alarmPanel_->buildControls();
    alarmPanel_->reload();
    showView(alarmPanel_);
}

void MainFrame::buildPlaybackSources() {
    std::vector<std::shared_ptr<PlaybackCollection>> sources;
    const auto playlists = [&](const wchar_t* title, const wchar_t* kind, const ListOfPlaylist& list) {
        auto source = PlaybackCollection::create(title, kind);
        for (const auto& playlist : list.getAll())
            source->add(std::make_shared<PlaybackPlaylist>(playlist->getName(), playlist));
        sources.push_back(std::move(source));
    };
    playlists(L"Плейлист", L"playlist", *musicList_);
    playlists(L"Радио", L"radio", *radioList_);
    // Only the media mounted now; each lists its files when its task starts.
    auto drives = PlaybackCollection::create(L"Накопители", PlaybackDrive::kSourceKind);
    for (const int kind : {removableDrive, opticalDrive}) {
        for (const wxString& mountPoint : getLogicalDrives(kind))
            drives->add(std::make_shared<PlaybackDrive>(mountPoint.ToStdWstring()));
    }
    sources.push_back(std::move(drives));
    auto messages = PlaybackCollection::create(L"Служебные сообщения", L"serviceMessage");
    for (const auto& message : servicePanel_->getPlaybackSources()) messages->add(message);
    sources.push_back(std::move(messages));
    auto recordings = PlaybackCollection::create(L"Микрофон", L"microphone");
    for (const auto& playback : microphonePanel_->getPlaybackSources()) recordings->add(playback);
    sources.push_back(std::move(recordings));
    schedulerPanel_->fillPlaceChoice(sources);
    schedulerPanel_->reload();
}

void MainFrame::microphoneOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::microphoneOnButtonClick").trace(L"");
    microphonePanel_->buildControls();
    microphonePanel_->fillRecordList(microphonePanel_->getRecordDirectory());
    microphonePanel_->fillGongChoises();
    showView(microphonePanel_);
}

void MainFrame::drivesOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::drivesOnButtonClick").trace(L"");
    drivesPanel_->buildControls();
    drivesPanel_->updateDriveList();
    showView(drivesPanel_);
}

void MainFrame::showView(wxWindow* page) {
    const int index = m_book->FindPage(page);
    if (locked_.load() || index == wxNOT_FOUND) return;
    if (propertiesShown()) propertyPanel_->killFocus();
    m_book->SetSelection(static_cast<std::size_t>(index));
}

void MainFrame::enableViewButtons() {
    const ViewSet existing = viewBit(View::playlist) | viewBit(View::radio) | viewBit(View::scheduler) |
                             viewBit(View::microphone) | viewBit(View::drives) |
                             viewBit(View::serviceMessages) | viewBit(View::alarmMessages);
    wxButton* const buttons[kViewCount] = {m_devicesButton,   m_playlistButton,   m_radioButton,
                                           m_schedulerButton, m_microphoneButton, m_serviceButton,
                                           m_alarmButton,     m_drivesButton};
    for (unsigned view = 0; view < kViewCount; ++view) {
        buttons[view]->Enable(viewEnabled(static_cast<View>(view), existing, locked_.load()));
    }
    m_settingsButton->Enable(!locked_.load());
    m_administratorButton->Enable(!locked_.load());
}

void MainFrame::onClock() {
    clockQueued_.store(false);
    const boost::posix_time::ptime now = base::clock::localNow();
    const auto date = now.date();
    const auto time = now.time_of_day();
    const wxString text =
        wxString::Format("%02d.%02d.%04d %02d:%02d:%02d", int(date.day()), int(date.month()),
                         int(date.year()), int(time.hours()), int(time.minutes()), int(time.seconds()));
    if (text == clockText_) return;
    clockText_ = text;
    m_statusBar->SetStatusText(text, 1);
}

// On the idle-lock thread.
void MainFrame::checkIdle() {
    const auto idle = std::chrono::steady_clock::duration(steadyTicks() - lastActivity_.load());
    if (!shouldLockForIdle(idle, pref::getInt(setting::securityInterfaceTimeout), locked_.load(),
                           isPasswordSet(setting::securityInterface)))
        return;
    if (!lockQueued_.exchange(true))
        GuiThreadInvoker::add([this] {
            lockQueued_.store(false);
            lockInterface();
        });
}

void MainFrame::lockInterface() {
    if (locked_.exchange(true)) return;
    debug::Place("frm::MainFrame::lockInterface").info(L"Интерфейс заблокирован");
    if (settingsDialog_ != nullptr && settingsDialog_->IsModal()) settingsDialog_->EndModal(wxID_CANCEL);
    pageBeforeLock_ = m_book->GetSelection();
    // The property page lets its device go; the device list comes back after the lock.
    if (propertiesShown()) {
        propertyPanel_->killFocus();
        pageBeforeLock_ = pageDevices;
    }
    m_book->SetSelection(pageLock);
    setAdministrator(false);
    enableViewButtons();
}

bool MainFrame::askPassword(const std::wstring& caption, const std::wstring& text,
                            const setting::Text& password) {
    if (!isPasswordSet(password)) {
        debug::Place("frm::MainFrame::askPassword")
            .notice(L"%1%", passwordNotSetText(password, pref::getBool(setting::mainWindowAlarmButtons)));
        return false;
    }
    const auto typed = questions_.askPassword(caption, text);
    if (!typed) return false;
    if (passwordMatches(*typed, password)) return true;
    debug::Place("frm::MainFrame::askPassword").warn(L"Неверный пароль");
    return false;
}

void MainFrame::unlockOnButtonClick(wxCommandEvent&) {
    const debug::Place place("frm::MainFrame::unlockOnButtonClick");
    place.trace(L"");
    // Without a password the lock could never open again: it opens without asking.
    if (isPasswordSet(setting::securityInterface) &&
        !askPassword(L"Разблокировка", L"Введите пароль для разблокировки интерфейса:",
                     setting::securityInterface))
        return;
    lastActivity_.store(steadyTicks());
    locked_.store(false);
    m_book->SetSelection(pageBeforeLock_ == pageLock ? pageDevices : pageBeforeLock_);
    enableViewButtons();
    place.info(L"Интерфейс разблокирован");
}

void MainFrame::settingsOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::MainFrame::settingsOnButtonClick").trace(L"");
    SettingsDialog dialog(this, administrator_, debug_);
    settingsDialog_ = &dialog;
    questions_.showModal(dialog);
    settingsDialog_ = nullptr;
}

void MainFrame::administratorOnToggleButton(wxCommandEvent&) {
    const debug::Place place("frm::MainFrame::administratorOnToggleButton");
    place.trace(L"");
    if (!m_administratorButton->GetValue()) {
        setAdministrator(false);
        place.info(L"Режим администратора выключен");
        return;
    }
    setAdministrator(askPassword(L"Режим администратора", L"Введите пароль администратора:",
                                 setting::securityAdministrator));
    if (administrator_) place.info(L"Режим администратора включён");
}

void MainFrame::setAdministrator(bool administrator) {
    administrator_ = administrator;
    m_administratorButton->SetValue(administrator);
    // The view shown now follows at once, not only when it is opened next.
    schedulerPanel_->setSettingsUnlocked(administrator);
}

bool MainFrame::askAlarmPassword() {
    return askPassword(L"Тревожное оповещение", L"Введите пароль для запуска тревожного оповещения:",
                       setting::securityPlaybackAlarm);
}

void MainFrame::restoreGeometry() {
    const int left = pref::getInt(setting::mainWindowLeft);
    const int top = pref::getInt(setting::mainWindowTop);
    const int width = pref::getInt(setting::mainWindowWidth);
    const int height = pref::getInt(setting::mainWindowHeight);
    if (width > 0 && height > 0) {
        const wxRect saved(left, top, width, height);
        // A window saved on a display that is gone comes back centred on the one there is.
        if (wxDisplay::GetFromPoint(saved.GetTopLeft()) != wxNOT_FOUND) {
            SetSize(saved);
        } else {
            SetSize(saved.GetSize());
            Centre();
        }
    }
    if (pref::getBool(setting::mainWindowMaximized)) Maximize();
}

void MainFrame::saveGeometry() {
    const bool maximized = IsMaximized();
    pref::setBool(setting::mainWindowMaximized.key, maximized);
    if (maximized || IsFullScreen() || IsIconized()) return;
    const wxRect rect = GetRect();
    pref::setInt(setting::mainWindowLeft.key, rect.x);
    pref::setInt(setting::mainWindowTop.key, rect.y);
    pref::setInt(setting::mainWindowWidth.key, rect.width);
    pref::setInt(setting::mainWindowHeight.key, rect.height);
}

void MainFrame::loadStateFiles() {
    const debug::Place place("frm::MainFrame::loadStateFiles");
    for (const wchar_t* name : kStateFiles) {
        const std::wstring file(name);
        SourceServicePanel* const messages = file == SourceServicePanel::kServiceFile ? servicePanel_
                                             : file == SourceServicePanel::kAlarmFile ? alarmPanel_
                                                                                      : nullptr;
        if (messages) {
            stateFiles_[file] = messages->load(dataFile(name));
            continue;
        }
        if (file == L"device_playback.xml") {
            stateFiles_[file] = drivesPanel_->load(dataFile(name));
            continue;
        }
        ListOfPlaylist* const playlists = file == ListOfPlaylist::kMusicFile   ? musicList_.get()
                                          : file == ListOfPlaylist::kRadioFile ? radioList_.get()
                                                                               : nullptr;
        if (file == SchedulerStore::kFileName) {
            // The tasks name their sources, which are built from the files read before.
            buildPlaybackSources();
            stateFiles_[file] = schedulerPanel_->load(dataFile(name));
            continue;
        }
        if (playlists) {
            stateFiles_[file] = playlists->load(dataFile(name));
            continue;
        }
        const bool own = file == L"device_collection.xml" || file == L"zone_collection.xml";
        if (!own) {
            place.debug(L"'%1%' is not read: its panel does not exist yet", file);
            continue;
        }
        boost::property_tree::wptree tree;
        const std::size_t bound =
            file == L"device_collection.xml" ? kDeviceCollectionFileSize : ZoneElement::kMaximumFileSize;
        const storage::StateFileRead read = storage::readStateFile(dataFile(name), tree, bound);
        stateFiles_[file] = read;
        if (read != storage::StateFileRead::loaded) continue;
        if (file == L"device_collection.xml") {
            deviceCounter_.store(std::max(deviceCounter_.load(), loadDeviceCollection(tree, *registry_)));
            for (const auto& device : registry_->getDevices()) refreshDevice(device);
        } else {
            const std::vector<ZoneElement::DevicePtr> known = registry_->getDevices();
            const ZoneElement::ZonePtr loaded =
                ZoneElement::fromTree(tree, [&](const net::HardwareAddress& address) {
                    for (const auto& device : known) {
                        if (device->getHardwareAddress().getHigh() == address.getHigh() &&
                            device->getHardwareAddress().getLow() == address.getLow())
                            return device;
                    }
                    return ZoneElement::DevicePtr();
                });
            {
                GuiLocker lock;
                // The root object stays the same: the panels hold it.
                *rootZone_ = std::move(*loaded);
            }
            zonePanel_->updateAll();
        }
    }
}

bool MainFrame::stateFileLoaded(const std::wstring& name) const {
    const auto read = stateFiles_.find(name);
    return read != stateFiles_.end() && read->second == storage::StateFileRead::loaded;
}

std::vector<std::pair<base::ChangeMark, StateSaver::Take>> MainFrame::keptKinds() {
    using Snapshot = StateSaver::Snapshot;
    std::vector<std::pair<base::ChangeMark, StateSaver::Take>> kinds;
    kinds.emplace_back(registry_->changes(), [registry = registry_] {
        return Snapshot{devicesFile(dataFile(L"device_collection.xml"), registry->getDevices())};
    });
    for (const auto& list : {musicList_, radioList_}) {
        const wchar_t* const name =
            list == musicList_ ? ListOfPlaylist::kMusicFile : ListOfPlaylist::kRadioFile;
        kinds.emplace_back(list->changes(),
                           [list, name] { return Snapshot{playlistsFile(dataFile(name), list)}; });
    }
    kinds.emplace_back(drivesPanel_->changes(), [panel = drivesPanel_] {
        return Snapshot{treeFile(dataFile(L"device_playback.xml"), kDevicePlaybackFileSize, panel->save())};
    });
    for (SourceServicePanel* const panel : {servicePanel_, alarmPanel_}) {
        const wchar_t* const name =
            panel == servicePanel_ ? SourceServicePanel::kServiceFile : SourceServicePanel::kAlarmFile;
        kinds.emplace_back(panel->changes(), [panel, name] {
            SourceServicePanel::Kept kept = panel->keep();
            return Snapshot{
                messagesFile(dataFile(name), std::move(kept.root), std::move(kept.messageFolder))};
        });
    }
    kinds.emplace_back(schedulerPanel_->changes(), [panel = schedulerPanel_] {
        return Snapshot{schedulerFile(dataFile(SchedulerStore::kFileName), panel->keep())};
    });
    kinds.emplace_back(zonePanel_->changes(), [root = rootZone_] {
        GuiLocker lock;
        return Snapshot{zonesFile(dataFile(L"zone_collection.xml"), *root)};
    });
    return kinds;
}

std::optional<std::pair<base::ChangeMark, StateSaver::Take>> MainFrame::settingsKind() {
    base::SingletonSlot<pref>::Use store(pref::instanceSlot());
    if (!store || store->path().empty() || store->keepsFileAsIs()) return std::nullopt;
    return std::make_pair(
        store->changes(), StateSaver::Take([path = base::fromUtf8(store->path())] {
            return StateSaver::Snapshot{{path, static_cast<std::size_t>(base::kMaximumReadFileSize), [] {
                                             base::SingletonSlot<pref>::Use settings(pref::instanceSlot());
                                             if (!settings) throw std::runtime_error("the settings are gone");
                                             return settings->text();
                                         }}};
        }));
}

void MainFrame::startSaving() {
    // Not before the state was read, nor after the stop began: a start that ends before the
    // window is up leaves every file as it found it.
    if (saving_ || !stateLoaded_ || shuttingDown_) return;
    saving_ = true;
    // The values the start set itself are written at the stop, as before.
    if (auto settings = settingsKind()) stateSaver_.watch(settings->first, std::move(settings->second));
    stateSaver_.start();
}

}  // namespace frm
