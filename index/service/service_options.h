#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qf::index {

struct ServiceOptions {
    std::vector<std::string> roots;  // resolved absolute folders
    // True: `roots` are the roots whatever the settings file says (as with
    // QUILLFIND_INDEX_ROOTS); false: the file's roots, or `systemRoot`.
    bool rootsFixed = true;
    std::string settingsPath;  // index.conf, followed while running; empty: none
    // The default root. Its top folders proc, sys, dev and run are pruned,
    // except the disks mounted below run/media, which become roots of their
    // own. Tests point it at a temporary tree.
    std::string systemRoot = "/";
    std::string snapshotPath;  // empty: no persistence
    unsigned crawlThreads = 4;
    unsigned searchThreads = 2;
    int rescanSeconds = 60;     // folders without a watch are rescanned this often
    int snapshotSeconds = 600;  // a changed index is saved at most this often
    // How long one pass of the background check over every folder takes.
    std::chrono::seconds scrubPeriod{24 * 60 * 60};
    // The index is compacted when this many entries are dead and they are at
    // least a quarter of the live ones.
    size_t compactMinDead = 100000;
    size_t maxWatches = 0;  // 0: as many as the kernel grants
    // Watch whole file systems through fanotify where permitted, instead of
    // each folder through inotify.
    bool useFanotify = false;
    // How long an answer by change time waits for the crawl's times before
    // it fails: a whole disk's are read a second or two after its names.
    std::chrono::milliseconds timesWait{10000};
    // Called on a crawl thread before a folder is read (tests hold it back).
    std::function<void(const std::string& folder)> beforeListing;
    // Called on a crawl thread before the times of a folder's files, listed
    // without them, are read.
    std::function<void(const std::string& folder)> beforeReadingTimes;
};

}  // namespace qf::index
