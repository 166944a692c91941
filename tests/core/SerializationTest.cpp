#include "TessaryCore/Serialization.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/ScanError.hpp"

#include "TreeFixtures.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tessary;
using fixtures::addChild;
using fixtures::addRoot;
using json = nlohmann::ordered_json;

namespace {

std::vector<std::string> names(const std::vector<Item*>& items) {
    std::vector<std::string> out;
    for (const Item* i : items)
        out.emplace_back(i->name());
    return out;
}

std::vector<std::string> keys(const json& object) {
    std::vector<std::string> out;
    for (const auto& [k, v] : object.items())
        out.push_back(k);
    return out;
}

std::vector<std::string> ids(const json& array) {
    std::vector<std::string> out;
    for (const json& n : array)
        out.push_back(n.at("id").get<std::string>());
    return out;
}

const std::vector<std::string> nodeKeys = {
    "id",     "name",       "kind", "resolved", "ambiguous", "enumerated", "timeout",  "denied",
    "dead",   "dataless",   "qta",  "sz",       "cloud",     "local",      "docs",     "dirs",
    "unenum", "cloud_docs", "cc",   "rcc",      "mt",        "path",       "container"};

// A tree with a container per root:
//   root[1] (CloudDocs)
//     Docs/                 a folder with 3 files and an empty subfolder
//       big.pdf 3000, mid.pdf 2000, small.pdf 1000, Empty/
//     Photos/ with a.jpg 500
//     top.txt 10, link (symlink) 1
//   root[2]
//     app.dat 7
struct Sample {
    ScanResult res;
    Item* root1;
    Item* root2;
    Item* docs;
    Item* photos;
    Item* empty;

    Sample() {
        root1 = &addRoot(res, "root[1]", 1);
        root2 = &addRoot(res, "root[2]", 2);
        auto& c1 = res.containers.try_emplace(1, 1, "com.apple.CloudDocs").first->second;
        c1.name = "com.apple.CloudDocs";
        c1.display = "iCloud Drive";
        c1.localPath = "/home/u/Library/Mobile Documents/com~apple~CloudDocs";
        c1.root = root1;
        auto& c2 = res.containers.try_emplace(2, 2, "i{4}d.com.example").first->second;
        c2.root = root2;
        c2.order = 1;

        docs = &addChild(res, *root1, "d1", ItemKind::dir, 0, "Docs");
        addChild(res, *docs, "f-small", ItemKind::doc, 1000, "small.pdf");
        addChild(res, *docs, "f-big", ItemKind::doc, 3000, "big.pdf");
        addChild(res, *docs, "f-mid", ItemKind::doc, 2000, "mid.pdf");
        empty = &addChild(res, *docs, "d-empty", ItemKind::dir, 0, "Empty");
        photos = &addChild(res, *root1, "d2", ItemKind::dir, 0, "Photos");
        addChild(res, *photos, "f-a", ItemKind::doc, 500, "a.jpg");
        addChild(res, *root1, "f-top", ItemKind::doc, 10, "top.txt");
        addChild(res, *root1, "l1", ItemKind::symlink, 1, "link");
        addChild(res, *root2, "f-app", ItemKind::doc, 7, "app.dat");
        Aggregator::aggregate(res);
    }
};

} // namespace

