#pragma once
// Everything the program asks of the desktop session goes through this
// interface, so tests can substitute a recording fake. The real
// implementation lives in actions/.
#include <optional>
#include <string>
#include <vector>

namespace qf {

// The response code of the first button of an alert; the second is 1001,
// and so on. Any other value (a dialog closed by the window manager) counts
// as "not the first button".
inline constexpr int kFirstButton = 1000;

enum class AlertStyle { plain, warning };

struct AlertRequest {
    std::string title;                 // the bold message text
    std::string detail;                // the informative text below it
    std::vector<std::string> buttons;  // in order; the first is the default
    AlertStyle style = AlertStyle::plain;
};

struct TextPromptRequest {
    std::string title;
    std::string detail;
    std::string initialText;
    std::vector<std::string> buttons;
};

struct TextPromptResult {
    int response = 0;  // as for alerts: kFirstButton for the first button
    std::string text;  // the field's text when the dialog closed
};

struct FolderChoiceRequest {
    std::string confirmText;  // the chooser's accept button
    std::string message;
};

// What a desktop service that can fail reports back: ok, or the reason.
struct ServiceResult {
    bool ok = true;
    std::string error;  // readable reason when !ok; may be empty
    static ServiceResult success() { return {}; }
    static ServiceResult failure(std::string why) { return {false, std::move(why)}; }
};

struct ProgramResult {
    bool started = false;
    std::string error;    // why it could not be started
    int exitStatus = -1;  // exit code, or the signal number when killed
};

// Only openItem must be provided; every other service has a stand-in for a
// session that lacks it (nothing happens, dialogs count as cancelled,
// fallible services report that they are unavailable), so a fake needs to
// override only what it observes.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens a file or folder with the desktop's default handler.
    virtual void openItem(const std::string& path) = 0;
    // Shows the item selected in the file manager, or at least its folder.
    virtual void revealItem(const std::string& path) { (void)path; }
    // The file manager's properties window for the item.
    virtual ServiceResult showItemProperties(const std::string& path) { return unavailable(path); }
    // A terminal window whose working folder is `folder`.
    virtual ServiceResult openTerminal(const std::string& folder) { return unavailable(folder); }

    // Each replaces everything that was on the clipboard before.
    virtual void setClipboardText(const std::string& text) { (void)text; }
    // The item as a file reference that file managers paste as a copy, plus
    // its path as plain text.
    virtual void setClipboardFile(const std::string& path) { (void)path; }

    // Application-modal dialogs; each returns when it has been answered.
    virtual int runAlert(const AlertRequest& request) {
        (void)request;
        return 0;
    }
    virtual TextPromptResult runTextPrompt(const TextPromptRequest& request) {
        (void)request;
        return {};
    }
    // The chosen folder's path, or nothing when the chooser was cancelled.
    virtual std::optional<std::string> chooseFolder(const FolderChoiceRequest& request) {
        (void)request;
        return {};
    }

    // Moves the item to the user's trash, restorable from there.
    virtual ServiceResult moveToTrash(const std::string& path) { return unavailable(path); }
    // Runs a program with its arguments, inheriting the standard streams, and
    // waits for it to exit.
    virtual ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args) {
        (void)args;
        return {false, "unavailable: " + program, -1};
    }

private:
    static ServiceResult unavailable(const std::string& what) { return ServiceResult::failure("unavailable: " + what); }
};

}  // namespace qf
