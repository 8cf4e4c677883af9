// The provider on a private session bus over a private index: both desktop
// interfaces called through the bus, activation recorded by the action
// tests' desktop double, and the program itself owning its name.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <chrono>
#include <filesystem>

#include "actions/support.h"
#include "index/index_test_support.h"
#include "search_provider/desktop_search.h"
#include "search_provider/gnome_search_adaptor.h"
#include "search_provider/krunner_adaptor.h"
#include "search_provider/provider_object.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;
using index::testing::pollUntil;
using index::testing::runProcess;

const QString kBusName = QString::fromLatin1(kProviderBusName);
const QString kPath = QString::fromLatin1(kProviderObjectPath);
const QString kGnome = QStringLiteral("org.gnome.Shell.SearchProvider2");
const QString kKrunner = QStringLiteral("org.kde.krunner1");

// A bus daemon of this test program's own, so no test ever talks to the
// user's session; it ends with the program.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(10000)) address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

const PrivateBus& privateBus() {
    static PrivateBus bus;
    return bus;
}

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(privateBus().address().isEmpty()) << "dbus-daemon did not start";
        registerKrunnerTypes();
        qDBusRegisterMetaType<QList<QVariantMap>>();
        fs::remove_all(roots_);
        // Dates chosen so that rank beats recency: the newest item is the
        // weakest match.
        const std::pair<std::string, int> items[] = {
            {folder_, 3}, {pdf_, 5}, {dated_, 4}, {phrase_, 1}, {apostrophe_, 2}, {roots_ + "/notes/unrelated.txt", 1},
        };
        for (const auto& [path, hoursOld] : items) {
            fs::create_directories(path == folder_ ? path : fs::path(path).parent_path().string());
            if (path != folder_) writeFile(path, "x");
            fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursOld));
        }
        ASSERT_TRUE(pollUntil(
            [] {
                return runProcess({binDir() + "/mdfind", "--status"}, {}).out.find("state: idle") != std::string::npos;
            },
            std::chrono::seconds(20)));

        provider_ = new ProviderObject(desktop_, [this](const std::string& query) {
            launched_.push_back(query);
            return true;
        });
        new GnomeSearchAdaptor(provider_);
        new KrunnerAdaptor(provider_);
        // The provider answers on a thread of its own, so this thread can
        // wait for replies.
        provider_->moveToThread(&thread_);
        thread_.start();
        server_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(privateBus().address(), "server"));
        ASSERT_TRUE(server_->registerObject(kPath, provider_));
        ASSERT_TRUE(server_->registerService(kBusName));
    }

    void TearDown() override {
        if (server_) {
            server_->unregisterObject(kPath);
            server_.reset();
            QDBusConnection::disconnectFromBus("server");
        }
        // Deleted on its own thread, which ends after pending deletions.
        if (provider_) provider_->deleteLater();
        thread_.quit();
        thread_.wait();
    }

    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& args) {
        QDBusMessage message = QDBusMessage::createMethodCall(kBusName, kPath, interface, method);
        message.setArguments(args);
        return QDBusConnection::sessionBus().call(message, QDBus::Block, 30000);
    }

    std::vector<std::string> resultSet(const QStringList& terms) {
        const QDBusMessage reply = call(kGnome, QStringLiteral("GetInitialResultSet"), {terms});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        std::vector<std::string> ids;
        for (const QString& id : reply.arguments().value(0).toStringList()) ids.push_back(id.toStdString());
        return ids;
    }

    RecordingDesktop desktop_;
    std::vector<std::string> launched_;
    ProviderObject* provider_ = nullptr;
    QThread thread_;
    std::unique_ptr<QDBusConnection> server_;
    const std::string roots_ = std::getenv("QUILLFIND_INDEX_ROOTS");
    const std::string folder_ = roots_ + "/report", pdf_ = roots_ + "/docs/report.pdf",
                      dated_ = roots_ + "/docs/report-2024.txt", phrase_ = roots_ + "/docs/old report.md",
                      apostrophe_ = roots_ + "/notes/i'm here.txt";
};

TEST_F(ProviderTest, AnswersTheQueryLanguageRankedAndRefusesBadTerms) {
    const struct {
        QStringList terms;
        std::vector<std::string> expected;
    } cases[] = {
        // exact names (newest first), then the prefix, then the rest
        {{"report"}, {folder_, pdf_, dated_, phrase_}},
        {{"REPORT", ".pdf"}, {pdf_}},
        {{"\"old", "report\""}, {phrase_}},
        {{"rep*.txt"}, {dated_}},
        {{"i'm"}, {apostrophe_}},
        {{"docs/report-2024"}, {dated_}},
        {{}, {}},
        {{"   "}, {}},
        {{"report" + QString(2000, ' ')}, {}},
        {{"report\n"}, {}},
        {{"report", QString(QChar(0x7f))}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultSet(c.terms), c.expected) << c.terms.join('|').toStdString();
    }
    const QDBusMessage sub =
        call(kGnome, QStringLiteral("GetSubsearchResultSet"), {QStringList{}, QStringList{"report", "2024"}});
    EXPECT_EQ(sub.arguments().value(0).toStringList(), QStringList{QString::fromStdString(dated_)});
}

