// Hydration of never-opened folders of a generated world, the file-manager actions, copying
// paths and the exports, read back by Python's own json and csv modules.
#include "ControllerFixture.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <nlohmann/json.hpp>

#include <set>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class WorldActions : public ::testing::Test {
protected:
    void SetUp() override {
        c.setEnvironment(world.env);
        scanNow(c);
        ASSERT_TRUE(c.result()) << text(c.errorMessage().value_or(""));
        truth = json::parse(testsupport::readFile(world.root() + "/truth/world.json"));
    }
    Item* itemNamed(const std::string& name) const {
        Item* found = nullptr;
        c.result()->forEachItem([&](Item& item) {
            if (!found && item.name() == name)
                found = &item;
        });
        return found;
    }
    // The true names of the truth's items below the item named `parent`.
    std::set<std::string> trueChildren(const std::string& parent) const {
        std::string parentID;
        for (const json& it : truth["items"])
            if (it["name"] == parent)
                parentID = it["id"];
        std::set<std::string> names;
        for (const json& it : truth["items"])
            if (it["parent"] == parentID && !it["dead"].get<bool>())
                names.insert(it["name"].get<std::string>());
        return names;
    }
    std::set<std::string> shownNames() const {
        std::set<std::string> names;
        for (const NodeDTO& row : c.children())
            names.insert(row.name);
        return names;
    }

    SettingsSandbox settings;
    SimWorld world;
    ScriptedDesktop desktop;
    ScanController c{&desktop};
    json truth;
};

bool pythonReads(const std::string& script, const std::string& path) {
    const std::string command = "python3 -c '" + script + "' '" + path + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

TEST_F(WorldActions, HydratingANeverOpenedFolderRevealsItsNames) {
    Item* folder = itemNamed("Staré nahrávky");
    ASSERT_TRUE(folder);
    const std::string id(folder->id());
    EXPECT_TRUE(ScanController::canHydrate(NodeDTO(*folder)));
    Item* inner = itemNamed("Kazety");
    EXPECT_FALSE(inner) << "the names inside are still masked before hydration";

    c.startHydrate(id, 1);
    EXPECT_TRUE(c.busy());
    EXPECT_EQ(c.phase(), ScanController::Phase::hydrate);
    EXPECT_EQ(c.hydrateTarget(), std::optional<std::string>(id));
    EXPECT_EQ(text(c.toast().value_or("")),
              "Načítám seznam složky z iCloudu – může to trvat i několik minut.");
    c.startHydrate(id, 1); // busy: refused with the hint
    EXPECT_EQ(text(c.toast().value_or("")),
              "Složku nelze načíst (není známa cesta nebo jde o kořen).");
    ASSERT_TRUE(waitIdle(c));

    EXPECT_EQ(c.phase(), ScanController::Phase::done);
    EXPECT_FALSE(c.hydrateTarget());
    EXPECT_TRUE(text(c.message()).starts_with("Načteno "));
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->id, id); // the window shows the hydrated folder
    EXPECT_EQ(shownNames(), trueChildren("Staré nahrávky"));
    for (const NodeDTO& row : c.children())
        EXPECT_EQ(row.enumerated, std::optional<bool>(false)) << row.name; // one level only
    c.setQuery("kazety");
    c.runSearch(200);
    EXPECT_EQ(c.searchTotal(), 1); // the search index knows the new names
}

TEST_F(WorldActions, HydratingThreeLevelsListsTheFoldersInsideToo) {
    const std::string id(itemNamed("Staré nahrávky")->id());
    c.startHydrate(id, 3);
    ASSERT_TRUE(waitIdle(c));
    Item* kazety = itemNamed("Kazety");
    ASSERT_TRUE(kazety);
    c.navigate(std::string(kazety->id()), true);
    EXPECT_EQ(shownNames(), trueChildren("Kazety"));
    EXPECT_FALSE(shownNames().empty());
}

TEST_F(WorldActions, FoldersThatCannotBeHydratedAreRefusedWithAHint) {
    const std::string hint = "Složku nelze načíst (není známa cesta nebo jde o kořen).";
    Item* file = nullptr;
    c.result()->forEachItem([&](Item& item) {
        if (!file && item.kind() == ItemKind::doc && item.hasPath())
            file = &item;
    });
    ASSERT_TRUE(file);
    for (const std::string& id :
         {std::string(file->id()), std::string(c.result()->mainRoot()->id()), std::string("??")}) {
        c.showToast("", 1);
        c.startHydrate(id, 1);
        EXPECT_FALSE(c.busy());
        EXPECT_EQ(text(c.toast().value_or("")), hint) << id;
    }
    NodeDTO node;
    node.kind = ItemKind::dir;
    node.id = "x";
    node.path = "/p";
    EXPECT_FALSE(ScanController::canHydrate(node)); // enumerated absent
    node.enumerated = true;
    EXPECT_FALSE(ScanController::canHydrate(node));
    node.enumerated = false;
    EXPECT_TRUE(ScanController::canHydrate(node));
    node.id = "orphans[1]";
    EXPECT_FALSE(ScanController::canHydrate(node));
}

