// Open, reveal, information window, terminal and clipboard: hand-overs to
// the desktop that never refresh.
#include <functional>

#include "actions_fixture.h"

namespace qf {
namespace {

using test::ActionsTest;

struct HandOver {
    const char* what;
    void (FileActions::*action)(const Hit&);
    std::string path;
    std::string call;
};

TEST_F(ActionsTest, HandOversPassTheRightPath) {
    const HandOver cases[] = {
        {"open", &FileActions::open, "/Users/x/a.txt", "openItem /Users/x/a.txt"},
        {"open folder", &FileActions::open, "/Users/x/Projects", "openItem /Users/x/Projects"},
        {"openParent", &FileActions::openParent, "/Users/x/a.txt", "openItem /Users/x"},
        {"openParent of folder", &FileActions::openParent, "/Users/x/Projects", "openItem /Users/x"},
        {"openParent under root", &FileActions::openParent, "/Applications", "openItem /"},
        {"reveal", &FileActions::reveal, "/gone/away.txt", "revealItem /gone/away.txt"},
        {"showInfo of folder", &FileActions::showInfo, "/Users/x/Projects", "showItemProperties /Users/x/Projects"},
        {"openTerminal", &FileActions::openTerminal, "/Users/x/Projects", "openTerminal /Users/x"},
        {"openTerminal under root", &FileActions::openTerminal, "/Applications", "openTerminal /"},
        {"quotes stay as they are", &FileActions::openTerminal, "/tmp/a\"b\\c/d", "openTerminal /tmp/a\"b\\c"},
        {"copyFiles", &FileActions::copyFiles, "/Users/x/Projects", "setClipboardFile /Users/x/Projects"},
        {"copyName", &FileActions::copyName, "/Users/x/a.txt", "setClipboardText a.txt"},
        {"copyPath", &FileActions::copyPath, "/Users/x/a.txt", "setClipboardText /Users/x/a.txt"},
        {"copyParent", &FileActions::copyParent, "/Users/x/a.txt", "setClipboardText /Users/x"},
        {"copyParent of folder", &FileActions::copyParent, "/Users/x/Projects", "setClipboardText /Users/x"},
        {"copyParent under root", &FileActions::copyParent, "/Applications", "setClipboardText /"},
    };
    for (const HandOver& c : cases) {
        desktop_.calls.clear();
        (actions_.*c.action)(hit(c.path));
        EXPECT_EQ(desktop_.calls, std::vector<std::string>{c.call}) << c.what;
    }
    EXPECT_TRUE(desktop_.alerts.empty());
    EXPECT_FALSE(refreshed());
}

TEST_F(ActionsTest, SecondCopyReplacesTheFirst) {
    actions_.copyPath(hit("/Users/x/a.txt"));
    actions_.copyName(hit("/Users/x/a.txt"));
    EXPECT_EQ(desktop_.clipboardText, "a.txt");
    actions_.copyFiles(hit("/Users/x/a.txt"));
    EXPECT_FALSE(desktop_.clipboardText);
    EXPECT_EQ(desktop_.clipboardFile, "/Users/x/a.txt");
}

struct FailingService {
    const char* what;
    void (FileActions::*action)(const Hit&);
    ServiceResult test::RecordingDesktop::*answer;
    const char* title;
};

TEST_F(ActionsTest, DesktopFailuresShowTheReasonOrTheFixedText) {
    const FailingService services[] = {
        {"showInfo", &FileActions::showInfo, &test::RecordingDesktop::propertiesAnswer, "无法显示简介"},
        {"openTerminal", &FileActions::openTerminal, &test::RecordingDesktop::terminalAnswer, "无法打开终端"},
    };
    const std::pair<std::string, std::string> reasons[] = {
        {"The name org.freedesktop.FileManager1 was not provided", "The name org.freedesktop.FileManager1 was not provided"},
        {"", "AppleScript 执行失败"},
    };
    for (const auto& s : services) {
        for (const auto& [reason, detail] : reasons) {
            desktop_.alerts.clear();
            desktop_.*s.answer = ServiceResult::failure(reason);
            (actions_.*s.action)(hit("/Users/x/a.txt"));
            ASSERT_EQ(desktop_.alerts.size(), 1u) << s.what;
            EXPECT_EQ(desktop_.alerts[0].title, s.title);
            EXPECT_EQ(desktop_.alerts[0].detail, detail);
            EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"});
            EXPECT_EQ(desktop_.alerts[0].style, AlertStyle::plain);
        }
    }
    EXPECT_FALSE(refreshed());
}

}  // namespace
}  // namespace qf
