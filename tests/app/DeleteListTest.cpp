// The delete list, the safety rules and the trash run, on real files in a temporary home whose
// Trash is read back by trash-cli's `trash-list`, a client independent of Qt.
#include "ControllerFixture.hpp"

#include "TessaryApp/DeleteList.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QSettings>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

// The original paths `trash-list` reports for the home's Trash.
std::set<std::string> trashed(const std::string& home) {
    const std::string command =
        "HOME='" + home + "' XDG_DATA_HOME='" + home + "/.local/share' trash-list 2>/dev/null";
    std::set<std::string> paths;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return paths;
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe)) {
        std::string s(line.data());
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        // "YYYY-MM-DD HH:MM:SS /original/path"; the Trash of a volume that another test
        // mounted may be listed too.
        if (s.size() > 20 && s.compare(20, home.size() + 1, home + "/") == 0)
            paths.insert(s.substr(20));
    }
    ::pclose(pipe);
    return paths;
}

bool haveTrashList() {
    return std::system("command -v trash-list >/dev/null 2>&1") == 0;
}

class DeleteListTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The Trash lives in the home folder the scan looks at.
        ::setenv("HOME", home.env.home.c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
    }
    void scan() { ASSERT_NO_FATAL_FAILURE(scanLocal(c, home)); }
    std::string idOf(const fs::path& path) const { return idOfPath(c, path); }
    std::string toast() const { return text(c.toast().value_or("")); }

    SettingsSandbox settings;
    LocalHome home;
    ScriptedDesktop desktop;
    ScanController c{&desktop};
};

} // namespace

TEST_F(DeleteListTest, TheListKeepsItsOrderSurvivesARestartAndCountsNestedItemsOnce) {
    writeFile(home.drive() / "A" / "f1", 3000);
    writeFile(home.drive() / "A" / "f2", 2000);
    writeFile(home.drive() / "B.bin", 100000);
    scan();
    const std::string a = idOf(home.drive() / "A");
    const std::string f1 = idOf(home.drive() / "A" / "f1");
    const std::string b = idOf(home.drive() / "B.bin");

    c.addToDeleteList(f1);
    EXPECT_EQ(toast(), "Přidáno do seznamu ke smazání (1 položka).");
    c.addToDeleteList(a);
    c.addToDeleteList(b);
    EXPECT_EQ(toast(), "Přidáno do seznamu ke smazání (3 položky).");
    c.showToast("jiná", 60);
    c.addToDeleteList(b); // already listed: nothing, not even a toast
    EXPECT_EQ(toast(), "jiná");
    c.addToDeleteList(std::string(c.result()->mainRoot()->id()));
    EXPECT_EQ(toast(), "Kořen kontejneru nelze smazat.");
    EXPECT_EQ(c.deleteIDs(), (ScanController::IDList{f1, a, b}));

    c.showDeleteList();
    ASSERT_EQ(c.deleteRows().size(), 3u);
    EXPECT_EQ(c.deleteRows()[0].id, b); // largest first
    EXPECT_EQ(c.deleteRows()[1].id, a);
    ASSERT_TRUE(c.deleteRows()[1].dpath);
    EXPECT_EQ(*c.deleteRows()[1].dpath, "iCloud Drive/A");
    const ScanController::Savings s = c.deleteSavings();
    EXPECT_EQ(s.items, 2);
    EXPECT_EQ(s.nested, 1);
    EXPECT_EQ(s.qta, 105000);
    EXPECT_EQ(c.colorRank().at(b), 0);

    ScanController restarted;
    EXPECT_EQ(restarted.deleteIDs(), (ScanController::IDList{f1, a, b}));

    c.removeFromDeleteList(a);
    EXPECT_EQ(c.deleteIDs(), (ScanController::IDList{f1, b}));
    EXPECT_EQ(c.colorRank().size(), 2u);
    c.clearDeleteList();
    EXPECT_TRUE(c.deleteIDs().empty());
    EXPECT_TRUE(c.deleteRows().empty());
    EXPECT_EQ(ScanController().deleteIDs(), ScanController::IDList{});

    // A list edited by hand: each id once, in its first place, and no empty one.
    QSettings("Varnelo", "Varnelo")
        .setValue("deleteList", QStringList{QString::fromStdString(b), QString(),
                                            QString::fromStdString(f1), QString::fromStdString(b)});
    EXPECT_EQ(ScanController().deleteIDs(), (ScanController::IDList{b, f1}));
}

