#include "MainWindow.hpp"

#include "AppActions.hpp"
#include "ContentView.hpp"
#include "Icons.hpp"
#include "ScanSummaryView.hpp"
#include "TessaryApp/ScanController.hpp"
#include "UsageBarView.hpp"

#include <QEvent>
#include <QMenuBar>

namespace tessary {

MainWindow::MainWindow(ScanController& c, QWidget* parent)
    : QMainWindow(parent), m_c(c), m_actions(new AppActions(c, this)) {
    // Before any icon is looked up.
    Icons::useThemeWithFallback();
    setWindowTitle(QStringLiteral("Varnelo"));
    setMinimumSize(960, 600);
    resize(1320, 820);
    m_actions->fillMenuBar(menuBar());
    // The actions' shortcuts work in the whole window, also where no menu bar is shown.
    addActions(findChildren<QAction*>());
    m_content = new ContentView(c, *m_actions, this);
    setCentralWidget(m_content);
    m_content->setUsageBar(new UsageBarView(c));
    m_content->setSummaryView(new ScanSummaryView(c));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        Icons::followPalette();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_c.result() && !m_c.busy())
        m_c.startScan(false);
}

} // namespace tessary