TEST(SerializationTest, ChildrenSortedByEveryKeyKeepsTiesInInputOrder) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& b = addChild(res, root, "1", ItemKind::doc, 0, "b");
    Item& A = addChild(res, root, "2", ItemKind::doc, 0, "A");
    Item& a = addChild(res, root, "3", ItemKind::doc, 0, "a");
    Item& c = addChild(res, root, "4", ItemKind::doc, 0, "Čaj");
    for (Item* i : {&b, &A, &a, &c})
        i->aggQta = i->aggSz = i->aggCloud = i->aggLocal = 0;

    EXPECT_EQ(names(Serialization::childrenSorted(root, SortKey::qta)),
              (std::vector<std::string>{"b", "A", "a", "Čaj"}));
    EXPECT_EQ(names(Serialization::childrenSorted(root, SortKey::name)),
              (std::vector<std::string>{"A", "a", "b", "Čaj"}));

    A.aggQta = 5;
    a.aggQta = 5;
    a.aggSz = 9; // breaks the tie on the second criterion
    c.aggCloud = 3;
    b.aggLocal = 4;
    c.aggQta = 1;
    EXPECT_EQ(names(Serialization::childrenSorted(root, SortKey::qta)),
              (std::vector<std::string>{"a", "A", "Čaj", "b"}));
    EXPECT_EQ(names(Serialization::childrenSorted(root, SortKey::cloud)),
              (std::vector<std::string>{"Čaj", "A", "a", "b"}));
    EXPECT_EQ(names(Serialization::childrenSorted(root, SortKey::local)),
              (std::vector<std::string>{"b", "A", "a", "Čaj"}));
    // The item's own list is left alone.
    EXPECT_EQ(names(root.children), (std::vector<std::string>{"b", "A", "a", "Čaj"}));

    EXPECT_EQ(sortKeyFromText("cloud"), SortKey::cloud);
    EXPECT_EQ(sortKeyFromText("Cloud"), std::nullopt);
    EXPECT_EQ(toText(SortKey::local), "local");
}

TEST(SerializationTest, NodeRecordsTakeAggregatesAndKindSpecificFlags) {
    Sample s;
    Item& unresolved = addChild(s.res, *s.photos, "f-u", ItemKind::doc, 4, "u.jpg");
    unresolved.resolved = false;
    unresolved.dataless = false;
    Aggregator::aggregate(s.res);

    const NodeDTO file(*s.res.get("f-big"));
    EXPECT_EQ(file.enumerated, std::nullopt);
    EXPECT_EQ(file.dataless, std::optional<bool>(false));
    EXPECT_FALSE(file.isCloudOnly());
    EXPECT_EQ(file.dirs, 0);
    EXPECT_EQ(file.qta, 3000);
    EXPECT_EQ(NodeDTO(unresolved).dataless, std::optional<bool>(true));
    EXPECT_TRUE(NodeDTO(unresolved).isCloudOnly());

    const NodeDTO folder(*s.docs);
    EXPECT_EQ(folder.dataless, std::nullopt);
    EXPECT_EQ(folder.enumerated, std::optional<bool>(true));
    EXPECT_EQ(folder.dirs, 1); // only "Empty"; the folder itself is not counted
    EXPECT_EQ(NodeDTO(*s.empty).dirs, 0);
    EXPECT_EQ(folder.sz, 6000);
    EXPECT_EQ(folder.docs, 3);
    EXPECT_FALSE(folder.dpath || folder.parent || folder.children);

    const NodeDTO link(*s.res.get("l1"));
    EXPECT_EQ(link.dataless, std::nullopt);
    EXPECT_EQ(link.timeout, std::nullopt);
    EXPECT_EQ(Serialization::nodeDict(s.res, *s.docs), folder);

    s.empty->enumerated = false;
    EXPECT_TRUE(NodeDTO(*s.empty).isCloudOnly());
    EXPECT_NE(std::hash<NodeDTO>{}(NodeDTO(*s.empty)), std::hash<NodeDTO>{}(NodeDTO(*s.docs)));
}

