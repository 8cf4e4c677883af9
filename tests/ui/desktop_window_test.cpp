// The window as a desktop program: Qt's own texts in Chinese, the row menu
// from the keyboard while the field has the focus, named icon buttons, and
// the first crawl's progress in the status line.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "model/model.h"
#include "ui/index_progress.h"
#include "ui/main_window.h"
#include "ui/results_table_model.h"
#include "ui/results_view.h"
#include "ui/status_line.h"
#include "ui/translations.h"
#include "ui_test_support.h"

namespace qf {
namespace {

TEST(QtTexts, EditMenuAndStandardButtonsAreChinese) {
    ASSERT_TRUE(installChineseTranslations(test::app())) << "qt6-translations-l10n is not installed";
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("重做"))) << texts.join(' ').toStdString();
    EXPECT_TRUE(texts.join(' ').contains(QStringLiteral("粘贴"))) << texts.join(' ').toStdString();
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QStringLiteral("(&C)")), QStringLiteral("取消"));
}

TEST(IndexStatusText, OnlyStateAndEntriesLinesCount) {
    struct Case {
        const char* text;
        std::optional<std::pair<bool, long long>> expected;
    };
    const Case cases[] = {
        {"state: crawling\nentries: 1234\nfolders scanned: 9 (queued: 3)\n", std::pair{true, 1234LL}},
        {"memory: 1 MB\nstate: idle\nentries: 0\n", std::pair{false, 0LL}},
        {"entries: 7\nstate: idle", std::pair{false, 7LL}},
        {"state: sleeping\nentries: 7\n", std::nullopt},
        {"state: idle\n", std::nullopt},
        {"state: idle\nentries: 12x\n", std::nullopt},
        {"state: idle\nentries: -3\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto status = parseIndexStatus(c.text);
        ASSERT_EQ(status.has_value(), c.expected.has_value()) << c.text;
        if (!status) continue;
        EXPECT_EQ(status->crawling, c.expected->first) << c.text;
        EXPECT_EQ(status->entries, c.expected->second) << c.text;
    }
}

// A stand-in service that answers one status request with `reply`, which
// may arrive in pieces.
class FakeService {
public:
    FakeService(const std::string& path, std::string reply) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && ::listen(fd_, 1) == 0;
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) return;
            char buffer[256];
            for (ssize_t n;
                 !received_.ends_with(std::string(2, '\0')) && (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                received_.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < reply.size(); i += 7) {
                ::send(client, reply.data() + i, std::min<std::size_t>(7, reply.size() - i), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ::close(client);
        });
    }
    ~FakeService() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    bool bound() const { return bound_; }

private:
    int fd_ = -1;
    bool bound_ = false;
    std::string received_;
    std::thread thread_;
};

TEST(IndexStatusQuery, ReadsTheWholeAnswerAndRefusesABrokenOne) {
    test::TempDir dir;
    const std::string path = dir / "indexd.sock";
    const std::string crawling = std::string("Sstate: crawling\nentries: 98765\n\0E0\0", 36);
    {
        FakeService service(path, crawling);
        ASSERT_TRUE(service.bound());
        const auto status = queryIndexStatus(path, std::chrono::seconds(5));
        ASSERT_TRUE(status);
        EXPECT_TRUE(status->crawling);
        EXPECT_EQ(status->entries, 98765);
    }
    ::unlink(path.c_str());
    {
        // Closed before the end record: not an answer.
        FakeService service(path, crawling.substr(0, 20));
        ASSERT_TRUE(service.bound());
        EXPECT_FALSE(queryIndexStatus(path, std::chrono::seconds(5)));
    }
    ::unlink(path.c_str());
    EXPECT_FALSE(queryIndexStatus(path, std::chrono::seconds(1))) << "nothing listens";
}