TEST_F(WorldActions, FileManagerActionsFallBackToTheNearestKnownFolder) {
    // A cloud-only folder's masked child has no path of its own.
    Item* folder = itemNamed("Staré nahrávky");
    ASSERT_TRUE(folder && !folder->children.empty());
    const Item* masked = folder->children.front();
    ASSERT_FALSE(masked->hasPath());
    c.revealInFinder(std::string(masked->id()));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(text(desktop.shown[0]), std::string(*folder->path()));
    c.copyPath(std::string(masked->id()));
    ASSERT_EQ(desktop.clipboard.size(), 1u);
    EXPECT_EQ(text(desktop.clipboard[0]), std::string(*folder->path()));
    EXPECT_EQ(text(c.toast().value_or("")), "Cesta zkopírována.");

    c.openInFinder(std::string(c.result()->mainRoot()->id()));
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(text(desktop.opened[0]), world.env.cloudDocsDir);

    // No file manager answers: the user is told, and gets the path on the clipboard.
    desktop.fileManagerAnswers = false;
    c.revealInFinder(std::string(masked->id()));
    EXPECT_EQ(text(c.toast().value_or("")),
              "Žádný správce souborů neodpověděl. Cesta je zkopírovaná: " +
                  std::string(*folder->path()));
    EXPECT_EQ(text(desktop.clipboard.back()), std::string(*folder->path()));
    c.showToast("", 1);
    c.openFullDiskAccessSettings();
    EXPECT_TRUE(text(c.toast().value_or("")).starts_with("Žádný správce souborů neodpověděl."));
    desktop.fileManagerAnswers = true;
    desktop.clipboard.pop_back();
    desktop.clipboard.pop_back();

    c.showToast("", 1);
    c.revealInFinder("no such id");
    EXPECT_EQ(text(c.toast().value_or("")), "Cesta na disku není známa.");
    c.showToast("", 1);
    c.copyPath("no such id"); // nothing, not even a toast
    EXPECT_EQ(text(c.toast().value_or("")), "");
    EXPECT_EQ(desktop.clipboard.size(), 1u);

    const std::string file(folder->id());
    c.showInParent(file);
    EXPECT_EQ(c.selectedID(), std::optional<std::string>(file));
    EXPECT_EQ(c.current()->id, std::string(folder->parent()));
}

TEST_F(WorldActions, ExportsAreWrittenWholeOrNotAtAll) {
    testsupport::TempDir out("app-export");
    desktop.savePath = QString::fromStdString((out / "tessary.json").string());
    c.exportJSON();
    EXPECT_EQ(desktop.savePrompts.back(), "tessary.json|json");
    EXPECT_EQ(text(c.toast().value_or("")), "JSON uložen.");
    EXPECT_TRUE(pythonReads("import json,sys; d=json.load(open(sys.argv[1])); "
                            "assert d[\"summary\"][\"main_root\"] == \"root[1]\"",
                            (out / "tessary.json").string()));

    desktop.savePath = QString::fromStdString((out / "tessary.csv").string());
    c.exportCSV();
    EXPECT_EQ(desktop.savePrompts.back(), "tessary.csv|csv");
    EXPECT_EQ(text(c.toast().value_or("")), "CSV uložen.");
    const std::size_t rows = c.children().size();
    EXPECT_TRUE(pythonReads("import csv,sys; r=list(csv.reader(open(sys.argv[1], "
                            "encoding=\"utf-8-sig\", newline=\"\"), delimiter=\";\")); "
                            "assert len(r) == " +
                                std::to_string(rows + 1),
                            (out / "tessary.csv").string()));

    desktop.savePath = QString::fromStdString((out / "missing" / "x.json").string());
    c.exportJSON();
    EXPECT_TRUE(text(c.toast().value_or("")).starts_with("Export selhal: "));
    EXPECT_FALSE(fs::exists(out / "missing"));

    desktop.savePath = std::nullopt; // the user cancelled the dialog
    c.showToast("", 1);
    c.exportJSON();
    EXPECT_EQ(text(c.toast().value_or("")), "");
}

TEST_F(WorldActions, ADownloadedFileReplacedSinceTheScanStaysWhereItIs) {
    Item* file = nullptr;
    c.result()->forEachItem([&](Item& item) {
        if (!file && item.kind() == ItemKind::doc && item.resolved && !item.dataless &&
            !c.trashReason(item) && !c.appDataApp(item) && item.localIdentity())
            file = &item;
    });
    ASSERT_TRUE(file);
    const std::string path(*file->path());
    const auto size = fs::file_size(path);
    writeFile(path + ".new", size); // the same name and size, another file
    fs::rename(path + ".new", path);

    desktop.answers = {0};
    c.confirmAndTrash({std::string(file->id())});
    ASSERT_TRUE(waitIdle(c));
    EXPECT_TRUE(fs::exists(path));
    ASSERT_EQ(desktop.informed.size(), 1u);
    EXPECT_TRUE(desktop.informed[0].informativeText.contains(
        "Položka se od skenu změnila – klikněte na „Znovu porovnat“."));
}
