#include "app/kit/DeviceListModel.h"

#include "devicelink/DeviceBase.h"
#include "devicelink/DeviceType.h"
#include "foundation/TextConversion.h"

namespace frm {
namespace {

constexpr base::RgbColour kInService{0, 0, 0};
constexpr base::RgbColour kNotResponding{200, 0, 0};
constexpr base::RgbColour kOffline{128, 128, 128};

// The window images of resources/ResourceTable.
constexpr int kSpeakerOffline = 10, kSpeakerNormal = 11, kSpeakerError = 15;
constexpr int kMicrophoneOffline = 19, kMicrophoneNormal = 20, kMicrophoneError = 22;

const wchar_t kUnknown[] = L"—";

// The numbers of a version text ("Vokar-B 2.01.03.17 [2023-04-05 10:11:12]" gives "2.01.03.17").
std::wstring versionNumbers(const std::string& text) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return kUnknown;
    const std::size_t end = text.find(' ', blank + 1);
    return base::widen(
        text.substr(blank + 1, end == std::string::npos ? std::string::npos : end - blank - 1));
}

}  // namespace

const std::array<const wchar_t*, DeviceListModel::columnCount> DeviceListModel::columnTitles = {
    L"Название", L"IP адрес", L"Тип", L"Версия", L"Состояние", L"Громкость"};

DeviceView DeviceView::of(device::DeviceBase& device) {
    DeviceView view;
    view.hardwareAddress = device.getHardwareAddress().toCharArray();
    view.name = device.getDisplayName();
    const net::IpAndPort address = device.getAddress();
    if (address.isValid()) view.ip = address.getText();
    const device::Version version = device.getVersion();
    if (version.type != 0) view.typeText = device::toText(version.type);
    view.versionText = version.text;
    view.console = device.isType(device::types::console);
    view.online = device.isOnline();
    view.responding = device.responding.load();
    view.volume = device.volume.load();
    return view;
}

DeviceListModel::Row DeviceListModel::describe(const DeviceView& view) {
    Row row;
    row.texts[name] = view.name;
    row.texts[address] = view.ip.empty() ? kUnknown : base::widen(view.ip);
    row.texts[type] = view.typeText.empty() ? kUnknown : base::widen(view.typeText);
    row.texts[version] = view.versionText.empty() ? kUnknown : versionNumbers(view.versionText);
    const bool inService = view.online && view.responding;
    if (inService) {
        row.texts[state] = L"В сети";
        row.colour = kInService;
        row.image = view.console ? kMicrophoneNormal : kSpeakerNormal;
    } else if (view.online) {
        row.texts[state] = L"Не отвечает";
        row.colour = kNotResponding;
        row.image = view.console ? kMicrophoneError : kSpeakerError;
    } else {
        row.texts[state] = L"Не в сети";
        row.colour = kOffline;
        row.image = view.console ? kMicrophoneOffline : kSpeakerOffline;
    }
    const bool volumeKnown = inService && view.volume != device::kUnknownVolume;
    row.texts[volume] = volumeKnown ? std::to_wstring(view.volume) + L" %" : kUnknown;
    return row;
}

std::size_t DeviceListModel::update(const DeviceView& view, bool* inserted) {
    const auto found = indexes_.find(view.hardwareAddress);
    if (inserted != nullptr) *inserted = found == indexes_.end();
    if (found != indexes_.end()) {
        rows_[found->second] = describe(view);
        return found->second;
    }
    const std::size_t index = rows_.size();
    rows_.push_back(describe(view));
    addresses_.push_back(view.hardwareAddress);
    indexes_.emplace(view.hardwareAddress, index);
    return index;
}

std::optional<std::size_t> DeviceListModel::remove(const std::string& hardwareAddress) {
    const auto found = indexes_.find(hardwareAddress);
    if (found == indexes_.end()) return std::nullopt;
    const std::size_t index = found->second;
    indexes_.erase(found);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    addresses_.erase(addresses_.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t moved = index; moved < addresses_.size(); ++moved) indexes_[addresses_[moved]] = moved;
    return index;
}

std::vector<std::size_t> DeviceListModel::chosenAfterRemoval(const std::vector<std::size_t>& chosen,
                                                             std::size_t removed) {
    std::vector<std::size_t> kept;
    for (const std::size_t row : chosen) {
        if (row != removed) kept.push_back(row < removed ? row : row - 1);
    }
    return kept;
}

}  // namespace frm
