#include "TessaryCore/HugeBlock.hpp"
#include "TessaryCore/HugeBlockSupply.hpp"
#include "TessaryCore/LocalIdentity.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tessary;

namespace {

std::vector<std::string> ids(const std::vector<Item*>& items) {
    std::vector<std::string> out;
    for (const Item* i : items)
        out.emplace_back(i->id());
    return out;
}

Item& addChild(ScanResult& res, Item& parent, const std::string& id, ItemKind kind) {
    Item& child = res.add(Item(id, parent.id(), id + ".txt", kind, 1));
    parent.children.push_back(&child);
    return child;
}

// The kernel's flags of the mapping that holds `p` ("hg" marks one advised to use 2 MiB pages).
std::string vmFlagsOf(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    bool inside = false;
    std::string line;
    while (std::getline(smaps, line)) {
        unsigned long long from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &from, &to) == 2)
            inside = from <= at && at < to;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

bool hasHugeAdvice(const void* p) {
    return vmFlagsOf(p).find(" hg") != std::string::npos;
}

} // namespace

TEST(ItemTest, FieldsStartAsConstructedAndTextsCanChange) {
    Item it("id-1", "parent-1", "R{4}t.pdf", ItemKind::doc, 3);
    EXPECT_EQ(it.id(), "id-1");
    EXPECT_EQ(it.parent(), "parent-1");
    EXPECT_EQ(it.pat(), "R{4}t.pdf");
    EXPECT_EQ(it.name(), "R{4}t.pdf");
    EXPECT_EQ(it.container(), 3);
    EXPECT_FALSE(it.hasPath());
    EXPECT_EQ(it.sz, 0);
    EXPECT_FALSE(it.resolved);

    it.setName("Report.pdf");
    it.setParent("orphans[3]");
    it.setPath("/home/u/Report.pdf");
    EXPECT_EQ(it.name(), "Report.pdf");
    EXPECT_EQ(it.pat(), "R{4}t.pdf");
    EXPECT_EQ(it.parent(), "orphans[3]");
    EXPECT_EQ(it.id(), "id-1");
    EXPECT_EQ(it.path(), "/home/u/Report.pdf");
    it.clearPath();
    EXPECT_FALSE(it.path().has_value());

    // Empty texts and texts with NUL bytes survive as they are.
    Item empty("", "", std::string("a\0b", 3), ItemKind::dir, 0);
    EXPECT_EQ(empty.id(), "");
    EXPECT_EQ(empty.pat(), std::string("a\0b", 3));
}

TEST(ItemTest, PairedItemsPathFollowsItsFolderAndOnlyWhenItJoins) {
    Item folder("f", "", "F{2}r", ItemKind::dir, 1);
    Item doc("d", "f", "R{4}t.pdf", ItemKind::doc, 1);
    const LocalIdentity seen{1, 2, 3, 4, 5, S_IFREG};
    // The folder has no path yet: the pairing keeps the path as text.
    doc.setLocal("Report.pdf", "/h/Folder/Report.pdf", seen, &folder);
    EXPECT_EQ(doc.path(), "/h/Folder/Report.pdf");

    folder.setLocal("Folder", "/h/Folder", seen);
    doc.setLocal("Report.pdf", "/h/Folder/Report.pdf", seen, &folder);
    EXPECT_EQ(doc.name(), "Report.pdf");
    EXPECT_EQ(doc.path(), "/h/Folder/Report.pdf");
    EXPECT_EQ(doc.localIdentity(), seen);
    // The folder listed again at another place (a link's target): the document follows.
    folder.setPath("/h/elsewhere");
    EXPECT_EQ(doc.path(), "/h/elsewhere/Report.pdf");
    // A path that is not the folder's joined with the name is kept as it is.
    doc.setLocal("Report.pdf", "/h/other/Report.pdf", seen, &folder);
    EXPECT_EQ(doc.path(), "/h/other/Report.pdf");
    folder.setPath("/h/third");
    EXPECT_EQ(doc.path(), "/h/other/Report.pdf");
    // A name equal to the printed one is not stored twice, and the root folder joins too.
    Item root("r", "", "r", ItemKind::dir, 1);
    root.setPath("/");
    Item plain("p", "r", "a.txt", ItemKind::doc, 1);
    plain.setLocal("a.txt", "/a.txt", seen, &root);
    EXPECT_EQ(plain.path(), "/a.txt");
    EXPECT_EQ(plain.name(), "a.txt");
    root.clearPath();
    EXPECT_FALSE(plain.hasPath());
    EXPECT_FALSE(plain.path().has_value());
}