TEST_F(ProviderTest, ActivationOpensThroughTheDesktopAndLaunchesTheWindow) {
    const QString pdf = QString::fromStdString(pdf_);
    resultSet({"report"});
    call(kGnome, QStringLiteral("ActivateResult"), {pdf, QStringList{"report"}, 0u});
    call(kKrunner, QStringLiteral("Run"), {pdf, QString::fromLatin1(kOpenFolderAction)});
    call(kKrunner, QStringLiteral("Run"), {pdf, QString()});
    const QDBusMessage unknown = call(kGnome, QStringLiteral("ActivateResult"), {"/etc/passwd", QStringList{}, 0u});
    EXPECT_EQ(unknown.errorName(), QString::fromLatin1(kUnknownResultError));
    call(kKrunner, QStringLiteral("Teardown"), {});
    const QDBusMessage forgotten = call(kKrunner, QStringLiteral("Run"), {pdf, QString()});
    EXPECT_EQ(forgotten.errorName(), QString::fromLatin1(kUnknownResultError));
    EXPECT_EQ(desktop_.calls,
              (std::vector<std::string>{"openItem " + pdf_, "openItem " + containingFolder(pdf_), "openItem " + pdf_}));

    call(kGnome, QStringLiteral("LaunchSearch"), {QStringList{"report", "2024"}, 0u});
    call(kGnome, QStringLiteral("LaunchSearch"), {QStringList{"a\tb"}, 0u});
    EXPECT_EQ(launched_, (std::vector<std::string>{"report 2024", ""}));
}

// GNOME describes only results it was handed; KRunner's matches carry
// their kind, falling relevance and place.
TEST_F(ProviderTest, ResultsDescribeThemselvesToBothDesktops) {
    resultSet({"report"});
    const QStringList ids{QString::fromStdString(folder_), QString::fromStdString(pdf_), QStringLiteral("/etc/passwd")};
    const QDBusMessage reply = call(kGnome, QStringLiteral("GetResultMetas"), {ids});
    const auto metas = qdbus_cast<QList<QVariantMap>>(reply.arguments().value(0));
    ASSERT_EQ(metas.size(), 2);
    EXPECT_EQ(metas[0].value("id").toString(), ids[0]);
    EXPECT_EQ(metas[0].value("name").toString(), QStringLiteral("report"));
    EXPECT_EQ(metas[0].value("description").toString().toStdString(), containingFolder(folder_));
    EXPECT_EQ(metas[0].value("gicon").toString(), QStringLiteral("folder"));
    EXPECT_EQ(metas[1].value("description").toString().toStdString(), containingFolder(pdf_));
    EXPECT_TRUE(metas[1].value("gicon").toString().startsWith(QStringLiteral(". GThemedIcon application-pdf ")))
        << metas[1].value("gicon").toString().toStdString();

    const auto matches = qdbus_cast<QList<RemoteMatch>>(call(kKrunner, "Match", {"report"}).arguments().value(0));
    ASSERT_EQ(matches.size(), 4);
    EXPECT_EQ(matches[0].id.toStdString(), folder_);
    EXPECT_EQ(matches[0].type, static_cast<int>(MatchType::exact));
    EXPECT_EQ(matches[2].type, static_cast<int>(MatchType::possible));
    for (int i = 1; i < matches.size(); ++i) EXPECT_LT(matches[i].relevance, matches[i - 1].relevance);
    EXPECT_EQ(matches[1].properties.value("subtext").toString().toStdString(), containingFolder(pdf_));
    EXPECT_EQ(matches[1].properties.value("urls").toStringList(),
              QStringList{QUrl::fromLocalFile(QString::fromStdString(pdf_)).toString()});
    EXPECT_TRUE(qdbus_cast<QList<RemoteMatch>>(call(kKrunner, "Match", {QString()}).arguments().value(0)).isEmpty());
}

// A search still waiting for the index when a newer one comes is stopped,
// and its caller is told so instead of getting a cut answer.
TEST_F(ProviderTest, NewerSearchStopsTheOlderOne) {
    TempDir dir;
    writeFile(dir / "mdfind", "#!/bin/sh\n[ \"$2\" = slowterm ] && touch " + dir / "asked" +
                                  " && exec sleep 60\nexec " + binDir() + "/mdfind \"$@\"\n");
    fs::permissions(dir / "mdfind", fs::perms::owner_all);
    ScopedEnv mdfind("QUILLFIND_MDFIND", dir / "mdfind");

    QDBusMessage slow = QDBusMessage::createMethodCall(kBusName, kPath, kGnome, QStringLiteral("GetInitialResultSet"));
    slow.setArguments({QStringList{"slowterm"}});
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(slow, 30000);
    ASSERT_TRUE(pollUntil([&] { return exists(dir / "asked"); }));
    EXPECT_EQ(resultSet({"report", ".pdf"}), std::vector<std::string>{pdf_});
    pending.waitForFinished();
    EXPECT_EQ(pending.error().name(), QString::fromLatin1(kSupersededError));
}

// The installed program: it takes the bus name once, answers, and a second
// copy gives up with a clear error.
TEST_F(ProviderTest, ProgramOwnsItsNameAndAnswers) {
    server_->unregisterService(kBusName);
    QProcess program, second;
    program.start(QString::fromStdString(binDir() + "/quillfind-search-provider"));
    auto* bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(pollUntil([&] { return bus->isServiceRegistered(kBusName).value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(resultSet({"report", ".pdf"}), std::vector<std::string>{pdf_});

    second.start(QString::fromStdString(binDir() + "/quillfind-search-provider"));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("taken"));
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(10000));
}

TEST(RankName, ExactStemPrefixOther) {
    const struct {
        const char* name;
        NameRank rank;
    } cases[] = {{"report", NameRank::exact},   {"report.pdf", NameRank::exact}, {"report.tar.gz", NameRank::prefix},
                 {"reports", NameRank::prefix}, {".report", NameRank::other},    {"my report", NameRank::other}};
    for (const auto& c : cases) EXPECT_EQ(rankName(c.name, "report"), c.rank) << c.name;
}

}  // namespace
}  // namespace qf::test
