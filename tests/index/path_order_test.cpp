#include "index/store/path_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace qf::index {
namespace {

// Names built from the bytes that sort around the slash ('-', '.', ' ' and
// '!' below it, letters and UTF-8 above) so that siblings keep landing
// between a folder and its contents; a random share of the entries is asked
// for, as a query would.
TEST(PathOrder, AnswersComeInByteOrderOfTheirPaths) {
    const std::vector<std::string> pieces{"a", "a-", "a.", "a ", "!", "b", "0", "\xc3\xa9", "ab"};
    // Small trees in many shapes on one thread; one large enough to be
    // ordered on two.
    struct Shape {
        const char* rootPath;
        unsigned seeds;
        int entries;
        unsigned threads;
    };
    for (const Shape& shape : {Shape{"/", 20, 400, 1}, Shape{"/r/s", 20, 400, 1}, Shape{"/r", 1, 60000, 2}}) {
        for (unsigned seed = 1; seed <= shape.seeds; ++seed) {
            SCOPED_TRACE(std::string(shape.rootPath) + " seed " + std::to_string(seed));
            std::mt19937 random(seed);
            IndexStore store;
            std::vector<uint32_t> folders{store.addRoot(shape.rootPath)};
            for (int i = 0; i < shape.entries; ++i) {
                const uint32_t parent = folders[random() % folders.size()];
                std::string name = pieces[random() % pieces.size()] + pieces[random() % pieces.size()];
                if (shape.entries > 1000) name += std::to_string(i % 97);
                if (store.findChild(parent, name) != kNoEntry) continue;
                const bool folder = random() % 3 == 0;
                const uint32_t id =
                    store.addChild(parent, name, name, folder ? EntryType::dir : EntryType::file, 0, kNoTime);
                if (folder) folders.push_back(id);
            }
            // The same tree as a crawl makes it: each folder's children added
            // in name order and the folder marked so, some folders given a
            // child later. Answers then list ids in ascending order.
            IndexStore crawled;
            std::vector<std::pair<uint32_t, uint32_t>> toCopy{{folders[0], crawled.addRoot(shape.rootPath)}};
            for (size_t next = 0; next < toCopy.size(); ++next) {
                const auto [from, to] = toCopy[next];
                std::vector<uint32_t> children;
                for (uint32_t c = store.at(from).firstChild; c != kNoEntry; c = store.at(c).nextSibling)
                    children.push_back(c);
                std::sort(children.begin(), children.end(),
                          [&](uint32_t a, uint32_t b) { return store.rawName(a) < store.rawName(b); });
                const bool later = !children.empty() && random() % 4 == 0;
                for (size_t k = later ? 1 : 0; k < children.size(); ++k) {
                    const uint32_t c = children[k];
                    const uint32_t copy =
                        crawled.addChild(to, store.rawName(c), store.rawName(c), store.at(c).type, 0, 0);
                    if (store.at(c).isFolder()) toCopy.emplace_back(c, copy);
                }
                crawled.at(to).flags |= Entry::kChildrenInOrder;
                if (later)
                    crawled.addChild(to, store.rawName(children[0]), store.rawName(children[0]), EntryType::file, 0, 0);
            }
            for (IndexStore* tree : {&store, &crawled}) {
                std::vector<uint32_t> ids;
                for (uint32_t id = 0; id < tree->size(); ++id)
                    if (random() % 2 == 0) ids.push_back(id);
                if (tree == &store) std::shuffle(ids.begin(), ids.end(), random);

                std::vector<std::string> expected;
                for (const uint32_t id : ids) expected.push_back(tree->path(id));
                std::sort(expected.begin(), expected.end());

                sortByPath(*tree, ids, shape.threads);
                std::vector<std::string> got;
                for (const uint32_t id : ids) got.push_back(tree->path(id));
                EXPECT_EQ(got, expected);
            }
        }
    }
}

}  // namespace
}  // namespace qf::index
