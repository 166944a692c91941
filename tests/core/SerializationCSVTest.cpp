#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Serialization.hpp"

#include "TreeFixtures.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace tessary;
using fixtures::addChild;
using fixtures::addRoot;

namespace {

const std::vector<std::string> header = {"Název",
                                         "Typ",
                                         "Cesta",
                                         "Velikost v iCloudu (B)",
                                         "Jen v cloudu (B)",
                                         "Na disku (B)",
                                         "Souborů",
                                         "Neprozkoumaných složek",
                                         "Jméno dopočteno"};

// The rows as Python's csv module reads them with ";" as the delimiter.
std::vector<std::vector<std::string>> readWithPython(const std::string& csv) {
    fixtures::TempDir dir;
    fixtures::writeFile(dir.path / "in.csv", csv);
    fixtures::writeFile(dir.path / "read.py", R"(import csv, json, sys
with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f, delimiter=";", strict=True))
sys.stdout.write(json.dumps(rows))
)");
    const auto r = fixtures::run("python3 " + (dir.path / "read.py").string() + " " +
                                 (dir.path / "in.csv").string());
    EXPECT_EQ(r.status, 0) << r.out;
    if (r.status != 0)
        return {};
    return nlohmann::json::parse(r.out).get<std::vector<std::vector<std::string>>>();
}

} // namespace

TEST(SerializationCSVTest, PythonReadsEveryCellBack) {
    if (!fixtures::havePython())
        GTEST_SKIP() << "python3 with the csv module is not installed";
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    root.setName("iCloud Drive");
    Item& folder = addChild(res, root, "dir", ItemKind::dir, 0, "Data");
    Item& formula = addChild(res, folder, "f1", ItemKind::doc, 900, "=SUM(A1)");
    formula.localAlloc = 4096;
    Item& semi = addChild(res, folder, "f2", ItemKind::doc, 800, "a;b.txt");
    semi.resolved = false;
    Item& quote = addChild(res, folder, "f3", ItemKind::doc, 700, "say \"hi\".txt");
    addChild(res, folder, "f4", ItemKind::doc, 600, "+1");
    addChild(res, folder, "f5", ItemKind::doc, 500, "-x");
    addChild(res, folder, "f6", ItemKind::doc, 400, "@me");
    addChild(res, folder, "f7", ItemKind::doc, 300, "\tTab");
    addChild(res, folder, "f8", ItemKind::doc, 200, "line\nbreak\r\nx");
    addChild(res, folder, "f9", ItemKind::symlink, 100, "link");
    Item& sub = addChild(res, folder, "f10", ItemKind::dir, 0, "Sub");
    sub.enumerated = false;
    Item& ctl = addChild(res, folder, "f11", ItemKind::doc, 1,
                         std::string("c\x01ž") + std::string(70000, 'y'));
    Item& neg = addChild(res, folder, "f12", ItemKind::doc, 0, "minus");
    Aggregator::aggregate(res);
    neg.aggQta = -5; // the CSV writes what the aggregates say, sign included
    (void)quote;
    (void)ctl;

    const std::string csv = Serialization::exportCSV(res, folder);
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    ASSERT_EQ(csv.substr(csv.size() - 2), "\r\n");
    const auto rows = readWithPython(csv);
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[0], header);
    using R = std::vector<std::string>;
    EXPECT_EQ(rows[1], (R{"'=SUM(A1)", "soubor", "iCloud Drive/Data/=SUM(A1)", "900", "0", "4096",
                          "1", "0", "ano"}));
    EXPECT_EQ(rows[2], (R{"a;b.txt", "soubor", "iCloud Drive/Data/a;b.txt", "800", "800", "0", "1",
                          "0", "ne"}));
    EXPECT_EQ(rows[3][0], "say \"hi\".txt");
    EXPECT_EQ(rows[4][0], "'+1");
    EXPECT_EQ(rows[5][0], "'-x");
    EXPECT_EQ(rows[6][0], "'@me");
    EXPECT_EQ(rows[7][0], "'\tTab");
    EXPECT_EQ(rows[8][0], "line\nbreak\r\nx");
    EXPECT_EQ(rows[9],
              (R{"link", "soubor", "iCloud Drive/Data/link", "100", "0", "0", "0", "0", "ano"}));
    EXPECT_EQ(rows[10][0], std::string("c\x01ž") + std::string(70000, 'y'));
    // Equal quota (the empty folder and "minus" after it): child order decides.
    EXPECT_EQ(rows[11],
              (R{"Sub", "složka", "iCloud Drive/Data/Sub", "0", "0", "0", "0", "1", "ano"}));
    EXPECT_EQ(rows[12][0], "minus");
    EXPECT_EQ(rows[12][3], "-5");

    // The path is guarded on its own: a root whose name starts with "=".
    root.setName("=root");
    EXPECT_EQ(readWithPython(Serialization::exportCSV(res, folder))[1][2], "'=root/Data/=SUM(A1)");
}

