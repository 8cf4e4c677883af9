#include "support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "actions/program_run.h"
#include "actions/trash.h"

namespace qf::test {

namespace {

// Widgets, the clipboard and queued calls need an application object; one
// is made for the whole test program, with its side effects kept in a
// temporary home.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static char name[] = "test_actions";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qf-actions-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
        setenv(name_.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string binDir() {
    const char* dir = std::getenv("QF_BIN_DIR");
    return dir ? dir : "";
}

void RecordingDesktop::openItem(const std::string& path) { calls.push_back("openItem " + path); }

void RecordingDesktop::revealItem(const std::string& path) { calls.push_back("revealItem " + path); }

ServiceResult RecordingDesktop::showItemProperties(const std::string& path) {
    calls.push_back("showItemProperties " + path);
    return propertiesAnswer;
}

ServiceResult RecordingDesktop::openTerminal(const std::string& folder) {
    calls.push_back("openTerminal " + folder);
    return terminalAnswer;
}

void RecordingDesktop::setClipboardText(const std::string& text) {
    calls.push_back("setClipboardText " + text);
    clipboardText = text;
    clipboardFile.reset();
}

void RecordingDesktop::setClipboardFile(const std::string& path) {
    calls.push_back("setClipboardFile " + path);
    clipboardFile = path;
    clipboardText.reset();
}

int RecordingDesktop::runAlert(const AlertRequest& request) {
    calls.push_back("alert " + request.title);
    alerts.push_back(request);
    if (alertAnswers.empty()) return kFirstButton + 1;
    const int answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

TextPromptResult RecordingDesktop::runTextPrompt(const TextPromptRequest& request) {
    calls.push_back("prompt " + request.title);
    prompts.push_back(request);
    return promptAnswer;
}

std::optional<std::string> RecordingDesktop::chooseFolder(const FolderChoiceRequest& request) {
    calls.push_back("chooseFolder");
    folderRequests.push_back(request);
    return folderAnswer;
}

ServiceResult RecordingDesktop::moveToTrash(const std::string& path) {
    calls.push_back("moveToTrash " + path);
    if (trashAnswer) return *trashAnswer;
    if (auto ec = moveItemToTrash(path)) return ServiceResult::failure(ec.message());
    return ServiceResult::success();
}

ProgramResult RecordingDesktop::runProgram(const std::string& program, const std::vector<std::string>& args) {
    calls.push_back("runProgram " + program);
    std::vector<std::string> line{program};
    line.insert(line.end(), args.begin(), args.end());
    programs.push_back(line);
    if (programAnswer) return *programAnswer;
    return runProgramAndWait(program, args);
}

}  // namespace qf::test
