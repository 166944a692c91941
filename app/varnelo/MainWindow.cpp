#include "MainWindow.hpp"

#include "AppActions.hpp"
#include "ContentView.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QMenuBar>

namespace tessary {

MainWindow::MainWindow(ScanController& c, QWidget* parent)
    : QMainWindow(parent), m_c(c), m_actions(new AppActions(c, this)) {
    setWindowTitle(QStringLiteral("Varnelo"));
    setMinimumSize(960, 600);
    resize(1320, 820);
    m_actions->fillMenuBar(menuBar());
    // The actions' shortcuts work in the whole window, also where no menu bar is shown.
    addActions(findChildren<QAction*>());
    setCentralWidget(new ContentView(c, *m_actions, this));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_c.result() && !m_c.busy())
        m_c.startScan(false);
}

} // namespace tessary