TEST(SerializationTest, SummaryOrdersContainersAndLeavesOutThoseWithoutRoot) {
    Sample s;
    s.res.containers.try_emplace(7, 7, "rootless"); // no root: not listed
    auto& tied = s.res.containers.try_emplace(5, 5, "tied").first->second;
    Item& r5 = addRoot(s.res, "root[5]", 5);
    addChild(s.res, r5, "f5", ItemKind::doc, 7);
    tied.root = &r5;
    tied.order = 0; // same quota as container 2 (order 1): order decides
    s.res.stats["items_parsed"] = 12;
    s.res.warnings.push_back("Varování");
    s.res.quotaRemaining = std::numeric_limits<std::int64_t>::max();
    Item& d1 = s.res.add(Item("dead1", "d1", "x", ItemKind::doc, 1));
    d1.qta = 40;
    s.res.dead.push_back(&d1);
    Aggregator::aggregate(s.res);
    d1.aggQta = 999; // the own charge is summed, not the aggregate

    const SummaryDTO sum = Serialization::summary(s.res);
    ASSERT_EQ(sum.containers.size(), 3u);
    EXPECT_EQ(sum.containers[0].index, 1);
    EXPECT_EQ(sum.containers[1].index, 5);
    EXPECT_EQ(sum.containers[2].index, 2);
    EXPECT_EQ(sum.containers[0].qta, 6511);
    EXPECT_EQ(sum.containers[0].root, "root[1]");
    EXPECT_EQ(sum.containers[0].display, "iCloud Drive");
    EXPECT_EQ(sum.containers[2].name, std::nullopt);
    EXPECT_EQ(sum.mainRoot, std::optional<std::string>("root[1]"));
    EXPECT_EQ(sum.deadCount, 1);
    EXPECT_EQ(sum.deadQta, 40);
    EXPECT_EQ(sum.stats.at("items_parsed"), 12);
    EXPECT_EQ(sum.quotaRemaining, std::numeric_limits<std::int64_t>::max());

    ScanResult empty;
    const SummaryDTO none = Serialization::summary(empty);
    EXPECT_EQ(none.mainRoot, std::nullopt);
    EXPECT_TRUE(none.containers.empty());
}

TEST(SerializationTest, ExportDataListsFoldersToMaxDepthAndTopFilesPerFolder) {
    Sample s;
    const ExportDTO flat = Serialization::exportData(s.res, 0, 10);
    ASSERT_EQ(flat.roots.size(), 2u);
    for (const NodeDTO& r : flat.roots)
        EXPECT_FALSE(r.children.has_value());

    const ExportDTO one = Serialization::exportData(s.res, 1, 10);
    const NodeDTO& r1 = one.roots[0];
    ASSERT_TRUE(r1.children);
    // Folders first (by quota), then files (by quota).
    std::vector<std::string> got;
    for (const NodeDTO& c : *r1.children)
        got.push_back(c.name);
    EXPECT_EQ(got, (std::vector<std::string>{"Docs", "Photos", "top.txt", "link"}));
    EXPECT_FALSE((*r1.children)[0].children.has_value()); // depth 1 = maxDepth: no contents
    EXPECT_EQ((*r1.children)[0].sz, 6000);                // but its whole subtree's totals

    const ExportDTO deep = Serialization::exportData(s.res, 6, 2);
    const NodeDTO& docs = (*deep.roots[0].children)[0];
    ASSERT_TRUE(docs.children);
    got.clear();
    for (const NodeDTO& c : *docs.children)
        got.push_back(c.name);
    EXPECT_EQ(got, (std::vector<std::string>{"Empty", "big.pdf", "mid.pdf"}));
    const NodeDTO& empty = (*docs.children)[0];
    ASSERT_TRUE(empty.children);
    EXPECT_TRUE(empty.children->empty());
    EXPECT_FALSE(docs.dpath || docs.parent);

    const ExportDTO noFiles = Serialization::exportData(s.res, 6, 0);
    got.clear();
    for (const NodeDTO& c : *noFiles.roots[0].children)
        got.push_back(c.name);
    EXPECT_EQ(got, (std::vector<std::string>{"Docs", "Photos"}));
    EXPECT_EQ((*noFiles.roots[0].children)[0].children->size(), 1u);
}

