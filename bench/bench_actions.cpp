// Figures for the file actions: digest throughput and memory, copying a
// tree of small files, and the free-name searches when every name is taken.
//   build/bin/bench_actions [megabytes]   (default 256)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "actions/file_ops.h"
#include "actions/item_names.h"
#include "actions/sha256_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long maxRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void writeBytes(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - done)));
    }
}

void benchDigest(const std::string& dir, std::size_t megabytes) {
    const std::string file = dir + "/big.bin";
    writeBytes(file, megabytes << 20);
    const long rssBefore = maxRssKiB();
    const auto start = Clock::now();
    const auto d = qf::sha256File(file);
    const double s = secondsSince(start);
    std::printf("sha256      %zu MiB in %.3f s = %.0f MiB/s, %lld chunks, peak RSS +%ld KiB (chunk %zu KiB)\n",
                megabytes, s, static_cast<double>(megabytes) / s, static_cast<long long>(d ? d->chunks : -1),
                maxRssKiB() - rssBefore, qf::kDigestChunkBytes >> 10);
    std::filesystem::remove(file);
}

void benchCopyTree(const std::string& dir) {
    const std::string tree = dir + "/tree";
    constexpr int kFolders = 40, kFiles = 50;
    for (int f = 0; f < kFolders; ++f) {
        const std::string sub = tree + "/d" + std::to_string(f);
        std::filesystem::create_directories(sub);
        for (int i = 0; i < kFiles; ++i) writeBytes(sub + "/f" + std::to_string(i), 4096);
    }
    auto start = Clock::now();
    const auto copied = qf::copyItem(tree, dir + "/tree copy");
    const double copyS = secondsSince(start);
    start = Clock::now();
    const bool same = qf::sameTree(tree, dir + "/tree copy");
    const double verifyS = secondsSince(start);
    std::printf("copy tree   %d files of 4 KiB: copy %.3f s (%s), compare %.3f s (%s)\n", kFolders * kFiles, copyS,
                copied ? "ok" : copied.error().message().c_str(), verifyS, same ? "same" : "DIFFERENT");
}

void benchFreeNames(const std::string& dir) {
    const std::string folder = dir + "/names";
    std::filesystem::create_directories(folder);
    const qf::NameParts parts{"a", "txt"};
    for (int n = 0; n <= qf::kMaxCopyNumber; ++n) writeBytes(folder + "/" + qf::copyName(parts, n), 0);
    for (int n = 0; n <= qf::kMaxArchiveNumber; ++n) writeBytes(folder + "/" + qf::archiveName("a", n), 0);
    auto start = Clock::now();
    const std::string copy = qf::freeCopyPath(folder, "a.txt");
    const double copyS = secondsSince(start);
    start = Clock::now();
    const std::string zip = qf::freeArchivePath(folder, "a.txt");
    const double zipS = secondsSince(start);
    std::printf("free names  all taken: copy name %.2f ms (%s), archive name %.2f ms (%s)\n", copyS * 1e3,
                std::filesystem::path(copy).filename().c_str(), zipS * 1e3,
                std::filesystem::path(zip).filename().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    std::string dir = std::filesystem::temp_directory_path() / "qf-bench-actions-XXXXXX";
    if (!mkdtemp(dir.data())) return 1;
    benchDigest(dir, megabytes);
    benchCopyTree(dir);
    benchFreeNames(dir);
    std::filesystem::remove_all(dir);
    return 0;
}