TEST_F(DeleteListTest, TheConfirmationListsEightItemsAndTheRefusedCount) {
    for (int i = 0; i < 10; ++i)
        writeFile(home.drive() / ("f" + std::to_string(i)), 1000 * (10 - i));
    writeFile(home.drive() / "vanishing", 5);
    scan();
    ScanController::IDList ids;
    for (int i = 0; i < 10; ++i)
        ids.push_back(idOf(home.drive() / ("f" + std::to_string(i))));

    c.confirmAndTrash(ids); // closed without an answer: nothing happens
    ASSERT_EQ(desktop.alerts.size(), 1u);
    const auto& ten = desktop.alerts[0];
    EXPECT_EQ(text(ten.message), "Přesunout 10 položek do Koše?");
    EXPECT_EQ(ten.buttons, (QStringList{"Přesunout do Koše", "Zrušit"}));
    EXPECT_EQ(ten.destructive, 0);
    const QStringList lines = ten.informativeText.split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(text(lines[0]),
              "Celkem " + text(Fmt::size(55000)) +
                  " v iCloudu. Položky z iCloud Drive tím zmizí ze všech vašich zařízení. Dokud "
                  "Koš nevysypete, můžete je vrátit v Koši ve správci souborů.");
    EXPECT_EQ(text(lines[1]), "");
    // A size never parts from its unit at a line break.
    const auto unbroken = [](std::int64_t bytes) {
        return text(Fmt::size(bytes).replace(' ', QChar::Nbsp));
    };
    EXPECT_EQ(text(lines[2]), "• f0 (" + unbroken(10000) + ")");
    EXPECT_EQ(text(lines[9]), "• f7 (" + unbroken(3000) + ")");
    EXPECT_EQ(text(lines[10]), "… a dalších 2");
    EXPECT_FALSE(c.busy());

    const std::string vanishing = idOf(home.drive() / "vanishing");
    fs::remove(home.drive() / "vanishing");
    c.confirmAndTrash({ids[0], std::string(c.result()->mainRoot()->id()), vanishing, "unknown"});
    ASSERT_EQ(desktop.alerts.size(), 2u);
    EXPECT_EQ(text(desktop.alerts[1].message), "Přesunout „f0“ do Koše?");
    EXPECT_TRUE(desktop.alerts[1].informativeText.endsWith(
        "\n\n2 položky nelze bezpečně smazat – zůstanou na seznamu."));
    c.confirmAndTrash({ids[0], std::string(c.result()->mainRoot()->id())});
    ASSERT_EQ(desktop.alerts.size(), 3u);
    EXPECT_TRUE(desktop.alerts[2].informativeText.endsWith(
        "\n\n1 položku nelze bezpečně smazat – zůstane na seznamu."));
    desktop.alerts.pop_back();
    EXPECT_TRUE(fs::exists(home.drive() / "f0"));

    c.confirmAndTrash({vanishing});
    EXPECT_EQ(desktop.alerts.size(), 2u);
    EXPECT_EQ(toast(), "Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
                       "porovnat“.");
    c.confirmAndTrash({vanishing, std::string(c.result()->mainRoot()->id())});
    EXPECT_EQ(toast(), "Žádnou z položek nelze bezpečně smazat.");
}

