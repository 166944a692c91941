#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

const std::string rule(12, '-');

std::string dumpText() {
    std::string text = "    server items\n    " + rule + "c{1}m.a{3}e.C{7}s[1]" + rule + "\n";
    text += "  i:<d1> st{p:<root[1]> n:\"Fotky\" dir} sm{qta:0 rcc:0 sbm:0 stm:0 cc:2}\n";
    text += "  i:<f1> st{p:<d1> n:\"=SUM(A1);x.jpg\" doc} sz:3000 bytes "
            "sm{qta:4096 rcc:1 sbm:0 stm:0 cc:0} mt:1700000000\n";
    text += "  i:<f2> st{p:<d1> n:\"v{3}o.mov\" doc} sz:2.0 GB (2000000000) "
            "sm{qta:2000000000 rcc:1 sbm:0 stm:0 cc:0} mt:1700000000\n";
    text += "  i:<f3> st{p:<root[1]> n:\"old.txt\" (o:\"o{1}d.txt\") doc dead} sz:10 bytes "
            "sm{qta:10 rcc:1 sbm:0 stm:0 cc:0}\n";
    text += "    client items\n";
    return text;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(m_dump, std::ios::binary) << dumpText(); }

    static std::string read(const fs::path& p) { return testsupport::readFile(p); }
    static std::string lastLine(const std::string& text) {
        std::string t = text;
        while (!t.empty() && t.back() == '\n')
            t.pop_back();
        return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
    }
    // Runs the command line tool with `args` (already quoted for the shell), the home folder
    // pointed into the test folder so that nothing of the real one is read.
    Outcome run(const std::string& args) const {
        const std::string out = (m_dir / "stdout").string();
        const std::string err = (m_dir / "stderr").string();
        const std::string command = "HOME='" + (m_dir / "home").string() + "' '" VARNELO_CLI "' " +
                                    args + " >'" + out + "' 2>'" + err + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(out), read(err)};
    }

    testsupport::TempDir m_tmp{"cli"};
    fs::path m_dir = m_tmp.path();
    std::string m_dump = (m_dir / "copied.dump").string();
};

} // namespace

TEST_F(CliTest, DumpFileIsAnalysedAsTheDatabaseSaysWithTopListsAsJSON) {
    const Outcome r = run("--dump '" + m_dump + "' --top-files 5 --top-dirs 5 --format json -q");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["top_files"].size(), 2u);
    EXPECT_EQ(doc["top_files"][0]["id"], "f2");
    EXPECT_EQ(doc["top_files"][0]["qta"], 2000000000);
    EXPECT_EQ(doc["top_files"][0]["dataless"], true); // nothing compared with this disk
    EXPECT_EQ(doc["top_files"][1]["dpath"], "c{1}m.a{3}e.C{7}s/Fotky/=SUM(A1);x.jpg");
    ASSERT_EQ(doc["top_dirs"].size(), 1u);
    EXPECT_EQ(doc["top_dirs"][0]["id"], "d1");
    // With the lists on standard output, the summary goes to standard error.
    EXPECT_NE(r.err.find("Smazané položky:    1 (10 B)"), std::string::npos) << r.err;
}

TEST_F(CliTest, ExportsAreWrittenWholeToFilesOrStandardOutput) {
    const fs::path json = m_dir / "tree.json";
    const fs::path csv = m_dir / "fotky.csv";
    Outcome r = run("--dump '" + m_dump + "' -q --json '" + json.string() + "' --csv d1 '" +
                    csv.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("V iCloudu celkem:"), std::string::npos);
    const auto tree = nlohmann::json::parse(read(json));
    EXPECT_EQ(tree["summary"]["dead_count"], 1);
    EXPECT_EQ(tree["roots"][0]["qta"], 2000004096);
    const std::string table = read(csv);
    EXPECT_EQ(table.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_NE(table.find("\"'=SUM(A1);x.jpg\""), std::string::npos) << table;
    for (const auto& e : fs::directory_iterator(m_dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);

    r = run("--dump '" + m_dump + "' -q --csv d1 -");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, table);
}

TEST_F(CliTest, FailuresExitWithTheirCodesAndCzechTexts) {
    Outcome r = run("--dump '" + (m_dir / "missing.dump").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(lastLine(r.err).find("missing.dump"), std::string::npos) << r.err;

    r = run("--dump '" + m_dump + "' -q --csv nope '" + (m_dir / "x.csv").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.err), "Položka „nope“ ve výsledku skenu není.");
    EXPECT_FALSE(fs::exists(m_dir / "x.csv"));

    r = run("--dump '" + m_dump + "' --json '" + (m_dir / "no" / "t.json").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(lastLine(r.err).find("se nepodařilo zapsat"), std::string::npos) << r.err;

    EXPECT_EQ(run("--no-such-option").status, 2);
    EXPECT_EQ(run("--json - --top-files 3").status, 2);
    EXPECT_EQ(run("--fs 'bez-cesty'").status, 2);
    EXPECT_EQ(run("--fs a=/tmp --dump '" + m_dump + "'").status, 2);
}
