#include "TessaryCore/LocalListing.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace tessary;

namespace {

class LocalListingTest : public ::testing::Test {
protected:
    LocalEntry& add(const std::string& name, std::vector<std::string> masks,
                    std::vector<ItemKind> kinds) {
        LocalEntry& e =
            listing.add(LocalEntry(name, folder, kinds.back(), pool, masks.front()), masks, kinds);
        for (const std::string& m : masks)
            for (const ItemKind k : kinds)
                expected[{m, k}].push_back(name);
        return e;
    }
    std::vector<std::string> names(std::string_view mask, ItemKind kind) const {
        std::vector<std::string> out;
        for (const LocalEntry* e : listing.find(mask, kind))
            out.push_back(e->name);
        return out;
    }

    TimeoutPool pool;
    std::shared_ptr<const std::string> folder = std::make_shared<const std::string>("/f");
    LocalListing listing;
    std::map<std::pair<std::string, ItemKind>, std::vector<std::string>> expected;
};

TEST_F(LocalListingTest, FindsEveryKeyInListingOrder) {
    add("Report 2.pdf", {"R{4}t 2.pdf", "R{6}2.pdf"}, {ItemKind::doc});
    add("Result.pdf", {"R{4}t.pdf"}, {ItemKind::doc});
    add("Rocket.pdf", {"R{4}t.pdf"}, {ItemKind::doc});
    add("Retort", {"R{4}t"}, {ItemKind::dir});
    add("Racket", {"R{4}t"}, {ItemKind::symlink, ItemKind::dir});
    add("Rabbit.pdf", {"R{4}t.pdf"}, {ItemKind::dir});
    // Many more, so that the keys are spread far and collide in their buckets of the sort.
    for (int i = 0; i < 500; ++i) {
        const std::string n = std::to_string(i % 37);
        add("x" + std::to_string(i), {"x{" + n + "}", "y" + n}, {ItemKind::doc});
    }
    listing.seal();

    EXPECT_EQ(listing.size(), 506U);
    EXPECT_EQ(names("R{4}t.pdf", ItemKind::doc),
              (std::vector<std::string>{"Result.pdf", "Rocket.pdf"}));
    EXPECT_EQ(names("R{4}t.pdf", ItemKind::dir), std::vector<std::string>{"Rabbit.pdf"});
    EXPECT_EQ(names("R{4}t", ItemKind::dir), (std::vector<std::string>{"Retort", "Racket"}));
    EXPECT_EQ(names("R{4}t", ItemKind::symlink), std::vector<std::string>{"Racket"});
    EXPECT_EQ(names("R{6}2.pdf", ItemKind::doc), std::vector<std::string>{"Report 2.pdf"});
    EXPECT_TRUE(listing.find("R{4}t", ItemKind::doc).empty());
    EXPECT_TRUE(listing.find("R{4}", ItemKind::dir).empty());
    EXPECT_TRUE(listing.find("", ItemKind::doc).empty());
    for (const auto& [key, want] : expected)
        EXPECT_EQ(names(key.first, key.second), want) << key.first;
}

TEST_F(LocalListingTest, EntriesStayPutWhenTheListingMoves) {
    LocalEntry& first = add("Alpha", {"A{3}a"}, {ItemKind::dir});
    for (int i = 0; i < 2000; ++i)
        add("f" + std::to_string(i), {"f" + std::to_string(i)}, {ItemKind::doc});
    listing.seal();
    const LocalListing moved = std::move(listing);
    ASSERT_EQ(moved.find("A{3}a", ItemKind::dir).size(), 1U);
    EXPECT_EQ(moved.find("A{3}a", ItemKind::dir).front(), &first);
    EXPECT_EQ(moved.find("f1999", ItemKind::doc).front()->path(), "/f/f1999");
}

} // namespace
