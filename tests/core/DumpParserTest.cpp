#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/ScanError.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>

using namespace tessary;

namespace {

const std::string rule(12, '-');

std::string header(const std::string& id, int index) {
    return "    " + rule + id + "[" + std::to_string(index) + "]" + rule + "\n";
}

std::string item(const std::string& id, const std::string& parent, const std::string& name,
                 const std::string& kind = "doc", const std::string& extra = "") {
    return "  i:<" + id + "> st{p:<" + parent + "> n:\"" + name + "\" " + kind + extra +
           "} sz:10 bytes sm{qta:20 rcc:1 sbm:0 stm:0 cc:0} mt:5\n";
}

std::string dir(const std::string& id, const std::string& parent, const std::string& name, int cc,
                const std::string& flags = "") {
    return "  i:<" + id + "> st{p:<" + parent + "> n:\"" + name + "\" dir" + flags +
           "} sm{qta:0 rcc:0 sbm:0 " + "stm:0 cc:" + std::to_string(cc) + "}\n";
}

std::vector<std::string> ids(const std::vector<Item*>& items) {
    std::vector<std::string> out;
    for (const Item* i : items)
        out.emplace_back(i->id());
    return out;
}

class DumpParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "dumpparser-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string write(const std::string& text) {
        const std::string path = (m_dir / "dump.txt").string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    ScanResult parse(const std::string& text) { return DumpParser::parse(write(text)); }

    std::filesystem::path m_dir;
};

void expectMessage(const std::function<void()>& f, const std::string& text) {
    try {
        f();
        ADD_FAILURE() << "no error, expected " << text;
    } catch (const ScanError& e) {
        EXPECT_EQ(e.kind(), ScanError::Kind::message);
        EXPECT_EQ(e.description(), text);
    }
}

} // namespace

