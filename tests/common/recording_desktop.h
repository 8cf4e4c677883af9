#pragma once
// The one desktop double of the tests: every call the program makes, as
// text, and scripted answers. Dialogs are cancelled unless an answer is set;
// the trash and programs act only through the hooks a test installs.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/desktop_services.h"

namespace qf::test {

class RecordingDesktop : public DesktopServices {
public:
    std::vector<std::string> calls;  // "openItem <path>", "alert <title>", ...
    std::vector<AlertRequest> alerts;
    std::vector<TextPromptRequest> prompts;
    std::vector<FolderChoiceRequest> folderRequests;
    std::vector<std::vector<std::string>> programs;  // program followed by its arguments
    std::optional<std::string> clipboardText;

    std::deque<int> alertAnswers;  // consumed in order; the second button once empty
    TextPromptResult promptAnswer{kFirstButton + 1, {}};
    std::optional<std::string> folderAnswer;
    std::optional<Expected<int>> programAnswer;  // empty: runProgramHook decides
    std::function<Expected<void>(const std::string&)> trashHook;
    std::function<Expected<int>(const std::string&, const std::vector<std::string>&)> runProgramHook;

    std::vector<std::string> opened() const {
        std::vector<std::string> paths;
        for (const auto& call : calls)
            if (call.rfind("openItem ", 0) == 0) paths.push_back(call.substr(9));
        return paths;
    }

    void openItem(const std::string& p) override { calls.push_back("openItem " + p); }
    void revealItem(const std::string& p) override { calls.push_back("revealItem " + p); }
    Expected<void> showItemProperties(const std::string& p) override {
        return record("showItemProperties " + p, Expected<void>{});
    }
    Expected<void> openTerminal(const std::string& p) override { return record("openTerminal " + p, Expected<void>{}); }
    void setClipboardText(const std::string& t) override { clipboardText = record("setClipboardText " + t, t); }
    void setClipboardFile(const std::string& p) override { calls.push_back("setClipboardFile " + p); }
    int runAlert(const AlertRequest& request) override {
        alerts.push_back(request);
        const int answer = alertAnswers.empty() ? kFirstButton + 1 : alertAnswers.front();
        if (!alertAnswers.empty()) alertAnswers.pop_front();
        return record("alert " + request.title, answer);
    }
    TextPromptResult runTextPrompt(const TextPromptRequest& request) override {
        prompts.push_back(request);
        return record("prompt " + request.title, promptAnswer);
    }
    std::optional<std::string> chooseFolder(const FolderChoiceRequest& request) override {
        folderRequests.push_back(request);
        return record("chooseFolder", folderAnswer);
    }
    Expected<void> moveToTrash(const std::string& path) override {
        return record("moveToTrash " + path, trashHook ? trashHook(path) : DesktopServices::moveToTrash(path));
    }
    Expected<int> runProgram(const std::string& program, const std::vector<std::string>& args) override {
        programs.push_back(record("runProgram " + program, std::vector<std::string>{program}));
        programs.back().insert(programs.back().end(), args.begin(), args.end());
        if (programAnswer) return *programAnswer;
        return runProgramHook ? runProgramHook(program, args) : DesktopServices::runProgram(program, args);
    }

private:
    template <class T>
    T record(const std::string& call, T answer) {
        calls.push_back(call);
        return answer;
    }
};

}  // namespace qf::test
