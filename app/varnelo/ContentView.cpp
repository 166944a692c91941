#include "ContentView.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

namespace tessary {

ContentView::ContentView(ScanController& c, AppActions&, QMainWindow* window)
    : QWidget(window), m_c(c) {
    auto* layout = new QVBoxLayout(this);
    auto* status = new QLabel(this);
    layout->addWidget(status);
    auto update = [this, status] {
        status->setText(ScanController::phaseLabel(m_c.phase()) + QStringLiteral(" · ") +
                        m_c.message());
    };
    connect(&c, &ScanController::phaseChanged, this, update);
    connect(&c, &ScanController::messageChanged, this, update);
    update();
}

} // namespace tessary
