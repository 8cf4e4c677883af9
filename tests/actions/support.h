#pragma once
// Shared helpers for the file-action tests: a temporary folder, scoped
// environment variables, file helpers and a recording desktop.
#include <sys/types.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/hit.h"
#include "model/desktop_services.h"

namespace qf::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or, with nullopt, unsets) one variable and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);  // lstat-based: a dangling link exists
std::string binDir();                  // QF_BIN_DIR, where ditto was built

// Every call the actions make, as text, plus scripted answers.
class RecordingDesktop : public DesktopServices {
public:
    std::vector<std::string> calls;  // "openItem <path>", "alert <title>", ...
    std::vector<AlertRequest> alerts;
    std::vector<TextPromptRequest> prompts;
    std::vector<FolderChoiceRequest> folderRequests;
    std::vector<std::vector<std::string>> programs;  // program followed by its arguments
    std::optional<std::string> clipboardText;
    std::optional<std::string> clipboardFile;

    std::deque<int> alertAnswers;  // consumed in order; 1001 once empty
    TextPromptResult promptAnswer{1001, {}};
    std::optional<std::string> folderAnswer;
    ServiceResult propertiesAnswer;
    ServiceResult terminalAnswer;
    // Empty: really trash the item with the freedesktop Trash.
    std::optional<ServiceResult> trashAnswer;
    // Empty: really run the program.
    std::optional<ProgramResult> programAnswer;

    void openItem(const std::string& path) override;
    void revealItem(const std::string& path) override;
    ServiceResult showItemProperties(const std::string& path) override;
    ServiceResult openTerminal(const std::string& folder) override;
    void setClipboardText(const std::string& text) override;
    void setClipboardFile(const std::string& path) override;
    int runAlert(const AlertRequest& request) override;
    TextPromptResult runTextPrompt(const TextPromptRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderChoiceRequest& request) override;
    ServiceResult moveToTrash(const std::string& path) override;
    ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) override;
};

}  // namespace qf::test
