#pragma once
// The desktop services of a freedesktop.org session: the default-handler
// mechanism, the FileManager1 D-Bus interface, terminal emulators, the
// clipboard, Qt dialogs and the freedesktop Trash.
#include <memory>

#include "model/desktop_services.h"

namespace qf {

class ChildExits;

class LinuxDesktopServices : public DesktopServices {
public:
    LinuxDesktopServices();
    ~LinuxDesktopServices() override;
    LinuxDesktopServices(const LinuxDesktopServices&) = delete;
    LinuxDesktopServices& operator=(const LinuxDesktopServices&) = delete;

    // Hands the item to xdg-open and returns at once. When no application
    // opens it (xdg-open fails, or is missing), a failure alert says so once
    // the opener has ended: the callers ignore the outcome, as they do on
    // every desktop, but the user must not be left with nothing happening.
    void openItem(const std::string& path) override;
    // Openers started by openItem that have not ended yet.
    std::size_t openersRunning() const;
    void revealItem(const std::string& path) override;
    Expected<void> showItemProperties(const std::string& path) override;
    Expected<void> openTerminal(const std::string& folder) override;

    void setClipboardText(const std::string& text) override;
    void setClipboardFile(const std::string& path) override;

    int runAlert(const AlertRequest& request) override;
    TextPromptResult runTextPrompt(const TextPromptRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderChoiceRequest& request) override;

    Expected<void> moveToTrash(const std::string& path) override;
    Expected<int> runProgram(const std::string& program, const std::vector<std::string>& args) override;

private:
    void cannotOpen(const std::string& path, const std::string& detail);

    std::unique_ptr<ChildExits> openers_;
};

}  // namespace qf