TEST_F(DeleteListTest, ConfirmedItemsGoToTheTrashOnceAndLeaveTheListAndTheTree) {
    if (!haveTrashList())
        GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    writeFile(home.drive() / "A" / "f1", 3000);
    writeFile(home.drive() / "A" / "f2", 2000);
    writeFile(home.drive() / "B.bin", 100000);
    writeFile(home.drive() / "keep.txt", 7);
    scan();
    const std::string a = idOf(home.drive() / "A");
    const std::string f1 = idOf(home.drive() / "A" / "f1");
    const std::string b = idOf(home.drive() / "B.bin");
    for (const std::string& id : {f1, a, b})
        c.addToDeleteList(id);
    const std::int64_t before = c.result()->mainRoot()->aggQta;
    const std::int64_t freed = c.result()->get(a)->aggQta + c.result()->get(b)->aggQta;

    desktop.answers = {0};
    c.showDeleteList();
    ScanController::IDList rows;
    for (const NodeDTO& row : c.deleteRows())
        rows.push_back(row.id);
    c.confirmAndTrash(rows);
    EXPECT_TRUE(c.busy());
    EXPECT_EQ(c.phase(), ScanController::Phase::trash);
    ASSERT_TRUE(waitIdle(c));

    EXPECT_EQ(trashed(home.env.home), (std::set<std::string>{(home.drive() / "A").string(),
                                                             (home.drive() / "B.bin").string()}));
    EXPECT_TRUE(desktop.informed.empty());
    EXPECT_TRUE(fs::exists(home.drive() / "keep.txt"));
    EXPECT_TRUE(c.deleteIDs().empty());
    EXPECT_TRUE(QSettings("Varnelo", "Varnelo").value("deleteList").toStringList().isEmpty());
    EXPECT_FALSE(c.result()->get(a));
    EXPECT_FALSE(c.result()->get(f1));
    EXPECT_EQ(c.result()->mainRoot()->aggQta, before - freed);
    EXPECT_EQ(c.report()->total, before - freed);
    EXPECT_EQ(c.phase(), ScanController::Phase::done);
    EXPECT_EQ(text(c.message()), "Přesunuto do Koše: 2 položky, " + text(Fmt::size(freed)));
    EXPECT_EQ(toast(), "Přesunuto do Koše: 2 položky (" + text(Fmt::size(freed)) +
                           "). Server údaje aktualizuje při příštím „Obnovit databázi“.");
    c.setQuery("f1");
    c.runSearch(200);
    EXPECT_EQ(c.searchTotal(), 0); // the search index was rebuilt
}

TEST_F(DeleteListTest, AFileReplacedOrRemovedSinceTheScanIsNeverMoved) {
    if (!haveTrashList())
        GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    writeFile(home.drive() / "replaced.txt", 100);
    writeFile(home.drive() / "removed.txt", 200);
    writeFile(home.drive() / "fine.txt", 300);
    scan();
    const std::string replaced = idOf(home.drive() / "replaced.txt");
    const std::string removed = idOf(home.drive() / "removed.txt");
    const std::string fine = idOf(home.drive() / "fine.txt");
    // Between the scan and the click another file of the same size took the name (written
    // while the old one still exists, so it cannot get the old inode number).
    writeFile(home.drive() / "other", 100);
    fs::rename(home.drive() / "other", home.drive() / "replaced.txt");

    desktop.answers = {0};
    desktop.onConfirm = [this] { fs::remove(home.drive() / "removed.txt"); };
    c.confirmAndTrash({fine, replaced, removed});
    ASSERT_TRUE(waitIdle(c));

    EXPECT_EQ(trashed(home.env.home),
              (std::set<std::string>{(home.drive() / "fine.txt").string()}));
    EXPECT_TRUE(fs::exists(home.drive() / "replaced.txt"));
    ASSERT_EQ(desktop.informed.size(), 1u);
    EXPECT_EQ(text(desktop.informed[0].message), "2 položky se nepodařilo přesunout do Koše");
    EXPECT_EQ(text(desktop.informed[0].informativeText),
              "• replaced.txt: Položka se od skenu změnila – klikněte na „Znovu porovnat“.\n"
              "• removed.txt: Položka už na disku není.\n\n"
              "Zkuste je smazat ve správci souborů (pravé tlačítko → Ukázat ve správci "
              "souborů).");
    EXPECT_FALSE(c.result()->get(fine));
    EXPECT_TRUE(c.result()->get(replaced));
}

