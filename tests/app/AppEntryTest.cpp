// The application run as a child process without a screen: its self-test report checked figure
// by figure against varnelo-cli's JSON export of the same world, a failed first scan, and the
// window screenshot.
#include "ControllerFixture.hpp"

#include "AppLanguage.hpp"
#include "TessaryApp/Fmt.hpp"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>

#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

using namespace tessary;
using namespace apptest;
using nlohmann::json;
using testsupport::Child;
using testsupport::readFile;

namespace {

std::vector<std::string> lines(const std::string& textBlock) {
    std::vector<std::string> out;
    std::istringstream in(textBlock);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string lineStarting(const std::vector<std::string>& all, const std::string& prefix) {
    for (const std::string& line : all)
        if (line.starts_with(prefix))
            return line;
    return {};
}

std::string sizeText(const json& bytes) {
    return text(Fmt::size(bytes.get<std::int64_t>()));
}

class AppEntry : public ::testing::Test {
protected:
    SettingsSandbox settings;
    testsupport::TempDir out{"app-entry"};
};

} // namespace

TEST_F(AppEntry, TheSelfTestReportAgreesWithTheCommandLineExport) {
    SimWorld world(3, "3000");
    const std::string report = (out / "report.txt").string();
    const std::vector<std::string> env = {"TESSARY_SELFTEST=1", "QT_QPA_PLATFORM=offscreen"};
    ASSERT_EQ(Child::run({VARNELO_APP}, env, report), 0) << readFile(report);
    const std::string exported = (out / "tree.json").string();
    ASSERT_EQ(Child::run({VARNELO_CLI, "--json", exported}), 0);
    const json tree = json::parse(readFile(exported));
    const json& summary = tree["summary"];
    json main;
    for (const json& container : summary["containers"])
        if (container["root"] == summary["main_root"])
            main = container;
    ASSERT_FALSE(main.is_null());
    json root;
    for (const json& r : tree["roots"])
        if (r["id"] == summary["main_root"])
            root = r;

    const std::vector<std::string> all = lines(readFile(report));
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(lineStarting(all, "SELFTEST"), "SELFTEST");
    EXPECT_EQ(lineStarting(all, "cards: "),
              "cards: total=" + sizeText(main["qta"]) + " cloud=" + sizeText(main["cloud"]) +
                  " local=" + sizeText(main["local"]) +
                  " free=" + sizeText(summary["quota_remaining"]) +
                  " dead=" + std::to_string(summary["dead_count"].get<std::int64_t>()) +
                  " unenum=" + std::to_string(main["unenum"].get<std::int64_t>()));
    EXPECT_EQ(lineStarting(all, "containers="),
              "containers=" + std::to_string(summary["containers"].size()) +
                  " warnings=" + std::to_string(summary["warnings"].size()));
    EXPECT_TRUE(lineStarting(all, "report: ")
                    .starts_with("report: total=" + sizeText(root["qta"]) +
                                 " cloud=" + sizeText(root["cloud"]) + " ("));
    EXPECT_TRUE(
        lineStarting(all, "report: ")
            .ends_with(" cloudDocs=" + std::to_string(root["cloud_docs"].get<std::int64_t>()) +
                       " local=" + sizeText(root["local"])));
    EXPECT_TRUE(lineStarting(all, "breadcrumbs=[] current=iCloud Drive rows=").size() > 0);

    // The first rows are the root's largest children, as the export lists them.
    std::map<std::string, json> children;
    for (const json& child : root["children"])
        children[child["name"]] = child;
    int rows = 0;
    for (const std::string& line : all) {
        if (!line.starts_with("row: "))
            continue;
        ++rows;
        const std::string name = line.substr(5, line.find(" | ") - 5);
        ASSERT_TRUE(children.contains(name)) << line;
        const json& child = children[name];
        EXPECT_TRUE(line.starts_with("row: " + name + " | " + sizeText(child["qta"]) + " | ☁ " +
                                     sizeText(child["cloud"]) + " | disk " +
                                     sizeText(child["local"]) + " | files " +
                                     std::to_string(child["docs"].get<std::int64_t>())))
            << line;
    }
    EXPECT_EQ(rows, 5);
    EXPECT_TRUE(lineStarting(all, "search 'koleda': total=").size() > 0);
    EXPECT_EQ(lineStarting(all, "search 'koleda': total=0"), "");
    EXPECT_TRUE(lineStarting(all, "top files: [\"").size() > 0);
    EXPECT_TRUE(lineStarting(all, "drill-down '").ends_with("breadcrumbs=[\"iCloud Drive\"]"));
}

TEST_F(AppEntry, AFailedFirstScanWithoutAScreenEndsWithTheError) {
    testsupport::TempDir home("app-nohome");
    const std::string output = (out / "failed.txt").string();
    const int status = Child::run({VARNELO_APP},
                                  {"TESSARY_SELFTEST=1", "QT_QPA_PLATFORM=offscreen",
                                   "HOME=" + home.str(), "TESSARY_BRCTL=/nonexistent/brctl"},
                                  output);
    EXPECT_EQ(status, 1);
    const std::string printed = readFile(output);
    EXPECT_EQ(printed.find("SELFTEST"), std::string::npos);
    EXPECT_NE(printed.find("brctl"), std::string::npos) << printed;
}

TEST_F(AppEntry, TheWindowCanBeSavedAsAPicture) {
    SimWorld world(1, "0");
    const std::string png = (out / "window.png").string();
    ASSERT_EQ(Child::run({VARNELO_APP, "--screenshot", png}, {"QT_QPA_PLATFORM=offscreen"}), 0);
    const std::string bytes = readFile(png);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
}

// Qt's own dialogs and standard buttons speak the window's language.
TEST(AppLanguageTest, QtsStandardTextsAreCzech) {
    ASSERT_TRUE(AppLanguage::install(*QCoreApplication::instance()))
        << "qtbase_cs.qm is missing (qt6-translations-l10n, installed by scripts/deps)";
    QDialogButtonBox box(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(text(box.button(QDialogButtonBox::Cancel)->text()), "Zrušit");
    EXPECT_EQ(text(box.button(QDialogButtonBox::Save)->text()), "Uložit");
}
