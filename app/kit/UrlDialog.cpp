#include "app/kit/UrlDialog.h"

#include "app/kit/EnteredText.h"
#include "foundation/Place.h"

namespace frm {

UrlDialog::UrlDialog(wxWindow* parent, const std::wstring& caption, std::wstring& url, std::wstring& title,
                     const std::wstring& historyPath)
    : fb::UrlDialog(parent, wxID_ANY, caption), url_(url), title_(title), history_(historyPath) {
    for (const std::wstring& entry : history_.entries()) m_url->Append(entry);
    m_title->ChangeValue(title);
    m_url->ChangeValue(url);
    m_title->SetFocus();
}

UrlDialog::~UrlDialog() {
    history_.save();
}

void UrlDialog::saveOnButtonClick(wxCommandEvent&) {
    debug::Place("frm::UrlDialog::saveOnButtonClick").trace(L"");
    const std::wstring title = m_title->GetValue().ToStdWstring();
    const std::wstring url = m_url->GetValue().ToStdWstring();
    if (!urlEntryAccepted(title, url)) return;
    title_ = title;
    url_ = url;
    history_.add(url);
    EndModal(wxID_OK);
}

}  // namespace frm
