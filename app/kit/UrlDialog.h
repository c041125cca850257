#pragma once
// The modal dialog in which the operator enters or edits an internet radio station: its title
// ("Название") and its URL ("URL:"), with the URLs entered before offered in a list. It checks
// the values itself on "&Сохранить" and keeps the URL history in the file it is given, read when
// the dialog is built and written when it is destroyed.

#include <string>

#include "app/kit/UrlHistory.h"
#include "layouts/UrlDialog.h"

namespace frm {

class UrlDialog : public fb::UrlDialog {
public:
    // The fields start with `url` and `title`; once ShowModal returns wxID_OK they hold the
    // accepted values.
    UrlDialog(wxWindow* parent, const std::wstring& caption, std::wstring& url, std::wstring& title,
              const std::wstring& historyPath);
    ~UrlDialog() override;
    UrlDialog(const UrlDialog&) = delete;
    UrlDialog& operator=(const UrlDialog&) = delete;

protected:
    void saveOnButtonClick(wxCommandEvent& event) override;

private:
    std::wstring& url_;
    std::wstring& title_;
    UrlHistory history_;
};

}  // namespace frm