TEST(ItemTest, DerivedFlags) {
    EXPECT_TRUE(Item("root[1]", "", "x", ItemKind::dir, 1).isVirtual());
    EXPECT_TRUE(Item("orphans[2]", "root[2]", "x", ItemKind::dir, 2).isVirtual());
    EXPECT_FALSE(Item("root1", "", "x", ItemKind::dir, 1).isVirtual());
    EXPECT_FALSE(Item("xroot[1]", "", "x", ItemKind::dir, 1).isVirtual());

    Item doc("d", "p", "n", ItemKind::doc, 1);
    EXPECT_TRUE(doc.isCloudOnlyDoc()); // unresolved counts as cloud-only, dataless or not
    doc.resolved = true;
    EXPECT_FALSE(doc.isCloudOnlyDoc());
    doc.dataless = true;
    EXPECT_TRUE(doc.isCloudOnlyDoc());

    Item dir("f", "p", "n", ItemKind::dir, 1);
    Item link("l", "p", "n", ItemKind::symlink, 1);
    dir.dataless = link.dataless = true;
    EXPECT_FALSE(dir.isCloudOnlyDoc());
    EXPECT_FALSE(link.isCloudOnlyDoc());
    EXPECT_TRUE(dir.isDir());
    EXPECT_FALSE(link.isDir());
}

TEST(ScanResultTest, AddReplacesTheMapEntryButKeepsTheEarlierObjectInOrder) {
    ScanResult res;
    Item& first = res.add(Item("a", "", "first", ItemKind::doc, 1));
    Item& second = res.add(Item("a", "", "second", ItemKind::doc, 1));
    EXPECT_EQ(res.get("a"), &second);
    EXPECT_EQ(res.itemCount(), 1u);
    ASSERT_EQ(res.itemOrder().size(), 2u);
    EXPECT_EQ(res.itemOrder()[0], &first);
    EXPECT_EQ(res.itemOrder()[1], &second);
    EXPECT_EQ(first.pat(), "first"); // the earlier object stays alive and unchanged

    Item& root = res.put(Item("root[1]", "", "c{1}m", ItemKind::dir, 1));
    EXPECT_EQ(res.get("root[1]"), &root);
    EXPECT_EQ(res.itemOrder().size(), 2u); // synthetic items are not in the order

    std::vector<std::string> seen;
    res.forEachItem([&](Item& i) { seen.emplace_back(i.pat()); });
    EXPECT_EQ(seen, (std::vector<std::string>{"second", "c{1}m"}));
}

TEST(ScanResultTest, AncestorsAndDisplayPath) {
    ScanResult res;
    Item& root = res.put(Item("root[1]", "", "Drive", ItemKind::dir, 1));
    Item& a = addChild(res, root, "a", ItemKind::dir);
    Item& b = addChild(res, a, "b", ItemKind::doc);
    EXPECT_EQ(ids(res.ancestors(b)), (std::vector<std::string>{"root[1]", "a"}));
    EXPECT_EQ(res.displayPath(b), "Drive/a.txt/b.txt");
    EXPECT_TRUE(res.ancestors(root).empty());
    EXPECT_EQ(res.displayPath(root), "Drive");

    Item& lost = res.add(Item("lost", "nowhere", "lost.txt", ItemKind::doc, 1));
    EXPECT_TRUE(res.ancestors(lost).empty());
    EXPECT_EQ(res.displayPath(lost), "lost.txt");
}

