#pragma once
// Everything the program asks of the desktop session goes through this
// interface, so tests can substitute a recording fake. The real
// implementation lives in actions/.
#include <optional>
#include <string>
#include <vector>

#include "base/expected.h"

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

// Only openItem must be provided; every other service has a stand-in for a
// session that lacks it (nothing happens, dialogs count as cancelled,
// fallible services report that they are unavailable), so a fake needs to
// override only what it observes. A failure's message() is what the user
// is shown; it may be empty when the desktop gave no reason.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens a file or folder with the desktop's default handler.
    virtual void openItem(const std::string& path) = 0;
    // Shows the item selected in the file manager, or at least its folder.
    virtual void revealItem(const std::string& path) { (void)path; }
    // The file manager's properties window for the item.
    virtual Expected<void> showItemProperties(const std::string& path) { return unavailable(path); }
    // A terminal window whose working folder is `folder`.
    virtual Expected<void> openTerminal(const std::string& folder) { return unavailable(folder); }

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
    virtual Expected<void> moveToTrash(const std::string& path) { return unavailable(path); }
    // Runs a program with its arguments, inheriting the standard streams, and
    // waits for it to exit. The value is its exit status, or the signal
    // number when a signal ended it; a failure means it did not run (or
    // could not be waited for).
    virtual Expected<int> runProgram(const std::string& program, const std::vector<std::string>& args) {
        (void)args;
        return unavailable(program);
    }

private:
    static Error unavailable(const std::string& what) { return Error(Errc::unavailable, "unavailable: " + what); }
};

}  // namespace qf
