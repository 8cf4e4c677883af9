#include "model_test_support.h"

#include <sys/stat.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "core/shell.h"
#include "model/run_shared.h"

namespace qf::test {

namespace {

// Answers and delays live in files named after the MD5 of the call, so any
// characters may appear in a call.
constexpr const char* kFakeMdfind = R"SH(#!/bin/sh
dir=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
key="$*"
printf '%s\n' "$key" >> "$dir/calls.log"
hash=$(printf '%s' "$key" | md5sum | cut -c1-32)
n=$(grep -cxF -- "$key" "$dir/calls.log")
if [ -f "$dir/delay/$hash" ]; then sleep "$(cat "$dir/delay/$hash")"; fi
if [ -f "$dir/answers/$hash.$n" ]; then cat "$dir/answers/$hash.$n"
elif [ -f "$dir/answers/$hash" ]; then cat "$dir/answers/$hash"
fi
exit 0
)SH";

std::string md5(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

Strings readLines(const std::string& path) {
    std::istringstream in(readFile(path));
    Strings lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

void ensureApp() {
    static int argc = 1;
    static char name[] = "test_model";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(pred, static_cast<int>(timeout.count()));
}

void spin(std::chrono::milliseconds duration) { QTest::qWait(static_cast<int>(duration.count())); }

bool backgroundIdle() { return waitForBackgroundIdle(15000); }

Strings pathsOf(const std::vector<Hit>& hits) {
    Strings paths;
    for (const auto& h : hits) paths.push_back(h.path());
    return paths;
}

FakeIndex::FakeIndex() {
    writeFile(path("mdfind"), kFakeMdfind);
    ::chmod(path("mdfind").c_str(), 0755);
    reset();
}

void FakeIndex::reset() {
    for (const char* folder : {"answers", "delay"}) {
        std::filesystem::remove_all(path(folder));
        std::filesystem::create_directory(path(folder));
    }
    writeFile(path("calls.log"), "");
    writeFile(logPath(), "");
}

void FakeIndex::answer(const std::string& call, const Strings& lines, int nth) {
    std::string content;
    for (const auto& line : lines) content += line + "\n";
    writeFile(path("answers/" + md5(call) + (nth > 0 ? "." + std::to_string(nth) : "")), content);
}

void FakeIndex::delay(const std::string& call, double seconds) {
    writeFile(path("delay/" + md5(call)), std::to_string(seconds) + "\n");
}

Strings FakeIndex::calls() const { return readLines(path("calls.log")); }

Strings FakeIndex::logMessages() const {
    Strings messages;
    for (const auto& line : readLines(logPath())) messages.push_back(line.substr(line.find("ms ") + 3));
    return messages;
}

bool FakeIndex::logHas(const std::string& message) const { return std::ranges::count(logMessages(), message) > 0; }

int FakeIndex::logCount(const std::string& prefix) const {
    return static_cast<int>(std::ranges::count_if(logMessages(), [&](const auto& m) { return m.starts_with(prefix); }));
}

std::optional<long long> FakeIndex::logMs(const std::string& prefix) const {
    for (const auto& line : readLines(logPath()))
        if (line.substr(line.find("ms ") + 3).starts_with(prefix)) return std::atoll(line.c_str());
    return std::nullopt;
}

void ModelTest::SetUp() {
    ensureApp();
    setEnv("QUILLFIND_MDFIND", index.path("mdfind"));
    setEnv("QUILLFIND_DEBUG_LOG", index.logPath());
    for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
        setEnv(name, std::nullopt);
}

void ModelTest::TearDown() {
    // No child or worker of this test may outlive it: a late worker would
    // write into the next test's log.
    for (int i = 0; i < 300; ++i) {
        QueryRunner::shared().cancelAll();
        if (waitForBackgroundIdle(50)) break;
    }
    spin(std::chrono::milliseconds(0));
    while (!env_.empty()) env_.pop_back();  // newest first
}

bool ModelTest::runAndWait(Model& model, const std::string& text) {
    model.setText(text);
    model.run();
    return waitForPublication(model);
}

}  // namespace qf::test
