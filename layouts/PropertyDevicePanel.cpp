#include "layouts/PropertyDevicePanel.h"

#include <wx/font.h>
#include <wx/gbsizer.h>
#include <wx/statline.h>

#include "layouts/LayoutParts.h"

namespace frm::fb {
namespace {

constexpr int kGap = 5;

wxStaticText* label(wxWindow* parent, const wxString& text) {
    return new wxStaticText(parent, wxID_ANY, text);
}

// Flags of a control centred in its row.
constexpr int kCentred = wxALIGN_CENTER_VERTICAL | wxALL;

// A button or check box added to its sizer, by default with the usual border all round.
wxButton* button(wxWindow* parent, wxSizer* sizer, const wxString& text, int flags = wxALL,
                 int border = kGap) {
    return place(sizer, new wxButton(parent, wxID_ANY, text), 0, flags, border);
}

wxCheckBox* checkBox(wxWindow* parent, wxSizer* sizer, const wxString& text, int flags = wxALL,
                     int border = kGap) {
    return place(sizer, new wxCheckBox(parent, wxID_ANY, text), 0, flags, border);
}

// The vertical sizer of a page or panel.
wxBoxSizer* column(wxWindow* window) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    window->SetSizer(sizer);
    return sizer;
}

wxMenu* menu(std::initializer_list<std::pair<int, const wchar_t*>> items) {
    auto* created = new wxMenu();
    for (const auto& [id, text] : items) created->Append(id, text);
    return created;
}

wxChoice* choice(wxWindow* parent, std::initializer_list<const wchar_t*> items) {
    auto* control = new wxChoice(parent, wxID_ANY);
    for (const wchar_t* item : items) control->Append(item);
    if (!control->IsEmpty()) control->SetSelection(0);
    return control;
}

wxChoice* priorityChoice(wxWindow* parent) {
    return choice(parent, {L"7", L"6", L"5", L"4", L"3", L"2"});
}

// A scrolled list whose rows are laid out one under the other, taking the sizer's free room.
wxScrolledWindow* rowList(wxWindow* parent, wxSizer* sizer, wxBoxSizer*& rows) {
    auto* list = new wxScrolledWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxVSCROLL | wxBORDER_THEME | wxTAB_TRAVERSAL);
    list->SetScrollRate(0, 10);
    rows = column(list);
    return place(sizer, list, 1, wxEXPAND | wxALL, kGap);
}

// A row of a list as the derived panel builds them: a number, a text and a button, here with
// placeholder texts; it stays hidden.
wxPanel* templateRow(wxScrolledWindow* list, wxBoxSizer* rows, const wxString& button) {
    auto* row = new wxPanel(list, wxID_ANY);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(label(row, L" 00 "), 0, kCentred, kGap);
    place(sizer, new wxTextCtrl(row, wxID_ANY, wxEmptyString), 1, kCentred, kGap)->Disable();
    sizer->Add(new wxButton(row, wxID_ANY, button), 0, kCentred, kGap);
    row->SetSizer(sizer);
    rows->Add(row, 0, wxEXPAND);
    return row;
}

wxFont teletype(int points) {
    return wxFont(points, wxFONTFAMILY_TELETYPE, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                  L"Courier New");
}

}  // namespace

PropertyDevicePanel::PropertyDevicePanel(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                         const wxSize& size, long style, const wxString& name)
    : wxPanel(parent, id, pos, size, style, name) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    m_notebookPref = new wxNotebook(this, wxID_ANY);
    buildCommonPage();
    buildAudioMemoryPage();
    buildNetworkPage();
    buildNeridaPage();
    buildSourcePage();
    buildLinePage();
    buildPasskeyPage();
    buildZoneTargetsPage();
    buildLinkedConsolesPage();
    buildDebugPage();
    m_notebookPref->SetSelection(0);
    top->Add(m_notebookPref, 1, wxEXPAND | wxALL, kGap);

    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    m_deviceName = place(bar, label(this, wxEmptyString), 1, kCentred, kGap);
    m_deviceName->SetFont(m_deviceName->GetFont().Bold());
    m_apply = button(this, bar, L"&Применить");
    m_cancel = button(this, bar, L"&Отмена");
    m_close = button(this, bar, L"&Закрыть");
    top->Add(bar, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, kGap);

    SetSizer(top);
    Layout();
    bindEvents();
}

PropertyDevicePanel::~PropertyDevicePanel() {
    delete m_fragmentMenu;
    delete m_scenarioMenu;
    delete m_audioMemoryMenu;
}

