// The provider on a private session bus over a private index: both desktop
// interfaces called through the bus by one caller and by several at once,
// activation recorded by the action tests' desktop double, and the program
// itself: owning its name, and ending with its bus and when idle.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <future>
#include <mutex>

#include <sys/socket.h>

#include "actions/support.h"
#include "base/unique_fd.h"
#include "base/unix_socket.h"
#include "index/index_test_support.h"
#include "search_provider/desktop_search.h"
#include "search_provider/gnome_search_adaptor.h"
#include "search_provider/krunner_adaptor.h"
#include "search_provider/provider_object.h"
#include "search_provider/result_memory.h"

namespace qf::test {
namespace {

namespace fs = std::filesystem;
using index::testing::pollUntil;
using index::testing::runProcess;

const QString kBusName = QString::fromLatin1(kProviderBusName);
const QString kPath = QString::fromLatin1(kProviderObjectPath);
const QString kGnome = QStringLiteral("org.gnome.Shell.SearchProvider2");
const QString kKrunner = QStringLiteral("org.kde.krunner1");

// A bus daemon of the test's own, so no test ever talks to the user's
// session; it ends with the object.
struct PrivateBus {
    PrivateBus() {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(10000)) address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
    QProcess daemon;
    QString address;
};

// The session bus of every test of this program.
const PrivateBus& privateBus() {
    static PrivateBus bus;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8());
    return bus;
}

// Holds searches on their way to the index while closed, so that tests can
// have several at once; a search stopped meanwhile goes on at once.
struct Gate {
    void pass(const std::stop_token& stop) {
        std::unique_lock lock(mutex);
        most = std::max(most.load(), ++inside);
        changed.wait(lock, stop, [&] { return open; });
        --inside;
    }
    void set(bool isOpen) {
        std::lock_guard lock(mutex);
        open = isOpen;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable_any changed;
    bool open = true;
    std::atomic<int> inside = 0, most = 0;
};

QDBusMessage method(const QString& interface, const QString& name, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kBusName, kPath, interface, name);
    message.setArguments(args);
    return message;
}

std::vector<std::string> idsOf(const QDBusMessage& reply) {
    std::vector<std::string> ids;
    for (const QString& id : reply.arguments().value(0).toStringList()) ids.push_back(id.toStdString());
    return ids;
}

// A connection of its own: another caller, as the desktop's shell, a
// launcher and a script are.
struct Caller {
    explicit Caller(const QString& name) : bus(QDBusConnection::connectToBus(privateBus().address, name)) {}
    ~Caller() { QDBusConnection::disconnectFromBus(bus.name()); }
    QDBusConnection bus;
};

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(privateBus().address.isEmpty()) << "dbus-daemon did not start";
        // The roots folder itself stays: a service following it with
        // inotify (not as root) watches it and would lose a new one.
        fs::create_directories(roots_);
        for (const auto& entry : fs::directory_iterator(roots_)) fs::remove_all(entry.path());
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
        // The index holds these items, with their dates, and nothing of an
        // earlier test: 8 names (with the folders docs and notes).
        ASSERT_TRUE(pollUntil(
            [&] {
                const auto all = searchIndex(*bestRequestFor("*"), {});
                const auto report = searchIndex(*bestRequestFor("report"), {});
                std::vector<std::string> paths;
                for (const RankedHit& hit : report.valueOr({})) paths.push_back(hit.hit.path());
                return all.valueOr({}).size() == 8 && paths == std::vector<std::string>{folder_, pdf_, dated_, phrase_};
            },
            std::chrono::seconds(20)));