TEST(SerializationTest, ExportDataKeepsTiesAndTheFiveHundredLargestDeadItems) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    for (int i = 0; i < 4; ++i)
        addChild(res, root, "t" + std::to_string(i), ItemKind::doc, 100);
    res.add(Item("gone", "", "Gone", ItemKind::dir, 1));
    std::int64_t total = 0;
    for (int i = 0; i < 600; ++i) {
        // Quotas 0..599 in a shuffled order; two items per quota value from 550 up.
        const std::int64_t qta = (i * 7) % 600 >= 550 ? 550 : (i * 7) % 600;
        Item& d = res.add(
            Item("dead" + std::to_string(i), "gone", "d" + std::to_string(i), ItemKind::doc, 1));
        d.qta = qta;
        d.dead = true;
        total += qta;
        res.dead.push_back(&d);
    }
    Aggregator::aggregate(res);

    const ExportDTO e = Serialization::exportData(res, 6, 10);
    std::vector<std::string> files;
    for (const NodeDTO& c : *e.roots[0].children)
        files.push_back(c.id);
    EXPECT_EQ(files, (std::vector<std::string>{"t0", "t1", "t2", "t3"}));

    EXPECT_EQ(e.summary.deadCount, 600);
    EXPECT_EQ(e.summary.deadQta, total);
    ASSERT_EQ(e.dead.size(), 500u);
    for (std::size_t i = 1; i < e.dead.size(); ++i)
        ASSERT_GE(e.dead[i - 1].qta, e.dead[i].qta);
    EXPECT_EQ(e.dead.back().qta, 100); // 0..99 are the 100 smallest and are left out
    // Equal quotas keep the dead list's order: the first 550 comes from the earliest item.
    std::string first550;
    for (std::size_t i = 0; i < 600; ++i)
        if (res.dead[i]->qta == 550) {
            first550 = std::string(res.dead[i]->id());
            break;
        }
    EXPECT_EQ(e.dead.front().id, first550);
    EXPECT_EQ(e.dead.front().dpath,
              std::optional<std::string>("Gone/" + std::string(res.get(first550)->name())));
    EXPECT_FALSE(e.dead.front().parent || e.dead.front().children);
}

TEST(SerializationTest, JSONHasTheTablesKeysInOrderNullsAndExactIntegers) {
    Sample s;
    Item& big = *s.res.get("f-big");
    big.setPath("/home/u/Docs/big.pdf");
    big.qta = std::numeric_limits<std::int64_t>::max() - 1;
    s.res.dumpTime = 1700000000.25;
    s.res.stats["dirs_child_mismatch"] = 3;
    s.res.warnings.push_back("Složka „a/b“ má méně položek.");
    Aggregator::aggregate(s.res);

    const std::string text = Serialization::exportJSON(s.res, 6, 10);
    EXPECT_NE(text.find("\n  \"summary\": {"), std::string::npos); // pretty printed
    EXPECT_NE(text.find("\"/home/u/Docs/big.pdf\""), std::string::npos);
    EXPECT_EQ(text.find("\\/"), std::string::npos);

    const json doc = json::parse(text);
    EXPECT_EQ(keys(doc), (std::vector<std::string>{"summary", "roots", "dead"}));
    const json& sum = doc["summary"];
    EXPECT_EQ(keys(sum), (std::vector<std::string>{"mode", "dump_time", "quota_remaining",
                                                   "containers", "main_root", "dead_count",
                                                   "dead_qta", "stats", "warnings"}));
    EXPECT_EQ(sum["mode"], "dump");
    EXPECT_EQ(sum["dump_time"].get<double>(), 1700000000.25);
    EXPECT_TRUE(sum["quota_remaining"].is_null());
    EXPECT_EQ(sum["stats"]["dirs_child_mismatch"], 3);
    EXPECT_EQ(sum["warnings"][0], "Složka „a/b“ má méně položek.");
    EXPECT_EQ(keys(sum["containers"][0]),
              (std::vector<std::string>{"index", "root", "name", "display", "shared", "local_path",
                                        "qta", "cloud", "local", "docs", "unenum"}));
    const json& c2 = sum["containers"][1];
    EXPECT_TRUE(c2["name"].is_null());
    EXPECT_TRUE(c2["local_path"].is_null());
    EXPECT_EQ(c2["shared"], false);

    const json& root = doc["roots"][0];
    std::vector<std::string> rootKeys = nodeKeys;
    rootKeys.push_back("children");
    EXPECT_EQ(keys(root), rootKeys);
    EXPECT_TRUE(root["dataless"].is_null());
    const json& docs = root["children"][0];
    EXPECT_EQ(docs["dirs"], 1);
    const json& bigJ = docs["children"][1];
    EXPECT_EQ(bigJ["name"], "big.pdf");
    EXPECT_EQ(keys(bigJ), nodeKeys); // no "children", "dpath" or "parent" for a file
    EXPECT_TRUE(bigJ["enumerated"].is_null());
    EXPECT_TRUE(bigJ["timeout"].is_null());
    EXPECT_EQ(bigJ["dataless"], false);
    EXPECT_EQ(bigJ["qta"].get<std::int64_t>(), std::numeric_limits<std::int64_t>::max() - 1);
    EXPECT_NE(text.find("\"qta\": 9223372036854775806"), std::string::npos);
    EXPECT_EQ(ids(docs["children"]),
              (std::vector<std::string>{"d-empty", "f-big", "f-mid", "f-small"}));
    // The folder's quota saturates instead of wrapping around.
    EXPECT_EQ(docs["qta"].get<std::int64_t>(), std::numeric_limits<std::int64_t>::max());
    const json& emptyJ = docs["children"][0];
    EXPECT_EQ(emptyJ["name"], "Empty");
    EXPECT_EQ(emptyJ["dirs"], 0);
    ASSERT_TRUE(emptyJ["children"].is_array());
    EXPECT_TRUE(emptyJ["children"].empty());
    EXPECT_TRUE(doc["dead"].is_array());
    EXPECT_EQ(doc["summary"]["main_root"], "root[1]");

    ScanResult bare;
    const json none = json::parse(Serialization::exportJSON(bare, 6, 10));
    EXPECT_TRUE(none["summary"]["dump_time"].is_null());
    EXPECT_TRUE(none["summary"]["main_root"].is_null());
    EXPECT_TRUE(none["summary"]["stats"].is_object());
    EXPECT_TRUE(none["roots"].empty());
}

