#pragma once
// The desktop services of a freedesktop.org session: the default-handler
// mechanism, the FileManager1 D-Bus interface, terminal emulators, the
// clipboard, Qt dialogs and the freedesktop Trash.
#include "model/desktop_services.h"

namespace qf {

class LinuxDesktopServices : public DesktopServices {
public:
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

}  // namespace qf
