#include "MainWindow.hpp"

#include "AppActions.hpp"
#include "ContentView.hpp"
#include "Icons.hpp"
#include "ScanSummaryView.hpp"
#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/ScanController.hpp"
#include "UsageBarView.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>

namespace tessary {

MainWindow::MainWindow(ScanController& c, QWidget* parent)
    : QMainWindow(parent), m_c(c), m_actions(new AppActions(c, this)) {
    // Before any icon is looked up.
    Icons::useThemeWithFallback();
    setWindowTitle(QStringLiteral("Varnelo"));
    setAcceptDrops(true);
    setMinimumSize(960, 600);
    resize(1320, 820);
    m_actions->fillMenuBar(menuBar());
    // The actions' shortcuts work in the whole window, also where no menu bar is shown.
    addActions(findChildren<QAction*>());
    m_content = new ContentView(c, *m_actions, this);
    setCentralWidget(m_content);
    m_content->setUsageBar(new UsageBarView(c));
    m_content->setSummaryView(new ScanSummaryView(c));
    connect(&c, &ScanController::sourceChanged, this, &MainWindow::updateTitle);
    updateTitle();
}

void MainWindow::updateTitle() {
    const ScanSource source = m_c.source();
    if (source.kind == ScanSource::Kind::iCloudDrive)
        setWindowTitle(QStringLiteral("Varnelo"));
    else
        setWindowTitle(tr("%1 — Varnelo").arg(source.title()));
}

std::vector<std::string> MainWindow::droppedFolders(const QMimeData* data) {
    std::vector<std::string> folders;
    if (!data || !data->hasUrls())
        return folders;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!url.isLocalFile() || !QFileInfo(path).isDir())
            return {};
        folders.push_back(QFile::encodeName(path).toStdString());
    }
    return folders;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_c.busy() && !droppedFolders(event->mimeData()).empty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::vector<std::string> folders = droppedFolders(event->mimeData());
    if (folders.empty() || m_c.busy())
        return;
    event->acceptProposedAction();
    m_c.openSource(ScanSource::folders(folders));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        Icons::followPalette();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_c.result() || m_c.busy())
        return;
    m_c.startScan(false);
    // The app starts on the iCloud Drive; a folder or dump looked at last time is offered.
    const std::optional<ScanSource> last = AppSettings::lastSource();
    if (last && last->kind != ScanSource::Kind::iCloudDrive && last->isAvailable())
        m_c.showToast(
            tr("Minule jste prohlíželi „%1“. Najdete to v menu Sken → Nedávné.").arg(last->title()),
            6);
}

} // namespace tessary