TEST(SerializationTest, PythonReadsTheJSONWithExactIntegersAndKeyOrder) {
    if (!fixtures::havePython())
        GTEST_SKIP() << "python3 with the json module is not installed";
    Sample s;
    Item& weird = addChild(s.res, *s.photos, "w", ItemKind::doc, 1,
                           std::string("ctl\x01\x1f\t\n\"\\/\x7f", 11) + "ž");
    weird.setPath(std::string("/home/u/bad") + "\xff\xfe" + "/name");
    addChild(s.res, *s.photos, "long", ItemKind::doc, 2, std::string(200000, 'n') + ".txt");
    s.res.get("f-big")->qta = std::numeric_limits<std::int64_t>::max();
    s.res.quotaRemaining = std::numeric_limits<std::int64_t>::min();
    Aggregator::aggregate(s.res);

    fixtures::TempDir dir;
    const auto file = dir.path / "tessary.json";
    Serialization::exportTree(s.res, file.string(), 6, 10);
    const auto tool = fixtures::run("python3 -m json.tool " + file.string() + " >/dev/null");
    EXPECT_EQ(tool.status, 0);

    fixtures::writeFile(dir.path / "check.py", R"(import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"), object_pairs_hook=lambda p: p)
d = dict(doc)
summary = dict(d["summary"])
roots = d["roots"]
docs = dict(dict(roots[0])["children"][0])
photos = dict(dict(roots[0])["children"][1])
big = dict(docs["children"][1])
kids = {dict(c)["id"]: dict(c) for c in photos["children"]}
print(summary["quota_remaining"])
print(big["qta"])
print([k for k, _ in doc])
print([k for k, _ in photos["children"][0]][:3])
print(ascii(kids["w"]["name"]))
print(ascii(kids["w"]["path"]))
print(len(kids["long"]["name"]))
)");
    const auto py =
        fixtures::run("python3 " + (dir.path / "check.py").string() + " " + file.string());
    ASSERT_EQ(py.status, 0);
    EXPECT_EQ(py.out, "-9223372036854775808\n"
                      "9223372036854775807\n"
                      "['summary', 'roots', 'dead']\n"
                      "['id', 'name', 'kind']\n"
                      "'ctl\\x01\\x1f\\t\\n\"\\\\/\\x7f\\u017e'\n"
                      "'/home/u/bad\\ufffd\\ufffd/name'\n"
                      "200004\n");

    // Read back with nlohmann too: the control characters come back as they were.
    const json doc = json::parse(fixtures::readFile(file));
    bool found = false;
    for (const json& c : doc["roots"][0]["children"][1]["children"])
        if (c["id"] == "w") {
            found = true;
            EXPECT_EQ(c["name"].get<std::string>(), std::string(weird.name()));
        }
    EXPECT_TRUE(found);
}

