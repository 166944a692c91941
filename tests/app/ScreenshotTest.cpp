// Pictures of the main window in its typical states, written to the build folder for a person
// to look at (the other tests check texts and states, not pixels). Each picture must be written
// and not be blank.
#include "WindowFixture.hpp"

#include "AppPalette.hpp"
#include "Badge.hpp"
#include "BadgePopover.hpp"
#include "FileListView.hpp"
#include "FolderTableView.hpp"
#include "Icons.hpp"
#include "ListingTable.hpp"
#include "MainToolBar.hpp"
#include "NameCell.hpp"
#include "UsageBarView.hpp"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyle>

#include <sys/xattr.h>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

using View = ScanController::View;

QString shotPath(const QString& name) {
    const QString dir = QStringLiteral(VARNELO_SCREENSHOTS);
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name + QStringLiteral(".png");
}

// Lets layouts, fades and repaints settle.
void settle() {
    QTest::qWait(350);
}

void save(QPixmap picture, const QString& name) {
    const QImage image = picture.toImage();
    ASSERT_FALSE(image.isNull()) << text(name);
    // Not one colour all over.
    const QRgb corner = image.pixel(image.width() / 2, image.height() / 2);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; y += 7)
        for (int x = 0; x < image.width() && !varied; x += 7)
            varied = image.pixel(x, y) != corner;
    EXPECT_TRUE(varied) << text(name) << " is blank";
    EXPECT_TRUE(picture.save(shotPath(name), "PNG")) << text(shotPath(name));
}

// The window with a popup (menu or popover) drawn where it stands over it.
QPixmap withPopup(QWidget& window, QWidget& popup) {
    QPixmap picture = window.grab();
    QPainter painter(&picture);
    painter.drawPixmap(window.mapFromGlobal(popup.pos()), popup.grab());
    return picture;
}

class Screenshots : public WindowTest {
protected:
    void showWindow() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        c.setShowSummary(false);
        settle();
    }
};

} // namespace

TEST_F(Screenshots, BeforeAndDuringAScan) {
    // Not shown: a shown window would start its scan at once.
    save(window.grab(), "01-before-scan");
    SimWorld world(1, "3000");
    c.setEnvironment(world.env);
    ::setenv("VARNELO_SIM_SLOW_MS", "400", 1);
    c.startScan(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return c.phase() == ScanController::Phase::dump && c.done() > 0; }, 60000));
    save(window.grab(), "02-during-scan");
    c.stop();
    const bool ended = waitIdle(c);
    // Only now: the scan's thread reads the environment when it starts the stand-in.
    ::unsetenv("VARNELO_SIM_SLOW_MS");
    ASSERT_TRUE(ended);
}

TEST_F(Screenshots, TheDemoWorld) {
    SimWorld world(1, "3000");
    scanWorld(world);
    showWindow();
    const QPixmap tree = window.grab();
    save(tree, "03-tree");

    c.goHome();
    c.loadTopFiles(ScanController::listingRowLimit);
    settle();
    save(window.grab(), "05-largest-files");

    c.goHome();
    QLineEdit* field = content().toolBar().searchField();
    field->setFocus();
    QTest::keyClicks(field, "koleda");
    QTest::keyClick(field, Qt::Key_Return);
    settle();
    save(window.grab(), "06-search-koleda");
    field->clear();

    int added = 0;
    for (const NodeDTO& row : c.children())
        if (!c.trashReason(row.id) && added < 3) {
            c.addToDeleteList(row.id);
            ++added;
        }
    c.loadTopFiles(ScanController::listingRowLimit);
    for (const NodeDTO& row : c.topFiles())
        if (!c.trashReason(row.id) && added < 6) {
            c.addToDeleteList(row.id);
            ++added;
        }
    c.show(View::deleteList);
    settle();
    save(window.grab(), "07-delete-list");

    c.goHome();
    settle();
    ListingTable& table = content().folderTable().table();
    const NodeDTO* row = table.nodeAtRow(1);
    ASSERT_TRUE(row);
    const QRect rowRect = table.visualRect(table.shownModel().index(1, 0));
    QMenu* menu = table.openMenu(*row, table.viewport()->mapToGlobal(rowRect.center()));
    settle();
    save(withPopup(window, *menu), "08-context-menu");
    menu->close();

    c.loadTopFiles(ScanController::listingRowLimit);
    settle();
    ListingTable& top = content().fileList(View::top).table();
    for (int r = 0; r < top.shownModel().rowCount(); ++r) {
        const QModelIndex index = top.shownModel().index(r, 0);
        if (Badge::forNode(*top.nodeAtRow(r), false).empty())
            continue;
        top.scrollTo(index);
        const auto layout = top.nameCell().layoutFor(index, top.visualRect(index));
        QTest::mouseClick(top.viewport(), Qt::LeftButton, {}, layout.badges.front().center());
        break;
    }
    ASSERT_TRUE(top.popover().isVisible());
    settle();
    save(withPopup(window, top.popover()), "09-badge-popover");
    top.popover().hide();
}