        provider_ = new ProviderObject(
            desktop_,
            [this](const std::string& query) {
                launched_.push_back(query);
                return true;
            },
            [this](const index::Request& request, const std::stop_token& stop) {
                gate_.pass(stop);
                return searchIndex(request, stop);
            });
        new GnomeSearchAdaptor(provider_);
        new KrunnerAdaptor(provider_);
        // The provider answers on a thread of its own, so this thread can
        // wait for replies.
        provider_->moveToThread(&thread_);
        thread_.start();
        server_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(privateBus().address, "server"));
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

    QDBusMessage call(const QString& interface, const QString& name, const QVariantList& args) {
        return QDBusConnection::sessionBus().call(method(interface, name, args), QDBus::Block, 30000);
    }

    std::vector<std::string> resultSet(const QStringList& terms) {
        const QDBusMessage reply = call(kGnome, "GetInitialResultSet", {terms});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return idsOf(reply);
    }

    Gate gate_;
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
        {{"RÉPORT"}, {folder_, pdf_, dated_, phrase_}},
        // A lone letter narrows nothing, but the words rank as typed.
        {{"report", "x"}, {phrase_, folder_, dated_, pdf_}},
        {{}, {}},
        {{"report" + QString(2000, ' ')}, {}},
        {{"report\n"}, {}},
        {{"report", QString(QChar(0x7f))}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(resultSet(c.terms), c.expected) << c.terms.join('|').toStdString();
    // Narrower terms are searched afresh, not within the previous answer,
    // which held only the best few of its matches.
    EXPECT_EQ(idsOf(call(kGnome, "GetSubsearchResultSet", {QStringList{"/x"}, QStringList{"report"}})),
              (std::vector<std::string>{folder_, pdf_, dated_, phrase_}));
}