wxPanel* PropertyDevicePanel::addPage(int id, const wxString& title) {
    auto* page = new wxPanel(m_notebookPref, id, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
    m_notebookPref->AddPage(page, title, false);
    return page;
}

void PropertyDevicePanel::buildCommonPage() {
    wxPanel* page = m_pageCommon = addPage(ID_PAGE_COMMON, L"Общие");
    wxBoxSizer* sizer = column(page);

    auto* nameRow = new wxBoxSizer(wxHORIZONTAL);
    m_nameLabel = place(nameRow, label(page, L"Название"), 0, kCentred, kGap);
    m_name = new wxTextCtrl(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                            wxDefaultValidator, L"name");
    nameRow->Add(m_name, 1, kCentred, kGap);
    sizer->Add(nameRow, 0, wxEXPAND);

    m_tribelWarning =
        label(page,
              L"Согласно действующих нормативно-правовых актов (НПА),\nдоступ к органам управления "
              L"пожарной консоли необходимо заблокировать (включите контроль доступа)");
    m_tribelWarning->SetForegroundColour(wxColour(255, 0, 0));
    sizer->Add(m_tribelWarning, 0, wxALL, kGap);

    auto* actions = new wxBoxSizer(wxHORIZONTAL);
    m_updateFirmware = button(page, actions, L"&Обновить прошивку");
    m_reboot = button(page, actions, L"Перезапустить");
    m_testDevice = button(page, actions, L"Тест устройства");
    sizer->Add(actions, 0, wxEXPAND);

    auto* middle = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);

    // The equalizer: the bass and treble pair of the older loudspeakers, the six bands of the
    // newer ones; only one of them is shown.
    m_equalizerCheck = checkBox(page, left, L"Эквалайзер");
    m_equalizerArea = new wxPanel(page, wxID_ANY);
    auto* area = new wxBoxSizer(wxVERTICAL);
    m_bassTreblePanel = new wxPanel(m_equalizerArea, wxID_ANY);
    auto* tone = new wxFlexGridSizer(2, 2, kGap, kGap);
    tone->AddGrowableCol(1);
    m_trebleLabel = label(m_bassTreblePanel, L"Высокие частоты");
    tone->Add(m_trebleLabel, 0, wxALIGN_CENTER_VERTICAL);
    m_trebleSlider = new wxSlider(m_bassTreblePanel, wxID_ANY, 0, -8, 7, wxDefaultPosition, wxSize(200, -1));
    tone->Add(m_trebleSlider, 1, wxEXPAND);
    m_bassLabel = label(m_bassTreblePanel, L"Нижние частоты");
    tone->Add(m_bassLabel, 0, wxALIGN_CENTER_VERTICAL);
    m_bassSlider = new wxSlider(m_bassTreblePanel, wxID_ANY, 0, 0, 15, wxDefaultPosition, wxSize(200, -1));
    tone->Add(m_bassSlider, 1, wxEXPAND);
    m_bassTreblePanel->SetSizer(tone);
    area->Add(m_bassTreblePanel, 0, wxEXPAND | wxALL, kGap);
    m_bandPanel = new wxPanel(m_equalizerArea, wxID_ANY);
    auto* bands = new wxBoxSizer(wxHORIZONTAL);
    const wchar_t* const bandNames[kBandCount] = {L"500 Гц", L"2 кГц", L"4 кГц",
                                                  L"6 кГц",  L"8 кГц", L"10 кГц"};
    for (int band = 0; band < kBandCount; ++band) {
        auto* column = new wxBoxSizer(wxVERTICAL);
        m_bands[band] = new wxSlider(m_bandPanel, wxID_ANY, 0, -8, 8, wxDefaultPosition, wxSize(-1, 120),
                                     wxSL_VERTICAL | wxSL_INVERSE | wxSL_AUTOTICKS);
        column->Add(m_bands[band], 1, wxALIGN_CENTER_HORIZONTAL);
        column->Add(label(m_bandPanel, bandNames[band]), 0, wxALIGN_CENTER_HORIZONTAL);
        bands->Add(column, 0, wxEXPAND | wxLEFT | wxRIGHT, kGap);
    }
    m_bandPanel->SetSizer(bands);
    area->Add(m_bandPanel, 0, wxALL, kGap);
    m_resetEqualizer = button(m_equalizerArea, area, L"Сбросить настройки эквалайзера");
    m_equalizerArea->SetSizer(area);
    left->Add(m_equalizerArea, 0, wxEXPAND);

    m_lineSettingsBox = new wxStaticBoxSizer(wxVERTICAL, page, L"Настройки линии");
    wxWindow* lineBox = m_lineSettingsBox->GetStaticBox();
    m_lineTest = checkBox(lineBox, m_lineSettingsBox, L"Контроль линии");
    m_lineMode = choice(lineBox, {L"Независимые линии", L"Соединенные линии"});
    m_lineSettingsBox->Add(m_lineMode, 0, wxALL, kGap);
    m_setLine = button(lineBox, m_lineSettingsBox, L"Измерить параметры линии");
    left->Add(m_lineSettingsBox, 0, wxEXPAND | wxALL, kGap);

    // The console's options.
    m_tribelPanel = new wxPanel(page, wxID_ANY);
    auto* consoleBox = new wxStaticBoxSizer(wxVERTICAL, m_tribelPanel, L"Настройки консоли");
    wxWindow* box = consoleBox->GetStaticBox();
    auto* typeRow = new wxBoxSizer(wxHORIZONTAL);
    m_tribelType =
        place(typeRow, choice(box, {L"Консоль оповещения", L"Пожарная консоль"}), 0, kCentred, kGap);
    typeRow->Add(label(box, L"Приоритет"), 0, kCentred, kGap);
    m_typePriority = new wxSpinCtrl(box, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                    wxSP_ARROW_KEYS, 0, 127, 0);
    typeRow->Add(m_typePriority, 0, kCentred, kGap);
    consoleBox->Add(typeRow);
    const auto check = [&](const wchar_t* text) { return checkBox(box, consoleBox, text, wxALL, 3); };
    m_keySound = check(L"Звуковое сопровождение при нажатии на клавиши и при использовании ключей");
    m_faultSound = check(L"Звуковое сопровождение при неисправности");
    m_singlePower = check(L"Разрешить один источник питания");
    m_analogInput = check(L"Включить аналоговый вход ГОиЧС");
    m_zoneIndication = check(L"Индикация зон с сообщениями");
    m_holdToTalk = check(L"Трансляция удерживанием кнопки активации микрофона");
    auto* power = new wxFlexGridSizer(2, 2, kGap, kGap);
    const auto powerChoice = [&](const wchar_t* text) {
        return addLabelled(
            power, text,
            choice(box, {L"Источник питания U1", L"Источник питания U2", L"ЛВС - PoE 1", L"ЛВС - PoE 2"}));
    };
    m_powerInput1 = powerChoice(L"Ввод питания 1");
    m_powerInput2 = powerChoice(L"Ввод питания 2");
    consoleBox->Add(power, 0, wxALL, kGap);
    auto* gongRow = new wxBoxSizer(wxHORIZONTAL);
    m_useGong = checkBox(box, gongRow, L"Использовать гонг перед вещанием с микрофона", kCentred);
    m_gongCombo = new wxComboBox(box, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(220, -1), 0, nullptr,
                                 wxCB_READONLY);
    gongRow->Add(m_gongCombo, 1, kCentred, kGap);
    consoleBox->Add(gongRow, 0, wxEXPAND);
    m_tribelPanel->SetSizer(consoleBox);
    left->Add(m_tribelPanel, 0, wxEXPAND | wxALL, kGap);
    middle->Add(left, 0, wxEXPAND);

    // Direct command exchange.
    m_directExchangePanel = new wxPanel(page, wxID_ANY);
    auto* exchangeBox = new wxStaticBoxSizer(wxVERTICAL, m_directExchangePanel, L"Прямой обмен командами");
    wxWindow* exchangeParent = exchangeBox->GetStaticBox();
    auto* commandRow = new wxBoxSizer(wxHORIZONTAL);
    m_command = new wxTextCtrl(exchangeParent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(250, -1),
                               wxTE_PROCESS_ENTER);
    m_command->SetToolTip(L"Команда");
    commandRow->Add(m_command, 1, kCentred, kGap);
    const auto smallButton = [&](const wchar_t* text, const wchar_t* tip) {
        // Exactly fitted: the toolkit's usual padding leaves no room for the label in 30 pixels.
        auto* button =
            new wxButton(exchangeParent, wxID_ANY, text, wxDefaultPosition, wxSize(30, -1), wxBU_EXACTFIT);
        button->SetToolTip(tip);
        commandRow->Add(button, 0, kCentred, kGap);
        return button;
    };
    m_exchange = smallButton(L">", L"Обмен");
    m_addCommand = smallButton(L"+", L"Добавить новую");
    m_commandSuite = smallButton(L"^", L"Управление набором");
    exchangeBox->Add(commandRow, 0, wxEXPAND);
    m_commandList = rowList(exchangeParent, exchangeBox, m_commandRows);
    m_reply = new wxTextCtrl(exchangeParent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(-1, 50),
                             wxTE_MULTILINE | wxTE_READONLY);
    m_reply->SetFont(teletype(10));
    exchangeBox->Add(m_reply, 0, wxEXPAND | wxALL, kGap);
    m_directExchangePanel->SetSizer(exchangeBox);
    middle->Add(m_directExchangePanel, 1, wxEXPAND | wxALL, kGap);
    sizer->Add(middle, 1, wxEXPAND);
}

