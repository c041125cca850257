#pragma once
// Answers the questions of a window or a panel from scripts, as the operator would, and records
// what was asked.

#include <wx/defs.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/kit/Questions.h"

namespace test {

// An empty script answers "cancel".
class ScriptedQuestions : public frm::Questions {
public:
    bool ask(const Question& question) override {
        ++yesNoAsked;
        asked.push_back(question.caption);
        questions.push_back(question);
        if (whileAsking) whileAsking();
        return yes;
    }
    bool askYesNo(const std::wstring& caption, const std::wstring& text) override {
        return ask({caption, text});
    }
    bool confirm(const std::wstring& caption, const std::wstring& text) override {
        return askYesNo(caption, text);
    }
    std::optional<std::wstring> askText(const std::wstring& caption, const std::wstring&,
                                        const std::wstring&) override {
        asked.push_back(caption);
        return next(texts);
    }
    std::optional<std::vector<std::wstring>> chooseFiles(const std::wstring&,
                                                         const std::wstring& wildcard) override {
        wildcards.push_back(wildcard);
        return next(files);
    }
    std::optional<std::wstring> chooseFolder(const std::wstring&) override { return next(folders); }
    std::optional<std::wstring> askPassword(const std::wstring&, const std::wstring&) override {
        return next(passwords);
    }
    int showModal(wxDialog& dialog) override { return modal(dialog); }
    std::optional<std::wstring> askFile(const FileQuestion& question) override {
        wildcards.push_back(question.filter);
        return next(paths);
    }
    std::optional<long> askNumber(const std::wstring& caption, const std::wstring&, const std::wstring&, long,
                                  long, long) override {
        asked.push_back(caption);
        return next(numbers);
    }

    // The answer to every question of two buttons: "yes" or "OK".
    bool yes = true;
    // How many questions of two buttons were asked, and what each was.
    int yesNoAsked = 0;
    std::vector<Question> questions;
    std::deque<std::wstring> texts;
    std::deque<std::wstring> passwords;
    std::deque<std::vector<std::wstring>> files;
    std::deque<std::wstring> folders;
    // The answers of the single-file questions, to open or to save.
    std::deque<std::wstring> paths;
    std::deque<long> numbers;
    // The captions of the questions and text prompts, and the file dialogs' wildcards, in order.
    std::vector<std::wstring> asked;
    std::vector<std::wstring> wildcards;
    // What happens while a yes-or-no question is open.
    std::function<void()> whileAsking;
    // What a modal dialog of the window does; by default it is cancelled unseen.
    std::function<int(wxDialog&)> modal = [](wxDialog&) { return wxID_CANCEL; };

private:
    template <class Answer>
    static std::optional<Answer> next(std::deque<Answer>& script) {
        if (script.empty()) return std::nullopt;
        Answer answer = script.front();
        script.pop_front();
        return answer;
    }
};

}  // namespace test