// Five callers at once: three searches run at a time, and a caller's newer
// search stops its own older one (told so at once, rather than given a cut
// answer) and no other caller's.
TEST_F(ProviderTest, CallersAreIndependentAndAFewRunAtATime) {
    gate_.set(false);
    std::vector<std::unique_ptr<Caller>> callers;
    std::vector<QDBusPendingCall> pending;
    for (int i = 0; i < 5; ++i) {
        callers.push_back(std::make_unique<Caller>(QStringLiteral("caller%1").arg(i)));
        pending.push_back(
            callers.back()->bus.asyncCall(method(kGnome, "GetInitialResultSet", {QStringList{"report", ".pdf"}})));
        // The first caller's search is surely one of those running.
        if (i == 0) {
            ASSERT_TRUE(pollUntil([&] { return gate_.inside == 1; }));
        }
    }
    const int atOnce = static_cast<int>(kSearchesAtOnce);
    ASSERT_TRUE(pollUntil([&] { return gate_.inside == atOnce; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // time for a fourth, were there no bound
    EXPECT_EQ(gate_.most, atOnce);

    QDBusPendingCall newer = callers[0]->bus.asyncCall(method(kGnome, "GetInitialResultSet", {QStringList{"report"}}));
    ASSERT_TRUE(pollUntil([&] { return pending[0].isFinished(); }));
    EXPECT_EQ(pending[0].error().name(), QString::fromLatin1(kSupersededError));
    for (int i = 1; i < 5; ++i) EXPECT_FALSE(pending[i].isFinished()) << i;
    gate_.set(true);
    for (int i = 1; i < 5; ++i) {
        pending[i].waitForFinished();
        EXPECT_EQ(idsOf(pending[i].reply()), std::vector<std::string>{pdf_}) << pending[i].error().name().toStdString();
    }
    newer.waitForFinished();
    EXPECT_EQ(idsOf(newer.reply()), (std::vector<std::string>{folder_, pdf_, dated_, phrase_}));
}

TEST_F(ProviderTest, ResultsOpenThroughTheDesktopAndDescribeThemselves) {
    const QString pdf = QString::fromStdString(pdf_);
    resultSet({"report"});
    call(kGnome, "ActivateResult", {pdf, QStringList{"report"}, 0u});
    // KRunner's action ids: its two, the default (empty), and ones it never
    // offered, which open nothing.
    const struct {
        QString action;
        QString error;  // empty: a plain reply
    } runs[] = {
        {QString::fromLatin1(kOpenFolderAction), {}},
        {QString(), {}},
        {QString::fromLatin1(kOpenAction), {}},
        {"OPEN", QString::fromLatin1(kUnknownActionError)},
    };
    for (const auto& run : runs)
        EXPECT_EQ(call(kKrunner, "Run", {pdf, run.action}).errorName(), run.error) << run.action.toStdString();
    const QString unknownResult = QString::fromLatin1(kUnknownResultError);
    EXPECT_EQ(call(kGnome, "ActivateResult", {"/etc/passwd", QStringList{}, 0u}).errorName(), unknownResult);
    EXPECT_EQ(desktop_.calls, (std::vector<std::string>{"openItem " + pdf_, "openItem " + containingFolder(pdf_),
                                                        "openItem " + pdf_, "openItem " + pdf_}));

    call(kGnome, "LaunchSearch", {QStringList{"report", "2024"}, 0u});
    call(kGnome, "LaunchSearch", {QStringList{"a\tb"}, 0u});
    EXPECT_EQ(launched_, (std::vector<std::string>{"report 2024", ""}));

    // GNOME describes only results it was handed, and is told when an id is
    // not one; KRunner's matches carry their kind, falling relevance and place.
    const QStringList ids{QString::fromStdString(folder_), QString::fromStdString(pdf_)};
    const auto metas = qdbus_cast<QList<QVariantMap>>(call(kGnome, "GetResultMetas", {ids}).arguments().value(0));
    ASSERT_EQ(metas.size(), 2);
    EXPECT_EQ(metas[0].value("id").toString(), ids[0]);
    EXPECT_EQ(metas[0].value("name").toString(), QStringLiteral("report"));
    EXPECT_EQ(metas[0].value("description").toString().toStdString(), containingFolder(folder_));
    EXPECT_EQ(metas[0].value("gicon").toString(), QStringLiteral("folder"));
    EXPECT_EQ(metas[1].value("description").toString().toStdString(), containingFolder(pdf_));
    EXPECT_TRUE(metas[1].value("gicon").toString().startsWith(QStringLiteral(". GThemedIcon application-pdf ")))
        << metas[1].value("gicon").toString().toStdString();
    EXPECT_EQ(call(kGnome, "GetResultMetas", {QStringList{ids[0], "/etc/passwd"}}).errorName(), unknownResult);
    // Their change times are the file system's, in seconds: the PDF's is
    // five hours ago.
    const auto answer = searchIndex(*bestRequestFor("report .pdf"), {});
    ASSERT_EQ(answer.valueOr({}).size(), 1u);
    EXPECT_NEAR(answer->front().hit.modified().value_or(0), static_cast<double>(std::time(nullptr) - 5 * 3600), 60);

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
    call(kKrunner, "Teardown", {});
    EXPECT_EQ(call(kKrunner, "Run", {pdf, QString()}).errorName(), unknownResult);
}

// The program as the bus starts it, with `env`, its streams read until
// they close; whether it ended (status 0) within the time a test waits.
bool endsInTime(std::future<index::testing::ProcessResult>& run) {
    return run.wait_for(std::chrono::seconds(15)) == std::future_status::ready && run.get().exitCode == 0;
}

std::future<index::testing::ProcessResult> startProgram(std::map<std::string, std::string> env) {
    return std::async(std::launch::async, [env] {
        return runProcess({binDir() + "/quillfind-search-provider"}, env, std::chrono::seconds(30));
    });
}

// It takes the bus name once (a second copy gives up with a clear error),
// answers, ends after the idle period, releasing its name, and the index
// service it had to start keeps none of its streams open. It also ends
// with its bus.
TEST_F(ProviderTest, ProgramOwnsItsNameAndEndsWhenIdleOrWithItsBus) {
    server_->unregisterService(kBusName);
    TempDir indexDir;
    auto run = startProgram({{"QUILLFIND_PROVIDER_IDLE_SECONDS", "1"}, {"QUILLFIND_INDEX_DIR", indexDir.path()}});
    auto* bus = QDBusConnection::sessionBus().interface();
    ASSERT_TRUE(pollUntil([&] { return bus->isServiceRegistered(kBusName).value(); }, std::chrono::seconds(10)));
    const auto second = runProcess({binDir() + "/quillfind-search-provider"}, {});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("taken"), std::string::npos) << second.err;
    // The new service may still be crawling at the first answer.
    EXPECT_TRUE(pollUntil([&] { return resultSet({"report", ".pdf"}) == std::vector<std::string>{pdf_}; }));
    EXPECT_TRUE(endsInTime(run)) << "the provider, or something holding its streams, is still there";
    EXPECT_FALSE(bus->isServiceRegistered(kBusName).value());
    stopIndexService(indexDir.path());

    auto own = std::make_optional<PrivateBus>();
    run = startProgram({{"DBUS_SESSION_BUS_ADDRESS", own->address.toStdString()}});
    {
        QDBusConnection watcher = QDBusConnection::connectToBus(own->address, "watcher");
        EXPECT_TRUE(pollUntil([&] { return watcher.interface()->isServiceRegistered(kBusName).value(); },
                              std::chrono::seconds(10)));
    }
    QDBusConnection::disconnectFromBus("watcher");
    own.reset();
    EXPECT_TRUE(endsInTime(run)) << "the provider outlived its bus";
}

// A search stopped while the index has not answered yet ends at once: here
// the "service" accepts nothing and never answers.
TEST(SearchIndexTest, AStoppedSearchDoesNotWaitForTheIndex) {
    TempDir dir;
    ScopedEnv indexDir("QUILLFIND_INDEX_DIR", dir.path());
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address = unixSocketAddress(dir / "indexd.sock").valueOr({});
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    std::stop_source stop;
    auto search =
        std::async(std::launch::async, [&] { return searchIndex(*bestRequestFor("report"), stop.get_token()); });
    EXPECT_EQ(search.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    stop.request_stop();
    EXPECT_EQ(search.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    listener.reset();  // ends the search in any case
    EXPECT_FALSE(search.get().hasValue());
}

// What the bus tests above cannot show: patterns and words as sent.
TEST(BestRequestTest, ReadsTheWindowsQueryLanguage) {
    const auto request = bestRequestFor("a\\b* 报 ? docs/.md x", 7);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->terms, std::vector<std::string>{"报"});
    EXPECT_EQ(request->patterns, (std::vector<std::string>{"a\\\\b*", "?", "*.md"}));
    EXPECT_EQ(request->value, "报 x");
    EXPECT_EQ(request->limit, 7u);
    for (const char* nothing : {"", "a", ". x", "  \"\"  "}) EXPECT_FALSE(bestRequestFor(nothing)) << nothing;
    EXPECT_EQ(bestRequestFor("ab").value_or(index::Request{}).terms,
              std::vector<std::string>{"ab"});  // two letters narrow
    // Terms that reach the provider other than over the bus may be any bytes.
    EXPECT_FALSE(queryFromTerms({"report", "\xff"}));
}

// A caller's newest answer stays known whatever others are handed
// meanwhile; beyond those, the last 500 results handed out.
TEST(ResultMemoryTest, KeepsEachCallersNewestAnswerAndTheLast500) {
    const auto answer = [](const std::string& prefix, int from, int count) {
        std::vector<Hit> hits;
        for (int i = from; i < from + count; ++i)
            hits.emplace_back("/" + prefix + std::to_string(i), "", false, -1, std::nullopt, std::nullopt, "");
        return hits;
    };
    ResultMemory memory(500, 2);
    memory.remember("a", answer("a", 0, 20));
    for (int k = 0; k < 30; ++k) memory.remember("b", answer("b", 20 * k, 20));
    const auto known = [&](const std::string& id) { return memory.find(id) != nullptr; };
    // Pinned: a0-a19 and b's newest, b580-b599; the 500 before: b80-b579.
    const std::pair<const char*, bool> first[] = {{"/a0", true},   {"/a19", true}, {"/b0", false},
                                                  {"/b79", false}, {"/b80", true}, {"/b599", true}};
    for (const auto& [id, expected] : first) EXPECT_EQ(known(id), expected) << id;

    // a's next answer lets its older one go; the answer of a third caller
    // pushes the oldest caller (b) out of the pinned two.
    memory.remember("a", answer("a", 20, 1));
    memory.remember("c", answer("b", 590, 10));
    memory.forget("b");
    const std::pair<const char*, bool> then[] = {{"/a0", false},   {"/a20", true},  {"/b100", false},
                                                 {"/b589", false}, {"/b590", true}, {"/b599", true}};
    for (const auto& [id, expected] : then) EXPECT_EQ(known(id), expected) << id;

    // With no room beyond the pinned answers: a caller's end forgets what
    // only it was handed, and a third caller unpins the oldest one.
    ResultMemory pinnedOnly(0, 2);
    pinnedOnly.remember("c", answer("x", 0, 2));  // x0 x1
    pinnedOnly.remember("b", answer("x", 1, 2));  // x1 x2
    pinnedOnly.forget("b");
    EXPECT_TRUE(pinnedOnly.find("/x0") && pinnedOnly.find("/x1"));
    EXPECT_FALSE(pinnedOnly.find("/x2"));
    pinnedOnly.remember("d", answer("y", 0, 1));
    pinnedOnly.remember("e", answer("z", 0, 1));
    EXPECT_FALSE(pinnedOnly.find("/x0"));
    EXPECT_TRUE(pinnedOnly.find("/y0") && pinnedOnly.find("/z0"));
}
}  // namespace
}  // namespace qf::test