void PropertyDevicePanel::buildAudioMemoryPage() {
    wxPanel* page = m_pageAudioMemory = addPage(ID_PAGE_AUDIO_MEMORY, L"Аудио память");
    wxBoxSizer* sizer = column(page);
    m_lowVolumeWarning = label(page, L"Громкость НИЖЕ номинального! (Обновите прошивку)");
    m_lowVolumeWarning->SetForegroundColour(wxColour(255, 0, 0));
    m_lowVolumeWarning->Hide();
    sizer->Add(m_lowVolumeWarning, 0, wxALL, kGap);

    auto* fragments = new wxStaticBoxSizer(wxVERTICAL, page, L"Фрагменты");
    m_fragmentList =
        new wxListCtrl(fragments->GetStaticBox(), wxID_ANY, wxDefaultPosition, wxSize(-1, 160), wxLC_REPORT);
    fragments->Add(m_fragmentList, 1, wxEXPAND | wxALL, kGap);
    sizer->Add(fragments, 1, wxEXPAND | wxALL, kGap);
    m_fragmentMenu = menu({{ID_FRAGMENT_PLAY, L"Воспроизвести"},
                           {ID_FRAGMENT_STOP, L"Остановить"},
                           {ID_FRAGMENT_ADD, L"Добавить"},
                           {ID_FRAGMENT_SAVE, L"Сохранить"},
                           {ID_FRAGMENT_DELETE, L"Удалить"}});

    m_scenarioBox = new wxStaticBoxSizer(wxVERTICAL, page, L"Сообщение");
    m_scenarioList = new wxListCtrl(m_scenarioBox->GetStaticBox(), wxID_ANY, wxDefaultPosition,
                                    wxSize(-1, 120), wxLC_REPORT);
    m_scenarioBox->Add(m_scenarioList, 1, wxEXPAND | wxALL, kGap);
    sizer->Add(m_scenarioBox, 1, wxEXPAND | wxALL, kGap);
    m_scenarioMenu = menu({{ID_SCENARIO_ADD, L"Добавить"},
                           {ID_SCENARIO_DELETE, L"Удалить"},
                           {ID_SCENARIO_PLAY, L"Воспроизвести"},
                           {ID_SCENARIO_STOP, L"Остановить"}});

    auto* bottom = new wxBoxSizer(wxHORIZONTAL);
    bottom->Add(label(page, L"Доступно памяти, байт"), 0, kCentred, kGap);
    m_freeMemory =
        new wxTextCtrl(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(140, -1), wxTE_READONLY);
    bottom->Add(m_freeMemory, 0, kCentred, kGap);
    m_audioMemoryButton = button(page, bottom, L"Аудио память", kCentred);
    m_stamp = place(bottom, label(page, L"Stamp"), 1, kCentred, kGap);
    sizer->Add(bottom, 0, wxEXPAND);
    m_audioMemoryMenu = menu({{ID_MEMORY_CLEAR, L"Очистить"},
                              {ID_MEMORY_REVERT, L"Сбросить изменения"},
                              {ID_MEMORY_SAVE_IMAGE, L"Сохранить образ"},
                              {ID_MEMORY_SAVE_RAW_IMAGE, L"Сохранить сырой образ с устройства"},
                              {ID_MEMORY_LOAD_IMAGE, L"Загрузить образ"}});
}

