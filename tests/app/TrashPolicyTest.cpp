// The rules of the Trash on their own: hand-made items over real folders in a temporary home.
#include "ControllerFixture.hpp"

#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/Item.hpp"

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

Item resolvedItem(const std::string& id, const std::string& path) {
    Item item(id, "parent", "name", ItemKind::dir, 1);
    item.setPath(path);
    item.resolved = true;
    return item;
}

} // namespace

TEST(TrashPolicy, ProtectedFoldersAreRefusedHoweverTheirPathIsWritten) {
    LocalHome home;
    const std::string h = home.env.home;
    for (const char* name : {"Documents", "Desktop", "Downloads"})
        fs::create_directories(fs::path(h) / name);
    fs::create_directories(home.drive() / "Documents");
    fs::create_directories(home.drive() / "Desktop");
    fs::create_directory_symlink(h, fs::path(h) / "Alias");
    writeFile(fs::path(h) / "Documents" / "letter.txt", 10);
    const TrashPolicy policy(home.env, nullptr);

    const std::string system = "Systémovou složku nelze smazat.";
    for (const std::string& path :
         {h + "/Documents", h + "/Documents/", h + "//Downloads", h + "/Alias/Documents", h,
          h + "/", home.env.mobileDocs, home.env.cloudDocsDir + "/",
          home.env.cloudDocsDir + "/Documents", home.env.cloudDocsDir + "/Desktop"})
        EXPECT_EQ(text(policy.reason(resolvedItem("x", path)).value_or("")), system) << path;
    // The link itself is not the folder it leads to; a file inside the folder may go.
    EXPECT_FALSE(policy.reason(resolvedItem("x", h + "/Documents/letter.txt")));
    EXPECT_FALSE(policy.reason(resolvedItem("x", h + "/Alias")));

    EXPECT_EQ(text(policy.reason(resolvedItem("root[1]", h + "/x")).value_or("")),
              "Kořen kontejneru nelze smazat.");
    EXPECT_EQ(text(policy.reason(resolvedItem("orphans[1]", h + "/x")).value_or("")),
              "Kořen kontejneru nelze smazat.");
    Item unresolved = resolvedItem("x", h + "/Documents/letter.txt");
    unresolved.resolved = false;
    EXPECT_EQ(text(policy.reason(unresolved).value_or("")),
              "Jméno je maskované – soubor se na disku nepodařilo najít. Smažte ho ve správci "
              "souborů nebo na icloud.com.");
    Item ambiguous = resolvedItem("x", h + "/Documents/letter.txt");
    ambiguous.ambiguous = true;
    EXPECT_EQ(text(policy.reason(ambiguous).value_or("")),
              "Přiřazení jména je jen odhad – kvůli bezpečnosti ho smažte ve správci souborů.");
    testsupport::TempDir outside("app-outside");
    writeFile(outside / "f", 1);
    EXPECT_EQ(text(policy.reason(resolvedItem("x", (outside / "f").string())).value_or("")),
              "Položka leží mimo vaši domovskou složku.");
    EXPECT_EQ(text(policy.reason(resolvedItem("x", h + "/gone.txt")).value_or("")),
              "Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
              "porovnat“.");
}

// A policy looks the protected folders up once; the item itself is looked at on each question.
TEST(TrashPolicy, SeesTheProtectedFoldersAsTheyWereAndTheItemAsItIs) {
    LocalHome home;
    const std::string h = home.env.home;
    fs::create_directories(fs::path(h) / "Work");
    fs::create_directory_symlink(fs::path(h) / "Work", fs::path(h) / "Link");
    const TrashPolicy before(home.env, nullptr);
    // Documents does not exist yet: only its own spelling is refused.
    fs::create_directories(fs::path(h) / "Documents");
    fs::create_directory_symlink(fs::path(h) / "Documents", fs::path(h) / "Docs");
    EXPECT_TRUE(before.isProtectedFolder(h + "/Documents/"));
    EXPECT_FALSE(before.isProtectedFolder(h + "/Docs/"));
    EXPECT_TRUE(TrashPolicy(home.env, nullptr).isProtectedFolder(h + "/Docs/"));
    EXPECT_FALSE(before.isProtectedFolder(h + "/Link/"));

    writeFile(fs::path(h) / "Work" / "a.txt", 5);
    const Item file = resolvedItem("a", h + "/Work/a.txt");
    TrashVerdict verdict = before.verdict(file);
    EXPECT_TRUE(verdict.allowed);
    EXPECT_FALSE(verdict.reason);
    EXPECT_FALSE(verdict.app) << "a disk-only result knows no app containers";
    EXPECT_FALSE(verdict.listed) << "the policy does not know the list";
    fs::remove(fs::path(h) / "Work" / "a.txt");
    verdict = before.verdict(file);
    EXPECT_FALSE(verdict.allowed);
    EXPECT_EQ(text(verdict.reason.value_or("")),
              "Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
              "porovnat“.");
}