TEST(ScanResultTest, AncestorsEndOnParentCycles) {
    ScanResult res;
    Item& a = res.add(Item("A", "B", "a", ItemKind::dir, 1));
    res.add(Item("B", "A", "b", ItemKind::dir, 1));
    EXPECT_EQ(ids(res.ancestors(a)), (std::vector<std::string>{"A", "B"}));
    Item& self = res.add(Item("S", "S", "s", ItemKind::dir, 1));
    EXPECT_EQ(ids(res.ancestors(self)), (std::vector<std::string>{"S"}));
    EXPECT_EQ(res.displayPath(self), "s/s");
}

TEST(ScanResultTest, RemoveTakesOutTheSubtreeByIdentity) {
    ScanResult res;
    Item& root = res.put(Item("root[1]", "", "Drive", ItemKind::dir, 1));
    Item& dir = addChild(res, root, "dir", ItemKind::dir);
    Item& keep = addChild(res, root, "keep", ItemKind::doc);
    Item& inner = addChild(res, dir, "inner", ItemKind::doc);
    Item& twice = addChild(res, root, "twice", ItemKind::doc);
    root.children.push_back(&twice); // listed twice
    Item& deadOne = res.add(Item("gone", "dir", "gone.txt", ItemKind::doc, 1));
    deadOne.dead = true;
    res.dead.push_back(&deadOne);

    res.remove(twice);
    EXPECT_EQ(ids(root.children), (std::vector<std::string>{"dir", "keep"}));
    EXPECT_EQ(res.get("twice"), nullptr);

    res.remove(dir);
    EXPECT_EQ(ids(root.children), (std::vector<std::string>{"keep"}));
    EXPECT_EQ(res.get("dir"), nullptr);
    EXPECT_EQ(res.get("inner"), nullptr);
    EXPECT_EQ(ids(res.itemOrder()), (std::vector<std::string>{"keep", "gone"}));
    EXPECT_EQ(res.dead.size(), 1u); // the dead list is left alone
    EXPECT_EQ(res.get("keep"), &keep);
    EXPECT_EQ(inner.id(), "inner"); // objects stay valid for holders of pointers
}

TEST(ScanResultTest, RemoveSurvivesAChildCycle) {
    ScanResult res;
    Item& a = res.add(Item("a", "", "a", ItemKind::dir, 1));
    Item& b = res.add(Item("b", "a", "b", ItemKind::dir, 1));
    a.children.push_back(&b);
    b.children.push_back(&a);
    res.remove(a);
    EXPECT_EQ(res.itemCount(), 0u);
    EXPECT_TRUE(res.itemOrder().empty());
}

TEST(ScanResultTest, MainRoot) {
    ScanResult res;
    EXPECT_EQ(res.mainRoot(), nullptr);
    Item& r1 = res.put(Item("root[1]", "", "x", ItemKind::dir, 1));
    Item& r2 = res.put(Item("root[2]", "", "y", ItemKind::dir, 2));
    res.containers.emplace(1, Container(1, "i{4}d"));
    res.containers.emplace(2, Container(2, "c{1}m.a{3}e.C{7}s"));
    res.containers.at(1).root = &r1;
    res.containers.at(2).root = &r2;
    res.roots = {&r1, &r2};
    EXPECT_EQ(res.mainRoot(), &r1);
    res.containers.at(2).name = "com.apple.CloudDocs";
    EXPECT_EQ(res.mainRoot(), &r2);
}

TEST(ScanErrorTest, CzechTexts) {
    EXPECT_EQ(ScanError::message("Něco selhalo.").description(), "Něco selhalo.");
    EXPECT_EQ(ScanError::timeout("15.0 s").description(), "Časový limit vypršel: 15.0 s");
    EXPECT_STREQ(ScanError::cancelled().what(), "Zrušeno uživatelem.");
    EXPECT_TRUE(ScanError::cancelled().isCancelled());
    EXPECT_TRUE(ScanError::timeout("1.0 s").isTimeout());
    EXPECT_EQ(ScanError::timeout("1.0 s").payload(), "1.0 s");
    EXPECT_EQ(ScanError::cancelled(), ScanError::cancelled());
    EXPECT_FALSE(ScanError::message("a") == ScanError::timeout("a"));
}