void PropertyDevicePanel::buildNetworkPage() {
    wxPanel* page = m_pageNetwork = addPage(ID_PAGE_NETWORK, L"Сеть");
    wxBoxSizer* sizer = column(page);
    auto* warning =
        label(page,
              L"Внимание! Не трогайте сетевые параметры без необходимости: с неверными значениями "
              L"устройство перестанет отвечать.");
    warning->SetForegroundColour(wxColour(255, 0, 0));
    sizer->Add(warning, 0, wxALL, kGap);
    m_lanRedundancy = checkBox(page, sizer, L"Резервирование ЛВС (локальная вычислительная сеть)");
    m_dhcp = checkBox(page, sizer, L"DHCP");

    auto* grid = new wxFlexGridSizer(2, kGap, kGap);
    const auto field = [&](const wchar_t* text, const wchar_t* name) {
        return addLabelled(grid, text,
                           new wxTextCtrl(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                                          wxDefaultValidator, name));
    };
    m_ip = field(L"IP-адрес", L"ip");
    m_mask = field(L"Маска подсети", L"mask");
    m_gateway = field(L"Основной шлюз", L"gateway");
    m_multicast = field(L"IP Мультикаст-вещания", L"multicast");
    m_basePort = addLabelled(grid, L"Базовый порт",
                             new wxSpinCtrl(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                            wxSP_ARROW_KEYS, 2000, 65000, 11990));
    m_allowIp = new wxCheckBox(page, wxID_ANY, L"Разрешить IP");
    grid->Add(m_allowIp, 0, wxALIGN_CENTER_VERTICAL);
    m_allowedIp = new wxTextCtrl(page, wxID_ANY, L"0.0.0.0");
    grid->Add(m_allowedIp, 0);
    sizer->Add(grid, 0, wxALL, kGap);
    sizer->Add(label(page,
                     L"IP мультикаст-вещания и базовый порт должны быть одинаковыми на всех совместно "
                     L"работающих устройствах\nи совпадать с настройками вещания программы."),
               0, wxALL, kGap);
    m_igmp = checkBox(page, sizer, L"Дополнительные IGMP-пакеты");
}

void PropertyDevicePanel::buildNeridaPage() {
    wxPanel* page = m_pageNerida = addPage(ID_PAGE_NERIDA, L"Нерида");
    wxBoxSizer* sizer = column(page);
    auto* addressRow = new wxBoxSizer(wxHORIZONTAL);
    addressRow->Add(label(page, L"Адрес"), 0, kCentred, kGap);
    m_neridaAddress = new wxSpinCtrl(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                     wxSP_ARROW_KEYS, 0, 127, 0);
    addressRow->Add(m_neridaAddress, 0, kCentred, kGap);
    sizer->Add(addressRow);
    m_neridaRelay = checkBox(page, sizer, L"События реле");
    m_neridaTest = checkBox(page, sizer, L"Индикация ошибки интерфейса");
    m_neridaReserve = checkBox(page, sizer, L"Резервирование линии");
}

void PropertyDevicePanel::buildSourcePage() {
    wxPanel* page = m_pageSource = addPage(ID_PAGE_SOURCE, L"Источники");
    wxBoxSizer* sizer = column(page);

    auto* sources = new wxStaticBoxSizer(wxVERTICAL, page, L"Источники воспроизведения");
    wxWindow* sourceBox = sources->GetStaticBox();
    m_allowOtherStream =
        checkBox(sourceBox, sources, L"Разрешить воспроизводить поток с других модулей", wxALL, 3);
    m_passInput1 = checkBox(sourceBox, sources, L"Передавать поток со входа 1 на другие модули", wxALL, 3);
    m_passInput2 = checkBox(sourceBox, sources, L"Передавать поток со входа 2 на другие модули", wxALL, 3);
    sizer->Add(sources, 0, wxEXPAND | wxALL, kGap);

    auto* priorities = new wxStaticBoxSizer(
        wxVERTICAL, page, L"Приоритеты источников воспроизведения (больше число - выше приоритет)");
    wxWindow* box = priorities->GetStaticBox();
    auto* table = new wxFlexGridSizer(4, 3, 12);
    table->AddGrowableCol(2);
    for (const wchar_t* heading :
         {L"Вход", L"Приоритет", L"ГОиЧС / Микрофон / Сообщение", L"Целостность линии"}) {
        auto* text = label(box, heading);
        text->SetFont(text->GetFont().Bold());
        // Sized for the bold text, which is wider than the text it was made with.
        text->SetMinSize(text->GetTextExtent(heading));
        table->Add(text, 0, wxALIGN_CENTER_VERTICAL);
    }
    // The fire console and the announcement console keep their priorities: the highest and the
    // lowest.
    const auto fixedRow = [&](const wchar_t* text, const wchar_t* priority) {
        table->Add(label(box, text), 0, wxALIGN_CENTER_VERTICAL);
        table->Add(label(box, priority), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, kGap);
        table->AddSpacer(0);
        table->AddSpacer(0);
    };
    const auto row = [&](const wchar_t* text, wxChoice*& priority, wxStaticText** rowLabel = nullptr) {
        auto* name = label(box, text);
        if (rowLabel) *rowLabel = name;
        table->Add(name, 0, wxALIGN_CENTER_VERTICAL);
        priority = priorityChoice(box);
        table->Add(priority, 0);
    };
    const auto inputRow = [&](const wchar_t* text, wxChoice*& priority, wxChoice*& scenario,
                              wxCheckBox*& integrity) {
        row(text, priority);
        scenario = choice(box, {L"ГОиЧС / Микрофон"});
        table->Add(scenario, 1, wxEXPAND);
        integrity = new wxCheckBox(box, wxID_ANY, L"Контроль целостности линии");
        table->Add(integrity, 0, wxALIGN_CENTER_VERTICAL);
    };
    const auto plainRow = [&](const wchar_t* text, wxChoice*& priority, wxStaticText** rowLabel = nullptr) {
        row(text, priority, rowLabel);
        table->AddSpacer(0);
        table->AddSpacer(0);
    };
    fixedRow(L"Пожарная микрофонная консоль", L"8");
    plainRow(L"Сообщения (протокол Нерида)", m_priVoiceAlert);
    inputRow(L"Аналоговый вход 2 (ГОиЧС)", m_priAin1, m_ain1Scenario, m_ain1LineIntegrity);
    inputRow(L"Аналоговый вход 1 (ГОиЧС)", m_priAin0, m_ain0Scenario, m_ain0LineIntegrity);
    plainRow(L"Аналоговый вход - мультикаст", m_priStreamMCast);
    plainRow(L"Аналоговый вход - консоль", m_priZoneInput);
    plainRow(L"Поток Мелвокса (Тревожное)", m_priStream, &m_priStreamLabel);
    fixedRow(L"Микрофонная консоль оповещения", L"1");
    priorities->Add(table, 0, wxEXPAND | wxALL, kGap);
    sizer->Add(priorities, 0, wxEXPAND | wxALL, kGap);

    auto* pressure = new wxBoxSizer(wxHORIZONTAL);
    m_soundPressure = button(page, pressure, L"Тест звукового давления (1 кГц)", kCentred);
    auto* warning =
        label(page, L"Внимание! Максимальная громкость!\nНажимать только для измерения звукового давления.");
    warning->SetForegroundColour(wxColour(255, 0, 0));
    pressure->Add(warning, 0, kCentred, kGap);
    sizer->Add(pressure);
}

