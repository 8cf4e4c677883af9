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
    for (const char* rootPath : {"/", "/r/s"}) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            SCOPED_TRACE(std::string(rootPath) + " seed " + std::to_string(seed));
            std::mt19937 random(seed);
            IndexStore store;
            std::vector<uint32_t> folders{store.addRoot(rootPath)};
            for (int i = 0; i < 400; ++i) {
                const uint32_t parent = folders[random() % folders.size()];
                std::string name = pieces[random() % pieces.size()] + pieces[random() % pieces.size()];
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

            sortByPath(store, ids);
            std::vector<std::string> got;
            for (const uint32_t id : ids) got.push_back(store.path(id));
            EXPECT_EQ(got, expected);
        }
    }
}

}  // namespace
}  // namespace qf::index
