#include "support.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <array>
#include <filesystem>

#include "actions/program_run.h"
#include "actions/trash.h"

namespace qf::test {

namespace {

// Widgets, the clipboard and queued calls need one application object for
// the whole test program.
class QtEnvironment : public ::testing::Environment {
    void SetUp() override {
        static char name[] = "test_actions";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }
    std::unique_ptr<QApplication> app_;
};

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::uint32_t le(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

}  // namespace

void ActionsTest::expectOnlyFailure(const std::string& title, const std::string& detail, const std::string& what) {
    ASSERT_EQ(desktop_.alerts.size(), 1u) << what;
    EXPECT_EQ(desktop_.alerts[0].title, title) << what;
    EXPECT_EQ(desktop_.alerts[0].detail, detail) << what;
    EXPECT_EQ(desktop_.alerts[0].buttons, std::vector<std::string>{"好"}) << what;
}

std::string errorText(std::errc e) { return std::make_error_code(e).message(); }

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool dittoBuilt() { return access((binDir() + "/ditto").c_str(), X_OK) == 0; }

RecordingDesktop realTrashAndPrograms() {
    RecordingDesktop desktop;
    desktop.trashHook = [](const std::string& path) {
        const auto ec = moveItemToTrash(path);
        return ec ? ServiceResult::failure(ec.message()) : ServiceResult::success();
    };
    desktop.runProgramHook = runProgramAndWait;
    return desktop;
}

std::map<std::string, ZipEntry> readZipDirectory(const std::string& path) {
    const std::string zip = readFile(path);
    std::size_t eocd = zip.size() < 22 ? std::string::npos : zip.rfind("PK\x05\x06");
    if (eocd == std::string::npos || eocd + 22 > zip.size()) return {};
    const std::uint32_t count = le(zip, eocd + 10, 2);
    std::size_t at = le(zip, eocd + 16, 4);
    std::map<std::string, ZipEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || le(zip, at, 4) != 0x02014b50) return {};
        const bool unixHost = (le(zip, at + 4, 2) >> 8) == 3;
        const std::uint32_t nameLen = le(zip, at + 28, 2);
        entries[zip.substr(at + 46, nameLen)] = {static_cast<std::uint16_t>(le(zip, at + 8, 2)),
                                                 unixHost ? le(zip, at + 38, 4) >> 16 : 0};
        at += 46 + nameLen + le(zip, at + 30, 2) + le(zip, at + 32, 2);
    }
    return entries;
}

std::vector<std::string> namesInZip(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& [name, entry] : readZipDirectory(path)) names.push_back(name);
    return names;
}

bool unpackZip(const std::string& zip, const std::string& folder) {
    // Names marked UTF-8 are converted to the thread's character set: make
    // that UTF-8 too, so that no name is altered on the way.
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    const locale_t before = uselocale(utf8);
    archive* in = archive_read_new();
    archive* out = archive_write_disk_new();
    archive_read_support_format_zip(in);
    archive_write_disk_set_options(out, ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    bool ok = archive_read_open_filename(in, zip.c_str(), 1 << 16) == ARCHIVE_OK;
    archive_entry* entry = nullptr;
    int rc = ARCHIVE_OK;
    while (ok && (rc = archive_read_next_header(in, &entry)) == ARCHIVE_OK) {
        archive_entry_copy_pathname(entry, (folder + "/" + archive_entry_pathname(entry)).c_str());
        ok = archive_read_extract2(in, entry, out) == ARCHIVE_OK;
    }
    ok = ok && rc == ARCHIVE_EOF;
    archive_read_free(in);
    archive_write_free(out);
    uselocale(before);
    if (utf8) freelocale(utf8);
    return ok;
}

std::map<std::string, std::string> treeUnder(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string relative = std::filesystem::relative(e.path(), folder);
        if (e.is_symlink()) {
            tree[relative] = "-> " + std::filesystem::read_symlink(e.path()).string();
        } else if (e.is_directory()) {
            tree[relative] = "<dir>";
        } else {
            tree[relative] = readFile(e.path());
        }
    }
    return tree;
}

}  // namespace qf::test