void PropertyDevicePanel::buildLinePage() {
    wxPanel* page = m_pageLine = addPage(ID_PAGE_LINE_CONTROL, L"Линия");
    wxBoxSizer* sizer = column(page);
    m_tipBox = new wxStaticBoxSizer(wxVERTICAL, page, L"Оконечные устройства");
    wxWindow* box = m_tipBox->GetStaticBox();
    m_tipVersion = place(m_tipBox, label(box, L"Версия"), 0, wxALL, kGap);
    m_tipStatus = place(m_tipBox, label(box, wxEmptyString), 0, wxALL, kGap);
    auto* controls = new wxBoxSizer(wxHORIZONTAL);
    m_powerSave = checkBox(box, controls, L"Энергосбережение", kCentred);
    controls->AddStretchSpacer(1);
    m_tipReboot = button(box, controls, L"Перезагрузить");
    m_tipAddAll = button(box, controls, L"Добавить все");
    m_tipRemoveAll = button(box, controls, L"Удалить все");
    m_tipBox->Add(controls, 0, wxEXPAND);
    m_tipList = rowList(box, m_tipBox, m_tipRows);
    m_tipTemplateRow = templateRow(m_tipList, m_tipRows, L"Добавить");
    sizer->Add(m_tipBox, 1, wxEXPAND | wxALL, kGap);
}

void PropertyDevicePanel::buildPasskeyPage() {
    wxPanel* page = m_pagePasskey = addPage(ID_PAGE_PASSKEY, L"Ключи");
    wxBoxSizer* sizer = column(page);
    auto* keys = new wxStaticBoxSizer(wxVERTICAL, page, L"Ключи доступа");
    wxWindow* box = keys->GetStaticBox();
    m_accessControlPanel = place(keys, new wxPanel(box, wxID_ANY), 0, wxALL, kGap);
    auto* toggle = new wxBoxSizer(wxHORIZONTAL);
    m_accessControl =
        place(toggle, new wxToggleButton(m_accessControlPanel, wxID_ANY, L"Включить контроль доступа"), 0,
              wxALL, 3);
    m_accessControlPanel->SetSizer(toggle);
    m_passkeyHint = place(keys, label(box, L"Прислоните ключ к считывателю для добавления"), 0, wxALL, kGap);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_addPasskey = button(box, buttons, L"Начать добавление");
    m_resetPasskeys = button(box, buttons, L"Удалить все");
    keys->Add(buttons);
    m_passkeyList = rowList(box, keys, m_passkeyRows);
    m_passkeyTemplateRow = templateRow(m_passkeyList, m_passkeyRows, L"Удалить");
    sizer->Add(keys, 1, wxEXPAND | wxALL, kGap);
}

void PropertyDevicePanel::buildZoneTargetsPage() {
    wxPanel* page = m_pageZoneTargets = addPage(ID_PAGE_ZONE_TARGETS, L"Зоны трансляции");
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    page->SetSizer(sizer);
    auto* left = new wxBoxSizer(wxVERTICAL);
    m_zoneButtonsPanel = new wxPanel(page, wxID_ANY);
    auto* grid = new wxGridSizer(5, 4, 3, 3);
    for (int zone = 0; zone < kZoneCount; ++zone) {
        m_zoneButtons[zone] =
            new wxToggleButton(m_zoneButtonsPanel, wxID_ANY, wxString::Format(L"%d", zone + 1),
                               wxDefaultPosition, wxSize(48, 32));
        grid->Add(m_zoneButtons[zone], 0, wxEXPAND);
    }
    m_zoneButtonsPanel->SetSizer(grid);
    left->Add(m_zoneButtonsPanel, 0, wxALL, kGap);
    m_zoneMessage = new wxComboBox(page, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(230, -1), 0,
                                   nullptr, wxCB_READONLY);
    left->Add(m_zoneMessage, 0, wxEXPAND | wxALL, kGap);
    m_zoneMemoryHint = label(page, L"Для выбора сообщений необходима одинаковая аудио память");
    m_zoneMemoryHint->Wrap(230);
    m_zoneMemoryHint->Hide();
    left->Add(m_zoneMemoryHint, 0, wxALL, kGap);
    m_removeZone = button(page, left, L"Удалить зону", wxEXPAND | wxALL);
    m_resetZones = button(page, left, L"Удалить все зоны", wxEXPAND | wxALL);
    m_fixZones = button(page, left, L"Исправить целостность связей", wxEXPAND | wxALL);
    sizer->Add(left, 0, wxEXPAND);
    auto* right = new wxBoxSizer(wxVERTICAL);
    m_allZones = checkBox(page, right, L"Все");
    m_zoneDeviceList = rowList(page, right, m_zoneDeviceRows);
    sizer->Add(right, 1, wxEXPAND);
}

