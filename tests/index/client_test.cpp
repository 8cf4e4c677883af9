// The client's side of the status: records read back into the typed
// status, answers that arrive in pieces or not at all, and the text mdfind
// prints from them.
#include <gtest/gtest.h>

#include "base/unix_socket.h"
#include "index/client/client.h"
#include "index/client/wire.h"
#include "index_test_support.h"
#include "mdfind/status_text.h"
#include "protocol/index_protocol.h"

namespace qf::index {
namespace {

using protocol::kTagEnd;
using protocol::kTagStatusField;

ServiceStatus readAll(std::string_view records) {
    ServiceStatus status;
    for (size_t at = 0; at < records.size();) {
        const size_t end = records.find('\0', at);
        EXPECT_EQ(records[at], kTagStatusField);
        readStatusField(status, records.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return status;
}

std::string field(std::string_view payload) { return replyRecord(kTagStatusField, payload); }

// The encoder and the reader walk one list of fields, so each kind of
// field stands for all of its kind.
TEST(StatusRecords, EveryKindOfFieldSurvivesTheTrip) {
    ServiceStatus full;
    full.crawling = Flag::no;
    full.watchLimitReached = Flag::yes;
    full.entries = 1'234'567'890'123ULL;
    full.queued = 0;  // zero is a value, not an absence
    full.crawlAgeSeconds = -2;
    full.snapshotFailure = "disk full: a=b";
    full.settingsPath = "";
    full.roots = {"/", "/run/media/me/disk\nwith a line feed"};
    full.settingsProblems = {{0, "cannot read it"}, {12, "unknown key 'x = 1'"}};
    full.pid = 4242;
    EXPECT_EQ(readAll(encodeStatus(full)), full);
    // Nothing known, nothing sent.
    EXPECT_EQ(encodeStatus(ServiceStatus{}), "");
    // A NUL in a value cannot split the record.
    full.snapshotFailure = std::string("a\0b", 3);
    EXPECT_EQ(readAll(encodeStatus(full)).snapshotFailure, "a\\x00b");
}

TEST(StatusRecords, UnknownKeysAreSkippedAndMissingOrMalformedOnesStayUnknown) {
    struct Case {
        std::string records;
        std::optional<uint64_t> entries;
        Flag crawling;
        std::vector<SettingsProblem> problems;
    };
    const Case cases[] = {
        {field("entries=0") + field("crawling=0"), 0, Flag::no, {}},
        {field("future-key=1") + field("entries=5") + field("=") + field("no equals sign"), 5, Flag::unknown, {}},
        {field("crawling=1"), std::nullopt, Flag::yes, {}},
        {field("entries=12x") + field("crawling=yes"), std::nullopt, Flag::unknown, {}},
        {field("entries=-3") + field("entries="), std::nullopt, Flag::unknown, {}},
        {field("entries=99999999999999999999"), std::nullopt, Flag::unknown, {}},  // beyond 64 bits
        {field("entries=1") + field("entries=2"), 2, Flag::unknown, {}},           // the last one counts
        {field("settings-problem=3 bad = line") + field("settings-problem=x y") + field("settings-problem=4"),
         std::nullopt,
         Flag::unknown,
         {{3, "bad = line"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        const ServiceStatus status = readAll(c.records);
        EXPECT_EQ(status.entries, c.entries);
        EXPECT_EQ(status.crawling, c.crawling);
        EXPECT_EQ(status.settingsProblems, c.problems);
    }
}

TEST(AskStatus, AWholeAnswerIsReadAndAnythingLessIsAnError) {
    const std::string whole = field("crawling=1") + field("entries=98765") + replyRecord(kTagEnd, "0");
    struct Case {
        const char* name;
        std::string reply;
        bool close;
        std::optional<std::error_code> error;  // nothing: succeeds
    };
    const Case cases[] = {
        {"whole, in pieces", whole, true, std::nullopt},
        {"other records between", replyRecord('P', "/x") + whole, true, std::nullopt},
        {"closed before the end record", whole.substr(0, whole.size() - 3), true, Errc::unavailable},
        {"the service's own error", field("entries=1") + replyRecord(kTagEnd, "busy"), true, Errc::refused},
        {"silent until the deadline", field("entries=1"), false, std::make_error_code(std::errc::timed_out)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::FakeService service(dir / "indexd.sock", {c.reply}, c.close);
        auto asker = connectUnixSocket(dir / "indexd.sock");
        ASSERT_TRUE(asker);
        auto status = askStatus(asker->get(), std::chrono::steady_clock::now() + std::chrono::milliseconds(300));
        ASSERT_EQ(status.hasValue(), !c.error) << (status ? "" : status.error().message());
        if (status) {
            EXPECT_EQ(status->crawling, Flag::yes);
            EXPECT_EQ(status->entries, 98765u);
        } else {
            EXPECT_EQ(status.error().code(), *c.error) << status.error().message();
        }
    }
}

// An answer that lacks something says so on stderr and still succeeds:
// the service's notice of an index that is not whole yet, and the paths
// that a line cannot show.
TEST(MdfindAnswer, WhatIsMissingIsToldOnStderr) {
    testing::TempDir dir;
    testing::FakeService service(dir / "indexd.sock",
                                 {replyRecord('P', "/a") + replyRecord('P', "/b\nc") + replyRecord('P', "/d\xFF") +
                                  replyRecord(protocol::kTagNotice, "not whole") + replyRecord(kTagEnd, "0")});
    auto r = testing::runProcess({testing::binDir() + "/mdfind", "-name", "a"}, {{"QUILLFIND_INDEX_DIR", dir.path()}});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "/a\n");
    EXPECT_EQ(r.err.rfind("mdfind: not whole\nmdfind: 2 paths left out: ", 0), 0u) << r.err;
}

TEST(StatusText, LinesSayUnknownForWhatWasNotSentAndEscapeControls) {
    ServiceStatus status;
    status.crawling = Flag::no;
    status.entries = 2;
    status.memoryBytes = 100 << 20;  // 104 MB
    status.lastCrawlMs = 40;
    status.crawlAgeSeconds = 5;
    status.roots = {"/odd\x1b[2Jname"};
    status.snapshotPath = "/c/\x1b[2Jsnap";
    status.settingsPath = "";
    status.snapshotLoaded = Flag::no;
    const std::string text = formatStatus(status);
    for (const char* line : {"state: idle\n", "entries: 2\n", "folders scanned: unknown (queued: unknown)\n",
                             "last crawl: 40 ms, finished 5 s ago\n", "watches: unknown\n",
                             "memory: 100 MiB in the index (52428800 bytes per entry)\n", "snapshot: none yet\n",
                             "root: /odd\\x1b[2Jname\n", "snapshot file: /c/\\x1b[2Jsnap\n", "settings file: none\n",
                             "setting hidden: unknown\n", "pid: unknown\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("fanotify"), std::string::npos) << text;
    EXPECT_EQ(text.find("incomplete"), std::string::npos) << text;
    EXPECT_NE(formatStatus(ServiceStatus{}).find("state: unknown\n"), std::string::npos);
    // Idle, yet short of folders it could not read: not idle to the reader.
    status.unlistedFolders = 3;
    status.unlistedReason = "cannot open: Too many open files";
    const std::string incomplete = formatStatus(status);
    for (const char* line :
         {"state: incomplete\n", "incomplete: 3 folder(s) not listed yet (cannot open: Too many open files)"})
        EXPECT_NE(incomplete.find(line), std::string::npos) << line << "\n" << incomplete;
}

}  // namespace
}  // namespace qf::index
