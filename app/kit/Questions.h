#pragma once
// The questions the program puts to the operator: a modal dialog each in the program, scripted
// answers in tests.

#include <optional>
#include <string>
#include <vector>

class wxDialog;

namespace frm {

class Questions {
public:
    // A question to answer with one of two buttons.
    struct Question {
        enum class Buttons { yesNo, okCancel };
        // An exclamation mark warns that the answer starts something that cannot be taken back.
        enum class Icon { question, exclamation };
        std::wstring caption;
        std::wstring text;
        Buttons buttons = Buttons::yesNo;
        Icon icon = Icon::question;
    };

    virtual ~Questions() = default;
    // True for "yes" or "OK"; the button that says no is the default.
    virtual bool ask(const Question& question) = 0;
    // True for "yes".
    virtual bool askYesNo(const std::wstring& caption, const std::wstring& text) = 0;
    // The same with "yes" as the default answer.
    virtual bool confirm(const std::wstring& caption, const std::wstring& text) = 0;
    // The entered text; nothing when the operator cancels.
    virtual std::optional<std::wstring> askText(const std::wstring& caption, const std::wstring& text,
                                                const std::wstring& initial) = 0;
    // The entered password (input masked); nothing when the operator cancels.
    virtual std::optional<std::wstring> askPassword(const std::wstring& caption,
                                                    const std::wstring& text) = 0;
    // The full paths of the existing files chosen in a file dialog (several may be chosen) with
    // the wildcard ("description|*.mp3;*.wav|..."); nothing when the operator cancels. It opens
    // in the folder last chosen, else in the operator's home; the working folder stays as it was.
    virtual std::optional<std::vector<std::wstring>> chooseFiles(const std::wstring& caption,
                                                                 const std::wstring& wildcard) = 0;
    // An existing folder chosen in a folder dialog, which opens as the file dialog does; nothing
    // when the operator cancels. The working folder stays as it was.
    virtual std::optional<std::wstring> chooseFolder(const std::wstring& caption) = 0;
    // Shows a dialog of the window modally and gives its return code; the program's dialogs end
    // as cancelled on a stop request.
    virtual int showModal(wxDialog& dialog) = 0;

    // A file to open (it must exist) or to save to (an existing one only after the operator
    // agreed to overwrite it). The program's working folder stays as it is.
    struct FileQuestion {
        std::wstring message;
        // "Описание|*.ext;*.ext2", as the file dialogs take it.
        std::wstring filter;
        std::wstring defaultName;
        bool save = false;
    };
    // The chosen path; nothing when the operator cancels.
    virtual std::optional<std::wstring> askFile(const FileQuestion& question) = 0;
    // A whole number within [minimum, maximum]; nothing when the operator cancels.
    virtual std::optional<long> askNumber(const std::wstring& caption, const std::wstring& text,
                                          const std::wstring& prompt, long initial, long minimum,
                                          long maximum) = 0;
};

}  // namespace frm