TEST(SerializationTest, RefusesNegativeFilesPerFolderAndTooDeepListings) {
    Sample s;
    try {
        (void)Serialization::exportJSON(s.res, 6, -1);
        FAIL() << "a negative topFilesPerDir was accepted";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.kind(), ScanError::Kind::message);
        EXPECT_STREQ(e.what(), "Počet souborů na složku nesmí být záporný (-1).");
    }
    fixtures::TempDir dir;
    const auto file = dir.path / "out.json";
    try {
        Serialization::exportTree(s.res, file.string(), 1001, 10);
        FAIL() << "a depth above the limit was accepted";
    } catch (const ScanError& e) {
        EXPECT_STREQ(e.what(), "Hloubka exportu může být nejvýše 1000 úrovní (1001).");
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    // A negative depth lists the roots alone.
    EXPECT_FALSE(
        json::parse(Serialization::exportJSON(s.res, -3, 0))["roots"][0].contains("children"));
}

TEST(SerializationTest, DeepestAllowedListingOfADeepChainEncodes) {
    ScanResult res;
    Item* cur = &addRoot(res, "root[1]");
    for (int i = 0; i < 5000; ++i)
        cur = &addChild(res, *cur, "c" + std::to_string(i), ItemKind::dir);
    addChild(res, *cur, "leaf", ItemKind::doc, 5);
    Aggregator::aggregate(res);
    const json doc = json::parse(Serialization::exportJSON(res, Serialization::maxExportDepth, 10));
    const json* node = &doc["roots"][0];
    int depth = 0;
    while (node->contains("children")) {
        node = &(*node)["children"][0];
        ++depth;
    }
    EXPECT_EQ(depth, Serialization::maxExportDepth);
    EXPECT_EQ((*node)["sz"], 5);
}

TEST(SerializationTest, ExportTreeReplacesTheFileWholeOrNotAtAll) {
    Sample s;
    fixtures::TempDir dir;
    const auto file = dir.path / "tessary.json";
    fixtures::writeFile(file, "old contents");
    ::chmod(file.c_str(), 0640);
    Serialization::exportTree(s.res, file.string(), 6, 10);
    EXPECT_EQ(fixtures::readFile(file), Serialization::exportJSON(s.res, 6, 10));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u); // no temporary file left behind

    const std::string missing = (dir.path / "nope" / "x.json").string();
    try {
        Serialization::exportTree(s.res, missing, 6, 10);
        FAIL() << "writing into a missing folder succeeded";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.description(),
                  "Soubor „" + missing + "“ se nepodařilo zapsat: No such file or directory");
    }

    const auto sub = dir.path / "sub";
    std::filesystem::create_directory(sub);
    fixtures::writeFile(sub / "keep.txt", "x");
    try {
        Serialization::exportTree(s.res, sub.string(), 6, 10);
        FAIL() << "a folder was replaced by the export";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.description(),
                  "Soubor „" + sub.string() + "“ se nepodařilo zapsat: Is a directory");
    }
    EXPECT_EQ(fixtures::readFile(sub / "keep.txt"), "x");
    entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

