#include "app/kit/ProgressBarDialog.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "devicelink/DeviceBase.h"
#include "foundation/GuiThreadInvoker.h"
#include "foundation/Place.h"

namespace frm {

// The dialog while its reports are still wanted; touched on the GUI thread only.
struct ProgressBarDialog::Token {
    ProgressBarDialog* dialog;
};

ProgressBarDialog::ProgressBarDialog(wxWindow* parent, const wxString& title)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxCAPTION),
      token_(std::make_shared<Token>(Token{this})) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    lines_ = new wxFlexGridSizer(3, wxSize(10, 5));
    lines_->AddGrowableCol(1);
    sizer->Add(lines_, 1, wxEXPAND | wxALL, 10);
    auto* close = new wxButton(this, wxID_ANY, L"Закрыть");
    sizer->Add(close, 0, wxALIGN_RIGHT | wxALL, 10);
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        debug::Place("frm::ProgressBarDialog::closeOnButtonClick").trace(L"");
        model_.abandon();
        finish();
    });
    SetSizer(sizer);
    SetMinSize(wxSize(420, 120));
    Fit();
}

ProgressBarDialog::~ProgressBarDialog() {
    token_.reset();
}

ProgressBarDialog::Reporter ProgressBarDialog::reporter() {
    return [token = std::weak_ptr<Token>(token_)](const DevicePtr& device, int value) {
        if (token.expired()) {
            debug::Place("frm::ProgressBarDialog::postProgress")
                .important(L"Progress bar doesn't exist! percent=%1%", value);
            return;
        }
        GuiThreadInvoker::add([token, device, value] {
            if (const std::shared_ptr<Token> alive = token.lock()) alive->dialog->onReport(device, value);
        });
    };
}

void ProgressBarDialog::postProgress(const DevicePtr& device, int value) {
    reporter()(device, value);
}

void ProgressBarDialog::expect(const DevicePtr& device) {
    model_.expect(device.get(), device->getDisplayName());
    lineOf(device, model_.lines().size() - 1);
}

std::size_t ProgressBarDialog::lineOf(const DevicePtr& device, std::size_t index) {
    if (index < gauges_.size()) return index;
    devices_.push_back(device);
    lines_->Add(new wxStaticText(this, wxID_ANY, model_.lines()[index].name), 0, wxALIGN_CENTER_VERTICAL);
    gauges_.push_back(new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxSize(240, -1)));
    lines_->Add(gauges_.back(), 1, wxEXPAND);
    states_.push_back(new wxStaticText(this, wxID_ANY, wxEmptyString));
    lines_->Add(states_.back(), 0, wxALIGN_CENTER_VERTICAL);
    Fit();
    return index;
}

void ProgressBarDialog::onReport(const DevicePtr& device, int value) {
    if (!device) return;
    const std::size_t index = lineOf(device, model_.report(device.get(), device->getDisplayName(), value));
    const ProgressModel::Line& line = model_.lines()[index];
    gauges_[index]->SetValue(line.percent);
    if (line.state == ProgressModel::State::done) {
        states_[index]->SetLabel(L"успешно");
        states_[index]->SetForegroundColour(wxColour(0, 160, 33));
    } else if (line.state == ProgressModel::State::failed) {
        states_[index]->SetLabel(L"ошибка обмена");
        states_[index]->SetForegroundColour(*wxRED);
    }
    Layout();
    if (model_.finished()) finish();
}

void ProgressBarDialog::finish() {
    // Whatever is reported from now on is dropped.
    token_.reset();
    result_ = model_.succeeded() ? wxID_OK : wxID_CANCEL;
    if (result_ == wxID_OK)
        debug::Place("frm::ProgressBarDialog::finish").debug(L"ProgressBarDialog, result: wxID_OK");
    if (IsModal()) EndModal(result_);
}

int ProgressBarDialog::ShowModal() {
    if (!token_) return result_;
    return wxDialog::ShowModal();
}

std::vector<ProgressBarDialog::DevicePtr> ProgressBarDialog::failedDevices() const {
    std::vector<DevicePtr> failed;
    for (const std::size_t index : model_.failed()) failed.push_back(devices_[index]);
    return failed;
}

}  // namespace frm