TEST_F(DeleteListTest, ANameThatIsNotUtf8IsMovedByItsOwnBytes) {
    if (!haveTrashList())
        GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    // Linux allows any bytes in a name; a lossy conversion to text would make the listed file
    // into its twin.
    const fs::path listed = home.drive() / "x\xFF.bin";
    const fs::path twin = home.drive() / "x\xEF\xBF\xBD.bin";
    writeFile(listed, 300);
    writeFile(twin, 400);
    scan();
    const std::string id = idOf(listed);
    ASSERT_FALSE(id.empty());
    desktop.answers = {0};
    c.confirmAndTrash({id});
    ASSERT_TRUE(waitIdle(c));
    EXPECT_TRUE(desktop.informed.empty());
    EXPECT_FALSE(fs::exists(listed));
    EXPECT_TRUE(fs::exists(twin));
    EXPECT_TRUE(fs::exists(fs::path(home.env.home) / ".local/share/Trash/files" / "x\xFF.bin"));
    EXPECT_FALSE(c.result()->get(id));
}

TEST_F(DeleteListTest, ATrashRunShowsNoErrorOfAnEarlierScan) {
    if (!haveTrashList())
        GTEST_SKIP() << "trash-list (trash-cli) is not installed";
    writeFile(home.drive() / "old.bin", 500);
    scan();
    const std::string id = idOf(home.drive() / "old.bin");
    // A scan that fails keeps the result it had and shows its error.
    ::setenv("TESSARY_BRCTL", "/nonexistent/brctl", 1);
    c.setMode(ScanMode::dump);
    scanNow(c, true);
    ::unsetenv("TESSARY_BRCTL");
    ASSERT_TRUE(c.errorMessage());
    ASSERT_TRUE(c.result()->get(id));

    desktop.answers = {0};
    c.confirmAndTrash({id});
    EXPECT_TRUE(c.busy());
    EXPECT_FALSE(c.errorMessage()) << text(c.errorMessage().value_or(""));
    EXPECT_EQ(c.phase(), ScanController::Phase::trash);
    ASSERT_TRUE(waitIdle(c));
    EXPECT_FALSE(c.errorMessage());
    EXPECT_EQ(c.phase(), ScanController::Phase::done);
    EXPECT_FALSE(fs::exists(home.drive() / "old.bin"));
}

// The list on its own: stored at each change, each id once, rows only for ids the result holds,
// and a row inside another listed row counted once.
TEST_F(DeleteListTest, TheListAloneKeepsItsIdsAndCountsNestedRowsOnce) {
    writeFile(home.drive() / "A" / "f1", 3000);
    writeFile(home.drive() / "A" / "f2", 2000);
    writeFile(home.drive() / "B.bin", 100000);
    scan();
    const std::string a = idOf(home.drive() / "A");
    const std::string f1 = idOf(home.drive() / "A" / "f1");
    const std::string b = idOf(home.drive() / "B.bin");

    DeleteList list;
    EXPECT_TRUE(list.ids().empty());
    EXPECT_TRUE(list.add(f1));
    EXPECT_TRUE(list.add(a));
    EXPECT_FALSE(list.add(f1));
    EXPECT_TRUE(list.add("gone-id"));
    EXPECT_EQ(DeleteList().ids(), (DeleteList::IDList{f1, a, "gone-id"})) << "stored at once";

    DeleteList::Listing listing = list.listing(*c.result());
    ASSERT_EQ(listing.rows.size(), 2u) << "an id the result does not hold has no row";
    EXPECT_EQ(listing.rows[0].id, a);
    EXPECT_EQ(listing.savings.items, 1);
    EXPECT_EQ(listing.savings.nested, 1);
    EXPECT_EQ(listing.savings.qta, listing.rows[0].qta);
    EXPECT_TRUE(list.contains("gone-id"));

    list.add(b);
    list.removeAll({a, "gone-id"});
    EXPECT_EQ(list.ids(), (DeleteList::IDList{f1, b}));
    listing = list.listing(*c.result());
    EXPECT_EQ(listing.savings.items, 2);
    EXPECT_EQ(listing.savings.nested, 0);
    list.remove(f1);
    list.clear();
    EXPECT_TRUE(DeleteList().ids().empty());
}
