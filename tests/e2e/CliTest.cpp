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

TEST_F(CliTest, ExportsThroughLinksKeepTheLinksAndDevices) {
    const fs::path real = m_dir / "real.json";
    std::ofstream(real) << "old";
    fs::create_symlink(real, m_dir / "tree.json");
    fs::create_symlink("/dev/null", m_dir / "null.csv");
    const Outcome r = run("--dump '" + m_dump + "' -q --json '" + (m_dir / "tree.json").string() +
                          "' --csv d1 '" + (m_dir / "null.csv").string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(m_dir / "tree.json"));
    EXPECT_TRUE(fs::is_symlink(m_dir / "null.csv"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(nlohmann::json::parse(read(real))["summary"]["dead_count"], 1);
}

TEST_F(CliTest, ExportsGoIntoPipesNamedAsDescriptors) {
    // `--json /dev/stdout | reader` and `--csv ID /proc/self/fd/3 3>&1 | reader`, as with
    // any Unix tool; the summary that standard output would carry is asked away with -q.
    const std::string cli =
        "HOME='" + (m_dir / "home").string() + "' '" VARNELO_CLI "' --dump '" + m_dump + "' -q ";
    const fs::path json = m_dir / "from-pipe.json";
    const fs::path csv = m_dir / "from-pipe.csv";
    ASSERT_EQ(std::system((cli + "--json /dev/stdout | cat >'" + json.string() + "'").c_str()), 0);
    EXPECT_EQ(nlohmann::json::parse(read(json))["summary"]["dead_count"], 1);
    ASSERT_EQ(
        std::system((cli + "--csv d1 /proc/self/fd/3 3>&1 >/dev/null | cat >'" + csv.string() + "'")
                        .c_str()),
        0);
    EXPECT_NE(read(csv).find("\"'=SUM(A1);x.jpg\""), std::string::npos) << read(csv);
}

TEST_F(CliTest, AFullOrClosedStandardOutputFailsTheRun) {
    const auto lastError = [&](const std::string& args, const std::string& redirect) {
        const std::string command = "HOME='" + (m_dir / "home").string() +
                                    "' '" VARNELO_CLI "' --dump '" + m_dump + "' -q " + args + " " +
                                    redirect + " 2>'" + (m_dir / "err").string() + "'";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << args << redirect;
        return lastLine(read(m_dir / "err"));
    };
    for (const std::string& args : {std::string("--json -"), std::string("--csv d1 -"),
                                    std::string(""), std::string("--top-files 3 --format json")}) {
        EXPECT_EQ(lastError(args, ">/dev/full"),
                  "Na standardní výstup nelze zapsat: na disku není místo.");
        EXPECT_EQ(lastError(args, ">&-"), "Na standardní výstup nelze zapsat: výstup je zavřený.");
    }
}

TEST_F(CliTest, ABrokenCachedDumpTellsHowToMakeANewOne) {
    const fs::path cache = m_dir / "home" / "Library" / "Caches" / "tessary";
    fs::create_directories(cache);
    std::ofstream(cache / "dump-v.txt") << "garbage\n    client items\n";
    const Outcome r = run("-q");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.err), "Ve výpisu brctl dump chybí sekce 'server items' – formát se možná "
                               "změnil. Nový výpis vytvoří varnelo-cli --refresh.");
}

TEST_F(CliTest, UsageErrorsAreCzechAndComeBeforeAnyScan) {
    const std::string help = "Nápověda: varnelo-cli --help";
    std::ofstream(m_dir / "plain") << "x";
    fs::create_symlink(m_dir / "nowhere", m_dir / "dangling");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--no-such-option", "Neznámý argument: --no-such-option"},
        {"--fs a='" + (m_dir / "missing").string() + "'",
         "Složka neexistuje: " + (m_dir / "missing").string()},
        {"--fs a='" + (m_dir / "dangling").string() + "'",
         "Složka neexistuje: " + (m_dir / "dangling").string()},
        {"--fs a='" + (m_dir / "plain").string() + "'",
         "Není to složka: " + (m_dir / "plain").string()},
        {"--hydrate d1 --depth 4", "Volba --depth čeká počet úrovní 1 až 3."},
        {"--hydrate d1 --depth 0", "Volba --depth čeká počet úrovní 1 až 3."},
        {"--depth 2", "Volba --depth patří jen k volbě --hydrate."},
        {"--dry-run", "Volba --dry-run patří jen k volbě --evict."},
        {"--changes x", "Volba --changes čeká počet změn (celé číslo od 0)."},
        {"--since 2026-13-01",
         "Chybné datum --since „2026-13-01“: čekám RRRR-MM-DD nebo RRRR-MM-DD HH:MM."},
        {"--changes --dump x",
         "Změny se počítají jen u skenu iCloud Drive nebo složek, ne u --dump."},
        {"--evict d1 --dump x", "Volba --evict patří jen ke skenu databáze s porovnáním disku."},
        {"--json-depth 1001 --json x.json", "Hloubka --json-depth smí být nejvýše 1000."},
    };
    for (const auto& [args, text] : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err, text + "\n" + help + "\n") << args;
    }
    EXPECT_FALSE(fs::exists(m_dir / "home" / "Library")) << "a scan was started";
}

TEST_F(CliTest, AHomeThatIsEmptyOrMissingIsRefusedBeforeAnythingIsMade) {
    const std::string cli = VARNELO_CLI;
    const std::string err = (m_dir / "err").string();
    const auto status = [&](const std::string& home) {
        const std::string command =
            "cd '" + m_dir.string() + "' && HOME='" + home + "' '" + cli + "' -q 2>'" + err + "'";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status(""), 1);
    EXPECT_EQ(lastLine(read(err)), "Proměnná HOME je prázdná – nevím, kde je domovská složka.");
    EXPECT_FALSE(fs::exists(m_dir / "Library"));
    const fs::path missing = m_dir / "no-home";
    EXPECT_EQ(status(missing.string()), 1);
    EXPECT_EQ(lastLine(read(err)), "Domovská složka neexistuje: " + missing.string());
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(CliTest, ErrorsNameTheReasonAndNeverEchoControlCharacters) {
    Outcome r = run("--dump '" + (m_dir / "missing.dump").string() + "'");
    EXPECT_EQ(lastLine(r.err), "Výpis databáze nelze otevřít: " +
                                   (m_dir / "missing.dump").string() + " (soubor neexistuje)");
    r = run("--dump '" + m_dir.string() + "'");
    EXPECT_EQ(lastLine(r.err),
              "Výpis databáze nelze otevřít: " + m_dir.string() + " (je to složka)");
    r = run("--dump '" + m_dump + "' -q --csv \"$(printf '\\033[2Jx')\" -");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lastLine(r.err), "Položka „\xEF\xBF\xBD[2Jx“ ve výsledku skenu není.");
    EXPECT_EQ(r.err.find('\033'), std::string::npos);
}