TEST(ScanResultTest, IdMapSurvivesParentRewritesGrowthAndRemoval) {
    ScanResult res;
    std::vector<Item*> items;
    for (int i = 0; i < 5000; ++i)
        items.push_back(&res.add(Item("id" + std::to_string(i), "p", "n", ItemKind::doc, 1)));
    // Rewriting the parent id must not disturb the map's view of the id.
    for (Item* it : items)
        it->setParent("a much longer parent id than before, to force a new text");
    for (int i = 0; i < 5000; i += 2)
        res.remove(*items[static_cast<std::size_t>(i)]);
    EXPECT_EQ(res.itemCount(), 2500u);
    for (int i = 0; i < 5000; ++i) {
        Item* found = res.get("id" + std::to_string(i));
        if (i % 2 == 0)
            EXPECT_EQ(found, nullptr) << i;
        else
            EXPECT_EQ(found, items[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(res.get("id1")->parent(), "a much longer parent id than before, to force a new text");
    items[1]->setParent("p");
    EXPECT_EQ(items[1]->parent(), "p");
}

TEST(ScanResultTest, ManyItemsKeepAddressesAndTextsAcrossChunksAndAMove) {
    // Enough items and text to fill several item chunks and text chunks.
    ScanResult res;
    std::vector<Item*> items;
    const std::string longName(120, 'x');
    for (int i = 0; i < 40000; ++i)
        items.push_back(&res.add(Item("id" + std::to_string(i), "p" + std::to_string(i / 7),
                                      longName, ItemKind::doc, 1)));
    ScanResult moved = std::move(res);
    ASSERT_EQ(moved.itemCount(), 40000u);
    for (int i = 0; i < 40000; i += 997) {
        Item* found = moved.get("id" + std::to_string(i));
        ASSERT_EQ(found, items[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(found->parent(), "p" + std::to_string(i / 7));
        EXPECT_EQ(found->pat(), longName);
    }
    EXPECT_EQ(moved.itemOrder().back(), items.back());
}

TEST(HugeBlockTest, IsZeroedWritableAndMovesItsMemory) {
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{5000}, std::size_t{3} << 20}) {
        HugeBlock block(bytes);
        ASSERT_GE(block.size(), bytes);
        auto* p = static_cast<unsigned char*>(block.data());
        std::size_t nonZero = 0;
        for (std::size_t i = 0; i < block.size(); i += 512)
            nonZero += p[i] != 0;
        EXPECT_EQ(nonZero, 0u) << bytes;
        std::memset(p, 0xab, block.size());
        HugeBlock other = std::move(block);
        EXPECT_EQ(block.data(), nullptr);
        EXPECT_EQ(block.size(), 0u);
        EXPECT_EQ(other.data(), p);
        EXPECT_EQ(static_cast<unsigned char*>(other.data())[other.size() - 1], 0xab);
    }
}

TEST(HugeBlockTest, SupplyHandsOutDistinctZeroedBlocksBeforeAndAfterStopping) {
    HugeBlockSupply supply(std::size_t{3} << 20);
    std::vector<HugeBlock> taken;
    for (int i = 0; i < 4; ++i) {
        if (i == 3)
            supply.stop();
        HugeBlock block = supply.take();
        ASSERT_GE(block.size(), std::size_t{3} << 20);
        const auto* p = static_cast<const unsigned char*>(block.data());
        EXPECT_EQ(p[0] | p[block.size() / 2] | p[block.size() - 1], 0) << i;
        std::memset(block.data(), i + 1, block.size());
        for (const HugeBlock& earlier : taken)
            EXPECT_NE(earlier.data(), block.data());
        taken.push_back(std::move(block));
    }
    // A table that stays small is not given 2 MiB pages: only the blocks after the first ask
    // for them (where the system takes such advice at all).
    EXPECT_FALSE(hasHugeAdvice(taken[0].data()));
    const HugeBlock probe(std::size_t{3} << 20);
    if (hasHugeAdvice(probe.data())) {
        EXPECT_TRUE(hasHugeAdvice(taken[1].data()));
    }
    // Filling one block leaves the others as they were.
    for (std::size_t i = 0; i < taken.size(); ++i)
        EXPECT_EQ(static_cast<const unsigned char*>(taken[i].data())[0], i + 1);
}
