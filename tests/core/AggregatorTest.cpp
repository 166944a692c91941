#include "TessaryCore/Aggregator.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace tessary;

namespace {

Item& addRoot(ScanResult& res, const std::string& id, std::int64_t container = 1) {
    Item& root = res.put(Item(id, "", id, ItemKind::dir, container));
    res.roots.push_back(&root);
    return root;
}

Item& addChild(ScanResult& res, Item& parent, const std::string& id, ItemKind kind,
               std::int64_t sz = 0) {
    Item& child = res.add(Item(id, parent.id(), id, kind, parent.container()));
    child.sz = sz;
    parent.children.push_back(&child);
    return child;
}

struct Agg {
    std::int64_t sz, cloud, local, docs, dirs, unenum, qta, datalessDocs;
    friend bool operator==(const Agg&, const Agg&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Agg& a) {
        return os << "{sz " << a.sz << " cloud " << a.cloud << " local " << a.local << " docs "
                  << a.docs << " dirs " << a.dirs << " unenum " << a.unenum << " qta " << a.qta
                  << " dataless " << a.datalessDocs << "}";
    }
};

Agg agg(const Item& i) {
    return {i.aggSz,   i.aggCloud,  i.aggLocal, i.aggDocs,
            i.aggDirs, i.aggUnenum, i.aggQta,   i.aggDatalessDocs};
}

} // namespace

