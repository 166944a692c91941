// Freeing downloaded documents from this Mac in the window's controller, on a generated world
// with the real brctl stand-in.
#include "ControllerFixture.hpp"

#include "TessaryApp/DeleteList.hpp"
#include "TessaryCore/Eviction.hpp"
#include "TessaryCore/Item.hpp"

#include <QSignalSpy>

#include <sys/xattr.h>

using namespace tessary;
using namespace apptest;

namespace {

bool hasMark(const std::string& path) {
    char value[8];
    return ::lgetxattr(path.c_str(), "user.tessary.dataless", value, sizeof value) >= 0;
}

// The first folder row that holds something downloaded, and the first placeholder row.
struct Picks {
    std::optional<NodeDTO> folder;
    std::optional<NodeDTO> placeholder;
};

Picks pick(const ScanController::Rows& rows) {
    Picks p;
    for (const NodeDTO& row : rows) {
        if (!p.folder && row.isDir() && row.local > 0 && row.docs >= 3)
            p.folder = row;
        if (!p.placeholder && !row.isDir() && row.dataless == std::optional<bool>(true))
            p.placeholder = row;
    }
    return p;
}

} // namespace

// A folder is freed after one confirmation: its rows change at once (nothing local, more in the
// cloud) and equal the rows a new comparison with the disk makes; the files carry the mark.
TEST(EvictInWindow, AFreedFolderChangesItsRowsAtOnceAndAgreesWithARescan) {
    SettingsSandbox settings;
    SimWorld world(21);
    ScriptedDesktop desktop;
    ScanController c(&desktop);
    c.setEnvironment(world.env);
    scanNow(c, true);
    ASSERT_TRUE(c.result());

    Picks picks = pick(c.children());
    for (const NodeDTO& row : c.children())
        if (!picks.placeholder && row.isDir()) {
            c.navigate(row.id, true);
            picks.placeholder = pick(c.children()).placeholder;
            c.goHome();
        }
    ASSERT_TRUE(picks.folder);
    ASSERT_TRUE(picks.placeholder);
    const NodeDTO folder = *picks.folder;
    EXPECT_EQ(c.evictVerdict(folder.id), std::nullopt);
    EXPECT_EQ(text(c.evictVerdict(picks.placeholder->id).value_or("")), Eviction::onlyInCloud);

    // The delete list says what freeing it from this Mac would free instead.
    c.addToDeleteList(folder.id);
    const std::int64_t evictable = c.deleteSavings().evictable;
    EXPECT_GT(evictable, 0);
    EXPECT_LE(evictable, folder.local);

    // Cancelled: nothing happens.
    c.confirmAndEvict({folder.id});
    ASSERT_EQ(desktop.alerts.size(), 1u);
    EXPECT_FALSE(c.busy());
    const auto& alert = desktop.alerts[0];
    EXPECT_EQ(alert.buttons, (QStringList{"Uvolnit z tohoto Macu", "Zrušit"}));
    EXPECT_TRUE(text(alert.message).starts_with("Uvolnit ")) << text(alert.message);
    EXPECT_TRUE(alert.informativeText.contains(
        "Soubory zůstanou v iCloudu a stáhnou se znovu, až je otevřete."));
    EXPECT_TRUE(alert.informativeText.contains("; v iCloudu zůstane vše."));

    std::vector<std::pair<std::string, std::string>> chosen; // id, path
    for (const Item* doc :
         Eviction::select({c.result()->get(folder.id)}, *c.result(), world.env).documents)
        chosen.emplace_back(std::string(doc->id()), doc->path().value_or(""));
    ASSERT_FALSE(chosen.empty());

    QSignalSpy finished(&c, &ScanController::operationFinished);
    desktop.answers = {0};
    c.confirmAndEvict({folder.id});
    EXPECT_TRUE(c.busy());
    EXPECT_EQ(c.phase(), ScanController::Phase::evict);
    ASSERT_TRUE(waitIdle(c));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].value<ScanController::Operation>(), ScanController::Operation::evict);
    EXPECT_EQ(finished[0][1].value<ScanController::Outcome>(), ScanController::Outcome::done);
    EXPECT_TRUE(text(c.toast().value_or("")).starts_with("Uvolněno z tohoto Macu: "))
        << text(c.toast().value_or(""));

    // The rows changed without a new scan.
    NodeDTO freed;
    for (const NodeDTO& row : c.children())
        if (row.id == folder.id)
            freed = row;
    // What stays is what had to stay (a package, for one).
    EXPECT_EQ(freed.local, folder.local - evictable);
    EXPECT_GT(freed.cloud, folder.cloud);
    EXPECT_EQ(freed.qta, folder.qta) << "nothing left iCloud";
    EXPECT_EQ(text(c.evictVerdict(folder.id).value_or("")), Eviction::nothingDownloaded);
    EXPECT_EQ(c.deleteSavings().evictable, 0);

    // Every document it chose is a placeholder now, on the disk too.
    for (const auto& [id, path] : chosen) {
        EXPECT_TRUE(hasMark(path)) << path;
        EXPECT_TRUE(c.result()->get(id)->dataless) << path;
    }
    c.navigate(folder.id, true);
    const ScanController::Rows inside = c.children();
    const ScanController::Rows top = [&] {
        c.goHome();
        return c.children();
    }();

    // A new comparison with the disk (the same database) shows the same rows.
    scanNow(c, false);
    EXPECT_EQ(c.children(), top);
    c.navigate(folder.id, true);
    EXPECT_EQ(c.children(), inside);
}