TEST_F(DumpParserTest, FailuresAndTheServerSection) {
    const std::string missing =
        "Ve výpisu brctl dump chybí sekce 'server items' – formát se možná změnil.";
    expectMessage([&] { (void)parse(""); }, missing);
    expectMessage([&] { (void)parse(header("c", 1) + item("a", "root[1]", "x")); }, missing);
    expectMessage([&] { (void)parse("    server itemsX\n" + header("c", 1)); }, missing);
    const std::string nowhere = (m_dir / "missing.txt").string();
    expectMessage([&] { (void)DumpParser::parse(nowhere); },
                  "Výpis databáze nelze otevřít: " + nowhere + " (soubor neexistuje)");
    expectMessage([&] { (void)DumpParser::parse(m_dir.string()); },
                  "Výpis databáze nelze otevřít: " + m_dir.string() + " (je to složka)");
    // A FIFO without a writer would block the open: refused before it is opened.
    const std::string fifo = (m_dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectMessage([&] { (void)DumpParser::parse(fifo); },
                  "Výpis databáze nelze otevřít: " + fifo + " (není to obyčejný soubor)");
    std::filesystem::remove(fifo);

    // Only the server header: no containers, every line counted.
    ScanResult only = parse("noise\n    server items\nmore\n");
    EXPECT_TRUE(only.containers.empty());
    EXPECT_TRUE(only.roots.empty());
    EXPECT_EQ(only.stats.at("lines"), 3);
    EXPECT_EQ(only.mode, ScanMode::dump);
    ASSERT_TRUE(only.dumpTime.has_value());
    EXPECT_EQ(only.dumpTime, DumpParser::fileModificationTime((m_dir / "dump.txt").string()));
    EXPECT_EQ(DumpParser::fileModificationTime(nowhere), std::nullopt);

    // Lines before the server header and after the client header are not read; a client
    // header before the server header is ignored; a carriage return ends a header too.
    ScanResult res = parse(header("early", 9) + item("e0", "root[9]", "early") +
                           "    client items\n    server items\r\n" + header("c", 1) +
                           item("a", "root[1]", "a.txt") + "    client items\n" + header("c", 1) +
                           item("late", "root[1]", "late"));
    EXPECT_EQ(res.containers.size(), 1u);
    EXPECT_EQ(ids(res.itemOrder()), (std::vector<std::string>{"a"}));
    EXPECT_EQ(res.stats.at("lines"), 7);
}

TEST_F(DumpParserTest, ItemsFieldsCountersAndContainers) {
    const std::string text =
        "    server items\n" + header("cont~A", 5) + item("a1", "root[5]", "a.txt") +
        "  i:<d1> st{p:<root[5]> n:\"R{3}t\" (o:\"Report\") doc dead} sz:1.2 KB (1234)\n" +
        "  i:<d2> st{p:<root[5]> n:\"keep\" (o:\"\") doc dead}\n" +
        "  i:<u1> st{p:<root[5]> n:\"undead\" doc undead}\n" + "  i:<al> alias}\n" +
        "  i:<bad> nothing here\n" + "  i:<a1> st{p:<x> n:\"dup\" dir}\n" + header("cont~B", 2) +
        "  i:<b1> st{p:<root[2]> n:\"\x1b[1mb\x1b[0m.txt\" doc}\r\r\n" + "    " + rule +
        "cont~A[5]" + rule + "\n" + item("a2", "root[5]", "a2\xff.txt") + "    " + rule +
        "cont~C [7]" + rule + "\n" + item("c1", "root[7]", "lost");
    ScanResult res = parse(text);
    for (const char* id : {"a1", "a2", "b1", "c1", "d1", "d2", "u1"})
        ASSERT_NE(res.get(id), nullptr) << id;
    EXPECT_EQ(res.stats.at("items_parsed"), 7);
    EXPECT_EQ(res.stats.at("aliases"), 1);
    EXPECT_EQ(res.stats.at("bad_lines"), 1);
    EXPECT_EQ(res.stats.at("duplicate_ids"), 1);

    // A repeated header switches back; its order stays that of the first appearance; a
    // header with a space before the bracket is no header.
    ASSERT_EQ(res.containers.size(), 2u);
    EXPECT_EQ(res.containers.at(5).order, 0);
    EXPECT_EQ(res.containers.at(2).order, 1);
    EXPECT_EQ(res.get("a2")->container(), 5);
    EXPECT_EQ(res.get("c1")->container(), 5);
    EXPECT_EQ(res.get("a2")->name(), "a2\xEF\xBF\xBD.txt");
    EXPECT_EQ(res.get("b1")->name(), "b.txt");

    const Item& a1 = *res.get("a1");
    EXPECT_EQ(a1.pat(), "a.txt");
    EXPECT_EQ(a1.kind(), ItemKind::doc);
    EXPECT_EQ(std::tie(a1.sz, a1.qta, a1.rcc, a1.cc, a1.mt),
              std::make_tuple(std::int64_t(10), std::int64_t(20), std::int64_t(1), std::int64_t(0),
                              std::int64_t(5)));
    const Item& d1 = *res.get("d1");
    EXPECT_TRUE(d1.dead);
    EXPECT_EQ(d1.name(), "Report");
    EXPECT_EQ(d1.pat(), "R{3}t");
    EXPECT_EQ(d1.sz, 1234);
    EXPECT_TRUE(res.get("d2")->dead);
    EXPECT_EQ(res.get("d2")->name(), "keep");
    EXPECT_FALSE(res.get("u1")->dead);
    EXPECT_EQ(ids(res.dead), (std::vector<std::string>{"d1", "d2"}));
    EXPECT_EQ(ids(res.roots), (std::vector<std::string>{"root[2]", "root[5]"}));
    EXPECT_EQ(res.roots[1]->name(), "cont~A");
    EXPECT_EQ(ids(res.roots[1]->children),
              (std::vector<std::string>{"a1", "u1", "a2", "orphans[5]"}));
}

TEST_F(DumpParserTest, TreeOrphansDeadSubtreesAndCycles) {
    ScanResult res =
        parse("    server items\n" + header("c", 1) + item("a", "root[1]", "a") +
              item("late", "F", "late") + item("o1", "nowhere", "o1") +
              dir("F", "root[1]", "F", 0) + item("o2", "gone", "o2") +
              dir("D", "root[1]", "D", 0, " dead") + item("dchild", "D", "inside dead") +
              dir("self", "self", "self", 0) + dir("X", "Y", "X", 0) + dir("Y", "X", "Y", 0) +
              item("underX", "X", "u") + header("k", 3) + item("k1", "root[3]", "k1"));

    const Item& root = *res.get("root[1]");
    EXPECT_EQ(root.parent(), "");
    EXPECT_TRUE(root.isVirtual());
    // The bucket stands where the first orphan stood among the root's children.
    EXPECT_EQ(ids(root.children), (std::vector<std::string>{"a", "orphans[1]", "F"}));
    const Item& bucket = *res.get("orphans[1]");
    EXPECT_EQ(bucket.parent(), "root[1]");
    EXPECT_EQ(bucket.name(), "(položky bez známého rodiče)");
    EXPECT_EQ(res.stats.at("orphans"), 2);
    EXPECT_EQ(res.get("o1")->parent(), "orphans[1]");
    // Items caught in a parent cycle are cut out of it and kept in the bucket.
    EXPECT_EQ(ids(bucket.children), (std::vector<std::string>{"o1", "o2", "self", "Y"}));
    EXPECT_EQ(res.stats.at("parent_cycles"), 2);
    EXPECT_TRUE(res.get("self")->children.empty());
    EXPECT_EQ(ids(res.get("Y")->children), (std::vector<std::string>{"X"}));
    EXPECT_EQ(ids(res.get("X")->children), (std::vector<std::string>{"underX"}));
    // A parent that comes later is still found.
    EXPECT_EQ(ids(res.get("F")->children), (std::vector<std::string>{"late"}));
    // A dead folder leaves with its subtree; only the folder is in the dead list.
    EXPECT_EQ(ids(res.dead), (std::vector<std::string>{"D"}));
    EXPECT_EQ(ids(res.get("D")->children), (std::vector<std::string>{"dchild"}));
    // No bucket for a container without orphans; synthetic items are not in itemOrder.
    EXPECT_EQ(res.get("orphans[3]"), nullptr);
    EXPECT_EQ(res.itemOrder().size(), 12u);
    EXPECT_EQ(res.displayPath(*res.get("late")), "c/F/late");
}

TEST_F(DumpParserTest, ChildCountCheck) {
    // cc 3 with two live and one dead child is no mismatch.
    std::string text = "    server items\n" + header("c", 1) + dir("P", "root[1]", "P", 3) +
                       item("p1", "P", "1") + item("p2", "P", "2") +
                       item("p3", "P", "3", "doc", " dead");
    ScanResult ok = parse(text);
    EXPECT_EQ(ok.stats.at("dirs_checked"), 1);
    EXPECT_EQ(ok.stats.at("dirs_child_mismatch"), 0);
    EXPECT_TRUE(ok.warnings.empty());

    // 100 checked folders: 2 mismatches give no warning, 3 give one.
    for (int bad : {2, 3}) {
        std::string many = "    server items\n" + header("c", 1);
        for (int i = 0; i < 100; ++i)
            many += dir("f" + std::to_string(i), "root[1]", "f", i < bad ? 2 : 1) +
                    item("c" + std::to_string(i), "f" + std::to_string(i), "x");
        ScanResult res = parse(many);
        EXPECT_EQ(res.stats.at("dirs_checked"), 100);
        EXPECT_EQ(res.stats.at("dirs_child_mismatch"), bad);
        if (bad == 2)
            EXPECT_TRUE(res.warnings.empty());
        else
            EXPECT_EQ(res.warnings, (std::vector<std::string>{
                                        "U 3 z 100 složek nesouhlasí počet potomků s databází – "
                                        "výpis mohl být neúplný."}));
    }
}

TEST_F(DumpParserTest, ChildrenCutOutOfACycleStillCountAsListed) {
    // 20 folders with one child each, as the database says; two of them form a cycle, so
    // cutting it takes a child from one of them. That is no mismatch of the database's.
    std::string text = "    server items\n" + header("c", 1);
    text += dir("A", "B", "A", 1) + dir("B", "A", "B", 1);
    for (int i = 0; i < 18; ++i)
        text += dir("f" + std::to_string(i), "root[1]", "f", 1) +
                item("c" + std::to_string(i), "f" + std::to_string(i), "x");
    ScanResult res = parse(text);
    EXPECT_EQ(res.stats.at("parent_cycles"), 1);
    EXPECT_EQ(res.stats.at("dirs_checked"), 20);
    EXPECT_EQ(res.stats.at("dirs_child_mismatch"), 0);
    EXPECT_TRUE(res.warnings.empty()) << res.warnings.front();
}

TEST_F(DumpParserTest, BlockBoundariesLongLinesAndTheLastLine) {
    // Lines around the 8 MiB block boundary, one of them spanning it, a 1 MB line, and a last
    // line without a line feed.
    const std::size_t block = 8u << 20;
    std::string text = "    server items\n" + header("c", 1);
    int n = 0;
    while (text.size() < block - 40)
        text += item("i" + std::to_string(n++), "root[1]", "name");
    const std::string spanning = item("span", "root[1]", "across the boundary");
    ASSERT_LT(text.size(), block);
    ASSERT_GT(text.size() + spanning.size(), block);
    text += spanning;
    text += item("long", "root[1]", std::string(1 << 20, 'L'));
    text += std::string("\0\0 nul line\n", 12);
    std::string last = item("last", "root[1]", "end");
    last.pop_back();
    text += last;

    std::vector<std::tuple<std::string, std::int64_t, std::int64_t, std::string>> reports;
    ScanResult res =
        DumpParser::parse(write(text), [&](std::string_view phase, std::int64_t done,
                                           std::int64_t total, std::string_view message) {
            reports.emplace_back(phase, done, total, message);
        });
    EXPECT_EQ(res.get("span")->name(), "across the boundary");
    EXPECT_EQ(res.get("long")->name().size(), 1u << 20);
    EXPECT_EQ(res.get("last")->name(), "end");
    EXPECT_EQ(res.stats.at("items_parsed"), n + 3);
    EXPECT_EQ(res.stats.at("lines"), n + 6);
    EXPECT_EQ(res.get("i0")->sz, 10);

    // At most one report per 20,000 lines, then the final one.
    ASSERT_GE(reports.size(), 2u);
    EXPECT_LE(reports.size(), static_cast<std::size_t>(res.stats.at("lines") / 20000 + 1));
    const auto total = static_cast<std::int64_t>(text.size());
    EXPECT_EQ(reports.back(), std::make_tuple(std::string("parse"), total, total,
                                              "Načteno " + std::to_string(n + 3) + " položek"));
    const auto& [phase, done, reportedTotal, message] = reports.front();
    EXPECT_EQ(phase, "parse");
    EXPECT_EQ(reportedTotal, total);
    EXPECT_LT(done, total);
    EXPECT_TRUE(message.starts_with("Čtu databázi… ")) << message;
}

TEST_F(DumpParserTest, ProgressLineStepIsThrottledByLinesAndTime) {
    DumpParser::ParseState st;
    int reports = 0;
    st.progress = [&](std::string_view, std::int64_t, std::int64_t, std::string_view) {
        ++reports;
    };
    for (int i = 0; i < 19999; ++i)
        st.line("x", 2);
    EXPECT_EQ(reports, 0);
    st.line("x", 2);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(st.read, 40000);
    for (int i = 0; i < 20000; ++i)
        st.line("x", 2);
    EXPECT_EQ(reports, 1); // within 0.2 s of the first
    st.lastReport = 0;
    for (int i = 0; i < 20000; ++i)
        st.line("x", 2);
    EXPECT_EQ(reports, 2);
}

TEST_F(DumpParserTest, DeepChainParsesAndAggregatesWithoutRecursion) {
    // 200,000 nested folders: a recursive walk would exhaust the stack long before.
    constexpr int depth = 200000;
    std::string text = "    server items\n" + header("c", 1);
    text.reserve(text.size() + std::size_t(depth) * 80);
    for (int i = 0; i < depth; ++i)
        text += dir("d" + std::to_string(i), i == 0 ? "root[1]" : "d" + std::to_string(i - 1), "n",
                    i + 1 < depth ? 1 : 0);
    ScanResult res = parse(text);
    Aggregator::aggregate(res);
    EXPECT_EQ(res.stats.at("dirs_child_mismatch"), 0);
    EXPECT_EQ(res.stats.at("dirs_checked"), depth - 1);
    EXPECT_EQ(res.roots.at(0)->children.size(), 1u);
    EXPECT_EQ(res.get("d0")->aggDirs, res.get("d1")->aggDirs + 1);
}