TEST(SerializationCSVTest, EmptyFolderIsTheHeaderAlone) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Aggregator::aggregate(res);
    EXPECT_EQ(Serialization::exportCSV(res, root),
              "\xEF\xBB\xBF"
              "Název;Typ;Cesta;Velikost v iCloudu (B);Jen v cloudu (B);Na disku (B);Souborů;"
              "Neprozkoumaných složek;Jméno dopočteno\r\n");
}

TEST(SerializationCSVTest, AnEmptyNameKeepsItsCell) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    root.setName("R");
    addChild(res, root, "f1", ItemKind::doc, 10).setName("");
    Aggregator::aggregate(res);
    const std::string csv = Serialization::exportCSV(res, root);
    const std::string row = csv.substr(csv.find("\r\n") + 2);
    EXPECT_EQ(row, ";soubor;R/;10;0;0;1;0;ano\r\n");
}

TEST(SerializationCSVTest, NamesThatAreNotUtf8StayReadableUtf8) {
    if (!fixtures::havePython())
        GTEST_SKIP() << "python3 with the csv module is not installed";
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    root.setName("Home \xC3");
    addChild(res, root, "f1", ItemKind::doc, 10).setName("x\xFF.bin");
    addChild(res, root, "f2", ItemKind::doc, 5).setName("\xE2\x82;\xF0\x9F\x98");
    Aggregator::aggregate(res);
    const std::string csv = Serialization::exportCSV(res, root);
    // Python reads it as strict UTF-8; each broken sequence is one U+FFFD.
    const auto rows = readWithPython(csv);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], "x\uFFFD.bin");
    EXPECT_EQ(rows[1][2], "Home \uFFFD/x\uFFFD.bin");
    EXPECT_EQ(rows[2][0], "\uFFFD;\uFFFD");
}

TEST(SerializationCSVTest, FormatSizeThresholds) {
    EXPECT_EQ(Serialization::formatSize(0), "0 B");
    EXPECT_EQ(Serialization::formatSize(999), "999 B");
    EXPECT_EQ(Serialization::formatSize(1000), "1.0 kB");
    EXPECT_EQ(Serialization::formatSize(1500), "1.5 kB");
    EXPECT_EQ(Serialization::formatSize(999'949), "999.9 kB");
    EXPECT_EQ(Serialization::formatSize(999'950), "1.0 MB");
    EXPECT_EQ(Serialization::formatSize(1'000'000), "1.0 MB");
    EXPECT_EQ(Serialization::formatSize(1'500'000'000), "1.5 GB");
    EXPECT_EQ(Serialization::formatSize(2'500'000'000'000'000'000), "2500.0 PB");
    EXPECT_EQ(Serialization::formatSize(-999), "-999 B");
    EXPECT_EQ(Serialization::formatSize(-1500), "-1500 B");
    EXPECT_EQ(Serialization::formatSize(std::numeric_limits<std::int64_t>::max()), "9223.4 PB");
}