TEST(IndexStatusQuery, TheRealServiceEndsItsFirstCrawlAndThePollingStops) {
    test::app();
    test::TempDir dir;
    test::isolateEnvironment(dir, {});
    for (int i = 0; i < 5; ++i) test::put(dir, QStringLiteral("roots/f%1.txt").arg(i), "x");
    test::ScopedEnv roots("QUILLFIND_INDEX_ROOTS", dir / "roots");
    test::mkdirs(dir, QStringLiteral("index"));
    const std::string service = test::binDir() + "/quillfind-indexd --daemonize";
    ASSERT_EQ(std::system(service.c_str()), 0);
    IndexProgress progress(std::chrono::milliseconds(50));
    std::vector<std::pair<bool, long long>> answers;
    QObject::connect(&progress, &IndexProgress::statusChanged,
                     [&](bool crawling, long long entries) { answers.emplace_back(crawling, entries); });
    progress.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.polling(); }, 10000));
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back(), std::make_pair(false, 5LL));
    pid_t pid = 0;
    std::ifstream(dir / "index/indexd.lock") >> pid;
    if (pid > 0) ::kill(pid, SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([pid] { return ::kill(pid, 0) != 0; }, 5000));
}

class DesktopWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        first = test::put(dir, QStringLiteral("tree/alpha one.txt"), "1");
        second = test::put(dir, QStringLiteral("tree/alpha two.txt"), "22");
        test::isolateEnvironment(dir, {first, second});
        MainWindowOptions options;
        options.settingsFile = test::at(dir, QStringLiteral("settings.ini"));
        options.hasFullDiskAccess = [] { return true; };
        window = std::make_unique<MainWindow>([this] { return std::make_unique<Model>(desktop); }, std::move(options));
        window->setRowMenuHandler([this](const Hit& hit, const QPoint&) { menus.push_back(hit.path()); });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->searchField()->setFocus();
        QTest::keyClicks(window->searchField(), QStringLiteral("alpha"));
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return window->resultsView()->tableModel().rowCount() == 2 && !window->model().gathering(); },
            8000));
    }

    test::TempDir dir;
    test::RecordingDesktop desktop;
    QString first, second;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> menus;
};

TEST_F(DesktopWindowTest, MenuKeysOpenTheSelectedRowsMenuFromTheFieldAndTheResults) {
    QLineEdit* field = window->searchField();
    auto menuKey = [](QWidget* target) {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2));
        QApplication::sendEvent(target, &event);
    };
    auto shiftF10 = [](QWidget* target) { QTest::keyClick(target, Qt::Key_F10, Qt::ShiftModifier); };
    // Without a selected row the keys ask nothing of the row menu.
    shiftF10(field);
    QTest::keyClick(field, Qt::Key_F10);
    EXPECT_TRUE(menus.empty());

    QTest::keyClick(field, Qt::Key_Return);  // selects the first row
    ASSERT_TRUE(window->model().selectedPath());
    const std::string selected = *window->model().selectedPath();
    menuKey(field);
    shiftF10(field);
    QTest::keyClick(field, Qt::Key_F10);  // F10 alone is not a menu key
    shiftF10(window->resultsView());
    EXPECT_EQ(menus, std::vector<std::string>(3, selected));
    EXPECT_EQ(QApplication::focusWidget(), field);
}

TEST_F(DesktopWindowTest, IconOnlyButtonsHaveNamesAndTooltips) {
    int iconOnly = 0;
    for (QToolButton* button : window->findChildren<QToolButton*>()) {
        if (!button->text().isEmpty() && button->toolButtonStyle() != Qt::ToolButtonIconOnly) continue;
        ++iconOnly;
        EXPECT_FALSE(button->accessibleName().isEmpty()) << button->toolTip().toStdString();
        EXPECT_FALSE(button->toolTip().isEmpty()) << button->accessibleName().toStdString();
    }
    EXPECT_GE(iconOnly, 2) << "the preview toggle and the options chevron";
}

TEST_F(DesktopWindowTest, StatusLineShowsTheCrawlThenItsSourceAgain) {
    StatusLine* status = window->statusLine();
    const QString source = status->source();
    status->setIndexStatus(true, 1234567);
    EXPECT_TRUE(status->source().contains(QStringLiteral("1,234,567"))) << status->source().toStdString();
    EXPECT_TRUE(status->source().contains(QStringLiteral("不完整"))) << status->source().toStdString();
    status->setIndexStatus(false, 1300000);
    EXPECT_EQ(status->source(), QStringLiteral("索引：Spotlight 自动增量"));
    EXPECT_EQ(status->source(), source);
}

}  // namespace
}  // namespace qf