TEST(AggregatorTest, EmptyRootsAndDocumentStates) {
    ScanResult res;
    Item& virt = addRoot(res, "root[1]");
    virt.qta = 777; // the synthetic root's own charge is never used
    Item& plain = addRoot(res, "plain", 2);
    plain.qta = 4000;
    plain.enumerated = true;
    Item& unenum = addRoot(res, "unenum", 3);
    Aggregator::aggregate(res);
    EXPECT_EQ(agg(virt), (Agg{0, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(agg(plain), (Agg{0, 0, 0, 0, 1, 0, 4000, 0}));
    EXPECT_EQ(agg(unenum), (Agg{0, 0, 0, 0, 1, 1, 0, 0}));

    ScanResult r2;
    Item& root = addRoot(r2, "root[1]");
    root.enumerated = true;
    Item& cloudOnly = addChild(r2, root, "c", ItemKind::doc, 1000);
    cloudOnly.resolved = cloudOnly.dataless = true;
    Item& unresolved = addChild(r2, root, "u", ItemKind::doc, 1000);
    unresolved.localAlloc = 4096; // counted as local bytes even though the state is unknown
    Item& local = addChild(r2, root, "l", ItemKind::doc, 1000);
    local.resolved = true;
    local.localAlloc = 4096;
    Item& link = addChild(r2, root, "s", ItemKind::symlink, 30);
    link.resolved = true;
    Aggregator::aggregate(r2);
    EXPECT_EQ(agg(cloudOnly), (Agg{1000, 1000, 0, 1, 0, 0, 1000, 1}));
    EXPECT_EQ(agg(unresolved), (Agg{1000, 1000, 4096, 1, 0, 0, 1000, 1}));
    EXPECT_EQ(agg(local), (Agg{1000, 0, 4096, 1, 0, 0, 1000, 0}));
    EXPECT_EQ(agg(link), (Agg{30, 0, 0, 0, 0, 0, 30, 0}));
    EXPECT_EQ(agg(root), (Agg{3030, 2000, 8192, 3, 1, 0, 3030, 2}));
}

TEST(AggregatorTest, QuotaRulesInDumpAndFsMode) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& dir = addChild(res, root, "dir", ItemKind::dir);
    dir.qta = 5000;
    Item& a = addChild(res, dir, "a", ItemKind::doc, 100);
    a.qta = 3000;
    Item& b = addChild(res, dir, "b", ItemKind::doc, 200);
    b.qta = 4000;
    Item& zero = addChild(res, root, "zero", ItemKind::doc, 250); // qta 0: its size counts
    Item& orphans = addChild(res, root, "orphans[1]", ItemKind::dir);
    orphans.qta = 9;
    Item& o = addChild(res, orphans, "o", ItemKind::doc, 5);
    o.qta = 50;

    Aggregator::aggregate(res);
    EXPECT_EQ(dir.aggQta, 5000); // its own charge wins over the children's 7000
    EXPECT_EQ(zero.aggQta, 250);
    EXPECT_EQ(orphans.aggQta, 50); // virtual: always the sum
    EXPECT_EQ(root.aggQta, 5000 + 250 + 50);
    EXPECT_EQ(root.aggSz, 555);
    EXPECT_EQ(root.aggDirs, 3);
    EXPECT_EQ(root.aggDocs, 4);

    res.mode = ScanMode::fs;
    Aggregator::aggregate(res);
    EXPECT_EQ(a.aggQta, 100);
    EXPECT_EQ(dir.aggQta, 300);
    EXPECT_EQ(orphans.aggQta, 5);
    EXPECT_EQ(root.aggQta, 555);
}

TEST(AggregatorTest, DeadItemsAndUnreachableItemsAndRepeatedRuns) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& doc = addChild(res, root, "doc", ItemKind::doc, 10);
    Item& deadDir = res.add(Item("dd", "gone", "dd", ItemKind::dir, 1));
    deadDir.dead = true;
    deadDir.sz = 7;
    deadDir.qta = 70;
    deadDir.aggLocal = 123; // left as it was
    Item& deadLink = res.add(Item("dl", "gone", "dl", ItemKind::symlink, 1));
    deadLink.dead = true;
    deadLink.sz = 3;
    res.dead = {&deadDir, &deadLink};
    Item& loose = res.add(Item("loose", "nowhere", "loose", ItemKind::doc, 1));
    loose.sz = 99;
    loose.aggSz = -5;

    Aggregator::aggregate(res);
    EXPECT_EQ(agg(deadDir), (Agg{7, 7, 123, 0, 1, 0, 70, 0}));
    EXPECT_EQ(agg(deadLink), (Agg{3, 3, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(loose.aggSz, -5);
    EXPECT_EQ(root.aggSz, 10); // dead items are outside the tree

    const Agg before = agg(root);
    doc.aggSz = 12345; // stale values are overwritten, not added to
    Aggregator::aggregate(res);
    EXPECT_EQ(agg(root), before);
    EXPECT_EQ(doc.aggSz, 10);
}

TEST(AggregatorTest, MillionDeepChainNeedsNoDeepStack) {
    constexpr int depth = 1'000'000;
    ScanResult res;
    Item* cur = &addRoot(res, "root[1]");
    for (int i = 0; i < depth; ++i)
        cur = &addChild(res, *cur, std::to_string(i), ItemKind::dir);
    Item& leaf = addChild(res, *cur, "leaf", ItemKind::doc, 42);
    leaf.qta = 50;
    Aggregator::aggregate(res);
    const Item& root = *res.roots.front();
    EXPECT_EQ(root.aggDirs, depth + 1);
    EXPECT_EQ(root.aggUnenum, depth + 1);
    EXPECT_EQ(root.aggSz, 42);
    EXPECT_EQ(root.aggQta, 50);
    EXPECT_EQ(root.aggDocs, 1);
    EXPECT_EQ(res.get("500000")->aggDirs, depth - 500000);
}

TEST(AggregatorTest, ChildCyclesAndSharedChildrenAreCountedOnce) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& a = addChild(res, root, "a", ItemKind::dir);
    Item& b = addChild(res, a, "b", ItemKind::dir);
    addChild(res, b, "f", ItemKind::doc, 10);
    b.children.push_back(&a); // a cycle a -> b -> a
    Item& shared = addChild(res, root, "shared", ItemKind::doc, 5);
    b.children.push_back(&shared); // also listed under b
    Item& second = addRoot(res, "root[2]", 2);
    second.children.push_back(&b); // reachable from two roots

    Aggregator::aggregate(res); // must end
    EXPECT_EQ(root.aggSz, 15);
    EXPECT_EQ(root.aggDocs, 2);
    EXPECT_EQ(root.aggDirs, 3);
    EXPECT_EQ(second.aggSz, 0);
    EXPECT_EQ(second.aggDirs, 1);
    // Run twice: same totals.
    Aggregator::aggregate(res);
    EXPECT_EQ(root.aggSz, 15);
    EXPECT_EQ(a.aggSz + shared.aggSz, 15);
}

TEST(AggregatorTest, AnItemUnderTwoFoldersWithoutACycleIsCountedOnce) {
    // No cycle makes the walk long: only the second sight of an item tells it is not a tree.
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& a = addChild(res, root, "a", ItemKind::dir);
    Item& b = addChild(res, root, "b", ItemKind::dir);
    Item& f = addChild(res, a, "f", ItemKind::doc, 10);
    b.children.push_back(&f);
    Item& second = addRoot(res, "root[2]", 2);
    Item& g = addChild(res, second, "g", ItemKind::doc, 7);
    a.children.push_back(&g); // also below the first root

    Aggregator::aggregate(res);
    EXPECT_EQ(root.aggDocs + root.aggDirs + second.aggDocs + second.aggDirs,
              static_cast<std::int64_t>(6));
    EXPECT_EQ(root.aggSz + second.aggSz, 17);
}

TEST(AggregatorTest, HugeSizesSaturateInsteadOfWrapping) {
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    addChild(res, root, "a", ItemKind::doc, max - 10);
    Item& b = addChild(res, root, "b", ItemKind::doc, 100);
    b.qta = max;
    Item& c = addChild(res, root, "c", ItemKind::doc, std::numeric_limits<std::int64_t>::min());
    c.resolved = true;
    Aggregator::aggregate(res);
    // a + b stops at max; adding c's minimum then gives -1 (a wrapped sum would differ).
    EXPECT_EQ(root.aggQta, -1);
    EXPECT_EQ(root.aggCloud, max); // a and b are unresolved: max - 10 + 100 stops at the top
}