void PropertyDevicePanel::buildLinkedConsolesPage() {
    wxPanel* page = m_pageLinkedConsoles = addPage(ID_PAGE_LINKED_CONSOLES, L"Связанные консоли");
    wxBoxSizer* sizer = column(page);
    m_linkedConsoleList = rowList(page, sizer, m_linkedConsoleRows);
    m_fixLinks = button(page, sizer, L"Исправить целостность связей");
}

void PropertyDevicePanel::buildDebugPage() {
    wxPanel* page = m_pageDebug = addPage(ID_PAGE_DEBUG_MESSAGE, L"Отладочные сообщения");
    wxBoxSizer* sizer = column(page);

    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    m_debugMain = place(bar, new wxToggleButton(page, wxID_ANY, L"Главные"), 0, kCentred, 3);
    m_debugMain->SetValue(true);
    m_debugLine = place(bar, new wxToggleButton(page, wxID_ANY, L"Контроль линии"), 0, kCentred, 3);
    m_debugRequest = checkBox(page, bar, wxEmptyString, kCentred, 3);
    m_debugMark = place(bar, label(page, L"⚪"), 0, kCentred, 3);
    m_refreshTime = choice(page, {L"50", L"100", L"150", L"200", L"300", L"400", L"500", L"700", L"1000",
                                  L"1500", L"2000", L"3000", L"4000", L"5000"});
    m_refreshTime->SetToolTip(L"Частота обновления");
    bar->Add(m_refreshTime, 0, kCentred, 3);
    m_copy = button(page, bar, L"Копировать", kCentred, 3);
    m_clear = button(page, bar, L"Очистить", kCentred, 3);
    m_chart = checkBox(page, bar, L"График", kCentred, 3);
    bar->AddStretchSpacer(1);
    bar->Add(label(page, L"Громкость"), 0, kCentred, 3);
    m_volumeSlider = new wxSlider(page, wxID_ANY, 0, 0, 100, wxDefaultPosition, wxSize(200, -1),
                                  wxSL_HORIZONTAL | wxSL_LABELS, wxDefaultValidator, L"volume");
    bar->Add(m_volumeSlider, 0, kCentred, 3);
    sizer->Add(bar, 0, wxEXPAND);

    m_mainSplitter =
        new wxSplitterWindow(page, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D | wxSP_LIVE_UPDATE);
    m_mainSplitter->SetMinimumPaneSize(50);
    m_debugTextScroll = new wxScrolledWindow(m_mainSplitter, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                             wxHSCROLL | wxVSCROLL | wxBORDER_THEME);
    m_debugTextScroll->SetScrollRate(5, 5);
    auto* textSizer = new wxBoxSizer(wxVERTICAL);
    m_debugTextPanel = new wxPanel(m_debugTextScroll, wxID_ANY, wxDefaultPosition, wxSize(300, 300));
    m_debugTextPanel->SetBackgroundColour(*wxWHITE);
    textSizer->Add(m_debugTextPanel, 1, wxEXPAND);
    m_debugTextScroll->SetSizer(textSizer);

    m_historySplitter = new wxSplitterWindow(m_mainSplitter, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                             wxSP_3D | wxSP_LIVE_UPDATE);
    m_historySplitter->SetMinimumPaneSize(40);
    auto* exchange = new wxPanel(m_historySplitter, wxID_ANY);
    auto* exchangeSizer = new wxBoxSizer(wxVERTICAL);
    auto* commandRow = new wxBoxSizer(wxHORIZONTAL);
    m_debugCommand = new wxTextCtrl(exchange, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                    wxTE_PROCESS_ENTER);
    commandRow->Add(m_debugCommand, 1, kCentred, 3);
    m_debugExchange = button(exchange, commandRow, L"Обмен", kCentred, 3);
    exchangeSizer->Add(commandRow, 0, wxEXPAND);
    m_debugReply = new wxTextCtrl(exchange, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxTE_MULTILINE | wxTE_READONLY);
    m_debugReply->SetFont(teletype(10));
    exchangeSizer->Add(m_debugReply, 1, wxEXPAND | wxALL, 3);
    exchange->SetSizer(exchangeSizer);

    m_historyPanel = new wxPanel(m_historySplitter, wxID_ANY);
    auto* history = new wxBoxSizer(wxVERTICAL);
    const long historyStyle = wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2;
    m_debugHistoryMain = new wxTextCtrl(m_historyPanel, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                        wxDefaultSize, historyStyle);
    history->Add(m_debugHistoryMain, 2, wxEXPAND | wxALL, 3);
    m_debugHistoryLine = new wxTextCtrl(m_historyPanel, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                        wxDefaultSize, historyStyle);
    m_debugHistoryLine->Hide();
    history->Add(m_debugHistoryLine, 2, wxEXPAND | wxALL, 3);
    m_consoleLog = new wxTextCtrl(m_historyPanel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxTE_MULTILINE | wxTE_READONLY);
    history->Add(m_consoleLog, 1, wxEXPAND | wxALL, 3);
    m_historyPanel->SetSizer(history);

    m_historySplitter->SplitHorizontally(exchange, m_historyPanel, 200);
    m_mainSplitter->SplitVertically(m_debugTextScroll, m_historySplitter, 360);
    sizer->Add(m_mainSplitter, 1, wxEXPAND | wxALL, 3);
    m_chartPanel = new wxPanel(page, wxID_ANY);
    m_chartPanel->Hide();
    sizer->Add(m_chartPanel, 1, wxEXPAND | wxALL, 3);
}