namespace {

// The first folder of `rows` whose breakdown holds a folder, with that folder.
std::optional<std::pair<NodeDTO, NodeDTO>> folderWithSubfolder(ScanController& c,
                                                               const ScanController::Rows& rows) {
    for (const NodeDTO& row : rows) {
        if (!row.isDir())
            continue;
        const auto parts = c.breakdown(row.id);
        if (!parts)
            continue;
        for (const NodeDTO& child : parts->items)
            if (child.isDir() && c.breakdown(child.id) && !c.breakdown(child.id)->items.empty())
                return std::pair(row, child);
    }
    return std::nullopt;
}

} // namespace

TEST_F(Screenshots, TheUsageBarAndTheSummary) {
    SimWorld world(1, "3000");
    scanWorld(world);
    showWindow();
    auto* bar = window.findChild<UsageBarView*>();
    ASSERT_TRUE(bar);
    const auto open = folderWithSubfolder(c, c.children());
    ASSERT_TRUE(open) << "the demo world has nested folders";
    const auto ranks = c.colorRank();
    c.toggleBarFocus(open->first.id, 0, ranks.at(open->first.id));
    c.toggleBarFocus(open->second.id, 1, 0);
    settle();
    ASSERT_EQ(c.barPath().size(), 2u);
    const auto point = bar->segmentCenter(c.children().at(0).id);
    ASSERT_TRUE(point);
    QTest::mouseMove(bar, *point);
    settle();
    save(bar->grab(), "11-usage-bar-two-levels");
    save(window.grab(), "12-window-with-usage-bar");

    c.loadTopFiles(ScanController::listingRowLimit);
    settle();
    save(bar->grab(), "13-usage-bar-largest-files");

    c.goHome();
    c.setShowSummary(true);
    settle();
    save(window.grab(), "14-summary");
}

TEST_F(Screenshots, ACloudOnlyFolder) {
    LocalHome home;
    writeFile(home.drive() / "Dokumenty/zprava.pdf", 300000);
    const fs::path folder = home.drive() / "Fotky z iPhonu";
    fs::create_directories(folder);
    if (::setxattr(folder.c_str(), "user.tessary.dataless", "1", 1, 0) != 0)
        GTEST_SKIP() << "the temporary folder takes no extended attributes";
    scanLocal(home);
    showWindow();
    const auto cloudOnly =
        findNode([](const NodeDTO& n, const Item&) { return n.name == "Fotky z iPhonu"; });
    ASSERT_TRUE(cloudOnly);
    c.navigate(cloudOnly->id, true);
    settle();
    save(window.grab(), "04-cloud-only-folder");
}

TEST(DarkScreenshot, TheTreeInTheDarkAppearance) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    const QPalette lightPalette = QApplication::palette();
    const QString lightStyle = QApplication::style()->name();
    const QString lightTheme = QIcon::themeName();
    AppPalette::applyDark(*app);
    QIcon::setThemeName(QString());
    {
        SettingsSandbox settings;
        ScanController c;
        MainWindow window(c);
        window.resize(1320, 820);
        SimWorld world(1, "3000");
        c.setEnvironment(world.env);
        scanNow(c);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        c.setShowSummary(false);
        settle();
        save(window.grab(), "10-tree-dark");
        c.setShowSummary(true);
        settle();
        save(window.grab(), "15-summary-dark");
    }
    QApplication::setStyle(lightStyle);
    QApplication::setPalette(lightPalette);
    QIcon::setThemeName(lightTheme);
}
