#include "model_test_support.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
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

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

}  // namespace

void ensureApp() {
    static int argc = 1;
    static char name[] = "test_model";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

std::string binDir() {
    const char* dir = std::getenv("QF_BIN_DIR");
    if (dir != nullptr && *dir != '\0') return dir;
    ensureApp();
    return QCoreApplication::applicationDirPath().toStdString();
}

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(pred, static_cast<int>(timeout.count()));
}

void spin(std::chrono::milliseconds duration) { QTest::qWait(static_cast<int>(duration.count())); }

EnvGuard::~EnvGuard() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void EnvGuard::remember(const std::string& name) {
    if (saved_.count(name)) return;
    const char* value = std::getenv(name.c_str());
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
}

void EnvGuard::set(const std::string& name, const std::string& value) {
    remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
}

void EnvGuard::unset(const std::string& name) {
    remember(name);
    ::unsetenv(name.c_str());
}

FakeIndex::FakeIndex() : dir_(tmp_.path().toStdString()) {
    const std::string script = dir_ + "/mdfind";
    writeFile(script, kFakeMdfind);
    ::chmod(script.c_str(), 0755);
    ::mkdir((dir_ + "/answers").c_str(), 0755);
    ::mkdir((dir_ + "/delay").c_str(), 0755);
    writeFile(dir_ + "/calls.log", "");
}

void FakeIndex::answer(const std::string& call, const std::vector<std::string>& lines, int nth) {
    std::string content;
    for (const auto& line : lines) content += line + "\n";
    std::string file = dir_ + "/answers/" + md5(call);
    if (nth > 0) file += "." + std::to_string(nth);
    writeFile(file, content);
}

void FakeIndex::delay(const std::string& call, double seconds) {
    writeFile(dir_ + "/delay/" + md5(call), std::to_string(seconds) + "\n");
}

std::vector<std::string> FakeIndex::calls() const { return readLines(dir_ + "/calls.log"); }

int FakeIndex::callCount(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls()) n += c == call;
    return n;
}

std::vector<LogLine> FakeIndex::log() const {
    std::vector<LogLine> lines;
    for (const auto& raw : readLines(logPath())) {
        const auto ms = raw.find("ms ");
        LogLine line;
        if (ms != std::string::npos) {
            line.ms = std::atoll(raw.substr(0, ms).c_str());
            line.message = raw.substr(ms + 3);
        } else {
            line.message = raw;
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FakeIndex::logMessages() const {
    std::vector<std::string> messages;
    for (const auto& line : log()) messages.push_back(line.message);
    return messages;
}

bool FakeIndex::logHas(const std::string& message) const {
    for (const auto& m : logMessages())
        if (m == message) return true;
    return false;
}

int FakeIndex::logIndexOf(const std::string& prefix) const {
    const auto messages = logMessages();
    for (std::size_t i = 0; i < messages.size(); ++i)
        if (messages[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

std::optional<LogLine> FakeIndex::logLine(const std::string& prefix) const {
    for (const auto& line : log())
        if (line.message.rfind(prefix, 0) == 0) return line;
    return std::nullopt;
}

void ModelTest::SetUp() {
    ensureApp();
    index = std::make_unique<FakeIndex>();
    env.set("QUILLFIND_MDFIND", index->path("mdfind"));
    env.set("QUILLFIND_DEBUG_LOG", index->logPath());
    for (const char* name : {"QUILLFIND_QUERY", "QUILLFIND_STRESS", "QUILLFIND_SIMULATE", "QUILLFIND_DUMP"})
        env.unset(name);
}

void ModelTest::TearDown() {
    // No child or worker of this test may outlive it: a late worker would
    // write into the next test's log.
    for (int i = 0; i < 300; ++i) {
        QueryRunner::shared().cancelAll();
        if (waitForBackgroundIdle(50)) break;
    }
    spin(std::chrono::milliseconds(0));
}

std::unique_ptr<Model> ModelTest::makeModel() { return std::make_unique<Model>(desktop); }

bool ModelTest::waitForPublication(const Model& model, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return !model.gathering(); }, timeout);
}

bool ModelTest::runAndWait(Model& model, const std::string& text) {
    model.setText(text);
    model.run();
    return waitForPublication(model);
}

std::string ModelTest::makeFile(const std::string& name, std::size_t size, std::optional<double> mtime) {
    const std::string path = index->dir() + "/files/" + name;
    ::mkdir((index->dir() + "/files").c_str(), 0755);
    writeFile(path, std::string(size, 'x'));
    if (mtime) {
        struct timeval times[2];
        times[0].tv_sec = static_cast<time_t>(*mtime);
        times[0].tv_usec = 0;
        times[1] = times[0];
        ::utimes(path.c_str(), times);
    }
    return path;
}

}  // namespace qf::test
