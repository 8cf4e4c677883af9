#include "path_order.h"

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
        const char* rootPath = shape.rootPath;
        for (unsigned seed = 1; seed <= shape.seeds; ++seed) {
            SCOPED_TRACE(std::string(rootPath) + " seed " + std::to_string(seed));
            std::mt19937 random(seed);
            IndexStore store;
            std::vector<uint32_t> folders{store.addRoot(rootPath)};
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
            std::vector<uint32_t> ids;
            for (uint32_t id = 0; id < store.size(); ++id)
                if (random() % 2 == 0) ids.push_back(id);
            std::shuffle(ids.begin(), ids.end(), random);

            std::vector<std::string> expected;
            for (const uint32_t id : ids) expected.push_back(store.path(id));
            std::sort(expected.begin(), expected.end());

            sortByPath(store, ids, shape.threads);
            std::vector<std::string> got;
            for (const uint32_t id : ids) got.push_back(store.path(id));
            EXPECT_EQ(got, expected);
        }
    }
}

}  // namespace
}  // namespace qf::index