TEST(SerializationTest, ExportTreeIntoAFolderWithoutWriteAccessKeepsTheOldFile) {
    Sample s;
    fixtures::TempDir dir;
    const auto locked = dir.path / "locked";
    std::filesystem::create_directory(locked);
    const auto file = locked / "tessary.json";
    fixtures::writeFile(file, "old contents");
    ::chmod(file.c_str(), 0666);
    ::chmod(locked.c_str(), 0555);
    ::chmod(dir.path.c_str(), 0755);

    // Root ignores permission bits: the attempt runs in a child that has become nobody.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        try {
            Serialization::exportTree(s.res, file.string(), 6, 10);
            ::_exit(1);
        } catch (const ScanError& e) {
            const std::string want =
                "Soubor „" + file.string() + "“ se nepodařilo zapsat: Permission denied";
            ::_exit(e.description() == want ? 0 : 2);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::chmod(locked.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop to user nobody here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: export succeeded, 2: other error text";
    EXPECT_EQ(fixtures::readFile(file), "old contents");
}

TEST(SerializationTest, TopFilesByQuotaWithCloudOnlyFilterAndPaths) {
    Sample s;
    Item& cloudy = *s.res.get("f-mid");
    cloudy.dataless = true;
    Item& unresolved = addChild(s.res, *s.photos, "f-u", ItemKind::doc, 2000, "u.jpg");
    unresolved.resolved = false;
    addChild(s.res, *s.photos, "l-big", ItemKind::symlink, 1 << 20, "biglink");
    Aggregator::aggregate(s.res);

    EXPECT_TRUE(Serialization::topFiles(s.res, 0, false).empty());
    EXPECT_TRUE(Serialization::topFiles(s.res, -5, false).empty());

    const auto all = Serialization::topFiles(s.res, 100, false);
    std::vector<std::string> got;
    for (const NodeDTO& n : all)
        got.push_back(n.id);
    // Equal quotas (f-mid, f-u: 2000) keep the walk's order: root[1] pops Photos before Docs.
    EXPECT_EQ(got, (std::vector<std::string>{"f-big", "f-u", "f-mid", "f-small", "f-a", "f-top",
                                             "f-app"}));
    EXPECT_EQ(all[0].dpath, std::optional<std::string>("root[1]/Docs/big.pdf"));
    EXPECT_EQ(all[0].parent, std::optional<std::string>("d1"));

    const auto cloud = Serialization::topFiles(s.res, 100, true);
    got.clear();
    for (const NodeDTO& n : cloud)
        got.push_back(n.id);
    EXPECT_EQ(got, (std::vector<std::string>{"f-u", "f-mid"}));

    const auto two = Serialization::topFiles(s.res, 2, false, s.docs);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].id, "f-mid");
}

TEST(SerializationTest, TopDirsRankByDirectFilesOnly) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    addChild(res, root, "rootfile", ItemKind::doc, 1 << 30); // in root[1]: never a candidate
    Item& work = addChild(res, root, "work", ItemKind::dir, 0, "Work");
    for (int i = 0; i < 3; ++i)
        addChild(res, work, "w" + std::to_string(i), ItemKind::doc, 10'000'000);
    addChild(res, work, "wl", ItemKind::symlink, 5);
    Item& sub = addChild(res, work, "sub", ItemKind::dir, 0, "Sub");
    sub.enumerated = false;
    addChild(res, sub, "huge", ItemKind::doc, 1'000'000'000);
    Item& zero = addChild(res, root, "zero", ItemKind::dir, 0, "Zero");
    Item& z = addChild(res, zero, "z", ItemKind::doc, 0);
    (void)z;
    Item& orphans = addChild(res, root, "orphans[1]", ItemKind::dir);
    addChild(res, orphans, "o", ItemKind::doc, 2'000'000'000);
    Aggregator::aggregate(res);

    EXPECT_TRUE(Serialization::topDirs(res, 0).empty());
    const auto dirs = Serialization::topDirs(res, 10);
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[0].id, "sub");
    EXPECT_EQ(dirs[1].id, "work");
    const NodeDTO& w = dirs[1];
    EXPECT_EQ(w.qta, 30'000'005);
    EXPECT_EQ(w.sz, 30'000'005);
    EXPECT_EQ(w.docs, 3);
    EXPECT_EQ(w.dirs, 1);   // the subtree's value
    EXPECT_EQ(w.unenum, 1); // the subtree's value
    EXPECT_EQ(w.cloudDocs, 0);
    EXPECT_EQ(w.dpath, std::optional<std::string>("root[1]/Work"));
    EXPECT_EQ(w.parent, std::optional<std::string>("root[1]"));

    // With a root given, the root itself is a candidate.
    const auto fromWork = Serialization::topDirs(res, 1, &work);
    ASSERT_EQ(fromWork.size(), 1u);
    EXPECT_EQ(fromWork[0].id, "sub");
}

TEST(SerializationTest, WalksSurviveChildCycles) {
    Sample s;
    s.docs->children.push_back(s.root1); // a corrupt tree: Docs lists the root again
    s.empty->children.push_back(s.docs);
    EXPECT_EQ(Serialization::topFiles(s.res, 100, false).size(), 6u);
    EXPECT_EQ(Serialization::topDirs(s.res, 100).size(), 2u);
    const ExportDTO e = Serialization::exportData(s.res, 50, 10);
    EXPECT_EQ(e.roots.size(), 2u);
}