void PropertyDevicePanel::bindEvents() {
    using Self = PropertyDevicePanel;
    m_notebookPref->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &Self::notebookPrefOnNotebookPageChanged, this);
    m_apply->Bind(wxEVT_BUTTON, &Self::applyOnButtonClick, this);
    m_cancel->Bind(wxEVT_BUTTON, &Self::cancelOnButtonClick, this);
    m_close->Bind(wxEVT_BUTTON, &Self::closeOnButtonClick, this);

    // Edits that only mark the page changed.
    for (wxWindow* text : {static_cast<wxWindow*>(m_name), static_cast<wxWindow*>(m_ip),
                           static_cast<wxWindow*>(m_mask), static_cast<wxWindow*>(m_gateway),
                           static_cast<wxWindow*>(m_multicast), static_cast<wxWindow*>(m_allowedIp)})
        text->Bind(wxEVT_CHAR, &Self::enableApplyOnChar, this);
    for (wxCheckBox* box :
         {m_lineTest, m_keySound, m_analogInput, m_faultSound, m_zoneIndication, m_holdToTalk, m_useGong,
          m_lanRedundancy, m_igmp, m_neridaRelay, m_neridaReserve, m_ain0LineIntegrity, m_ain1LineIntegrity})
        box->Bind(wxEVT_CHECKBOX, &Self::enableApplyOnChar, this);
    for (wxChoice* control : {m_lineMode, m_powerInput1, m_powerInput2, m_priVoiceAlert, m_priAin1, m_priAin0,
                              m_priStreamMCast, m_priZoneInput, m_priStream, m_ain0Scenario, m_ain1Scenario})
        control->Bind(wxEVT_CHOICE, &Self::enableApplyOnChar, this);
    for (wxSpinCtrl* spin : {m_typePriority, m_basePort, m_neridaAddress})
        spin->Bind(wxEVT_SPINCTRL, &Self::enableApplyOnChar, this);
    m_gongCombo->Bind(wxEVT_COMBOBOX, &Self::enableApplyOnSettingChanged, this);
    m_zoneMessage->Bind(wxEVT_COMBOBOX, &Self::enableApplyOnSettingChanged, this);

    // "Общие".
    Bind(wxEVT_SIZE, &Self::OnSize, this);
    m_command->Bind(wxEVT_TEXT_ENTER, &Self::textDebugExchangeOnPress, this);
    m_exchange->Bind(wxEVT_BUTTON, &Self::buttonDebugExchangeOnClick, this);
    m_addCommand->Bind(wxEVT_BUTTON, &Self::addCommandOnButtonClick, this);
    m_commandSuite->Bind(wxEVT_BUTTON, &Self::commandSuiteOnButtonClick, this);
    m_updateFirmware->Bind(wxEVT_BUTTON, &Self::updateFirmwareOnButtonClick, this);
    m_reboot->Bind(wxEVT_BUTTON, &Self::rebootOnClick, this);
    m_testDevice->Bind(wxEVT_BUTTON, &Self::testDeviceOnButtonClick, this);
    m_setLine->Bind(wxEVT_BUTTON, &Self::buttonSetLineOnClick, this);
    m_equalizerCheck->Bind(wxEVT_CHECKBOX, &Self::onCheckBoxEqualizer, this);
    m_bassSlider->Bind(wxEVT_LEFT_UP, &Self::onLeftUpBassSlider, this);
    m_trebleSlider->Bind(wxEVT_LEFT_UP, &Self::onLeftUpTrebleSlider, this);
    for (wxSlider* band : m_bands) band->Bind(wxEVT_SCROLL_CHANGED, &Self::onBandSlider, this);
    m_resetEqualizer->Bind(wxEVT_BUTTON, &Self::resetEqOnButtonClick, this);
    m_tribelType->Bind(wxEVT_CHOICE, &Self::changeTribelTypeOnChoice, this);
    m_singlePower->Bind(wxEVT_CHECKBOX, &Self::singlePowerOnCheckBox, this);

    // "Аудио память".
    m_fragmentList->Bind(wxEVT_RIGHT_DOWN, &Self::listCtrlAudioFragmentOnRightDown, this);
    m_fragmentList->Bind(wxEVT_LIST_ITEM_DESELECTED, &Self::listCtrlAudioFragmentOnListItemDeselected, this);
    m_fragmentList->Bind(wxEVT_LIST_ITEM_SELECTED, &Self::listCtrlAudioFragmentOnListItemSelected, this);
    m_fragmentList->Bind(wxEVT_RIGHT_UP, &Self::listCtrlAudioFragmentOnRightUp, this);
    m_scenarioList->Bind(wxEVT_LIST_ITEM_DESELECTED, &Self::listCtrlAudioScenarioOnListItemDeselected, this);
    m_scenarioList->Bind(wxEVT_LIST_ITEM_SELECTED, &Self::listCtrlAudioScenarioOnListItemSelected, this);
    m_scenarioList->Bind(wxEVT_RIGHT_DOWN, &Self::listCtrlAudioScenarioOnRightDown, this);
    m_scenarioList->Bind(wxEVT_RIGHT_UP, &Self::listCtrlAudioScenarioOnRightUp, this);
    const std::pair<int, void (Self::*)(wxCommandEvent&)> menuItems[] = {
        {ID_FRAGMENT_PLAY, &Self::menuFragmentPlayOnSelection},
        {ID_FRAGMENT_STOP, &Self::menuAudioStopOnSelection},
        {ID_FRAGMENT_ADD, &Self::menuFragmentAddOnSelection},
        {ID_FRAGMENT_SAVE, &Self::menuFragmentSaveOnSelection},
        {ID_FRAGMENT_DELETE, &Self::menuFragmentDeleteOnSelection},
        {ID_SCENARIO_ADD, &Self::menuScenarioAddOnSelection},
        {ID_SCENARIO_DELETE, &Self::menuScenarioDeleteOnSelection},
        {ID_SCENARIO_PLAY, &Self::menuScenarioPlayOnSelection},
        {ID_SCENARIO_STOP, &Self::menuAudioStopOnSelection},
        {ID_MEMORY_CLEAR, &Self::clearMemory},
        {ID_MEMORY_REVERT, &Self::revertChanges},
        {ID_MEMORY_SAVE_IMAGE, &Self::saveImageMemory},
        {ID_MEMORY_SAVE_RAW_IMAGE, &Self::saveRawImageMemory},
        {ID_MEMORY_LOAD_IMAGE, &Self::loadImageMemory},
    };
    // The menus pop up over this panel, whose handler takes their items.
    for (const auto& [id, handler] : menuItems) Bind(wxEVT_MENU, handler, this, id);
    m_audioMemoryButton->Bind(wxEVT_BUTTON, &Self::audioMemoryOnButtonClick, this);

    // "Сеть", "Нерида", "Источники".
    m_dhcp->Bind(wxEVT_CHECKBOX, &Self::dhcpOnCheckBox, this);
    m_allowIp->Bind(wxEVT_CHECKBOX, &Self::allowIpOnCheckBox, this);
    m_neridaTest->Bind(wxEVT_CHECKBOX, &Self::onCheckBoxIsTestNerida, this);
    m_allowOtherStream->Bind(wxEVT_CHECKBOX, &Self::sourceOnCheckBox, this);
    m_passInput1->Bind(wxEVT_CHECKBOX, &Self::sourcePriorityOnCheckBox, this);
    m_passInput2->Bind(wxEVT_CHECKBOX, &Self::sourcePriorityOnCheckBox, this);
    m_soundPressure->Bind(wxEVT_BUTTON, &Self::testSoundPressureOnButtonClick, this);

    // "Линия", "Ключи".
    m_powerSave->Bind(wxEVT_CHECKBOX, &Self::tipDevicesOnCheckBox, this);
    m_tipReboot->Bind(wxEVT_BUTTON, &Self::rebootMasterOfTipDevices, this);
    m_tipAddAll->Bind(wxEVT_BUTTON, &Self::addAllTipDevices_onButtonClick, this);
    m_tipRemoveAll->Bind(wxEVT_BUTTON, &Self::resetPrefOnButtonClick, this);
    m_accessControl->Bind(wxEVT_TOGGLEBUTTON, &Self::accessControlOnToggleButton, this);
    m_addPasskey->Bind(wxEVT_BUTTON, &Self::addPasskeyOnButtonClick, this);
    m_resetPasskeys->Bind(wxEVT_BUTTON, &Self::resetPasskeysOnButtonClick, this);

    // "Зоны трансляции", "Связанные консоли".
    for (wxToggleButton* zone : m_zoneButtons) zone->Bind(wxEVT_TOGGLEBUTTON, &Self::toggleZoneButton, this);
    m_removeZone->Bind(wxEVT_BUTTON, &Self::removeZoneOnButtonClick, this);
    m_resetZones->Bind(wxEVT_BUTTON, &Self::resetZonesOnButtonClick, this);
    m_fixZones->Bind(wxEVT_BUTTON, &Self::fixZoneIntegrityOnButtonClick, this);
    m_fixLinks->Bind(wxEVT_BUTTON, &Self::fixZoneIntegrityOnButtonClick, this);
    m_allZones->Bind(wxEVT_CHECKBOX, &Self::allZonesOnCheckBox, this);

    // "Отладочные сообщения".
    m_debugMain->Bind(wxEVT_TOGGLEBUTTON, &Self::debugTargetOnToggleButton, this);
    m_debugLine->Bind(wxEVT_TOGGLEBUTTON, &Self::debugTargetOnToggleButton, this);
    m_debugRequest->Bind(wxEVT_CHECKBOX, &Self::debugMessagesOnCheckBox, this);
    m_refreshTime->Bind(wxEVT_CHOICE, &Self::refreshTimeOnChoice, this);
    m_copy->Bind(wxEVT_BUTTON, &Self::copyOnButtonClick, this);
    m_clear->Bind(wxEVT_BUTTON, &Self::clearOnButtonClick, this);
    m_volumeSlider->Bind(wxEVT_SCROLL_CHANGED, &Self::setVolumeOnScrollChanged, this);
    m_chart->Bind(wxEVT_CHECKBOX, &Self::chartOnCheckBox, this);
    m_debugCommand->Bind(wxEVT_TEXT_ENTER, &Self::textDebugExchangeOnPress, this);
    m_debugExchange->Bind(wxEVT_BUTTON, &Self::buttonDebugExchangeOnClick, this);
    m_debugTextPanel->Bind(wxEVT_PAINT, &Self::paintTextOnPanel, this);
}

}  // namespace frm::fb
