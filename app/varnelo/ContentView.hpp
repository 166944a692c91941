#pragma once

#include <QWidget>

class QMainWindow;

namespace tessary {

class AppActions;
class ScanController;

// The window's content (for now the status line of the controller).
class ContentView : public QWidget {
    Q_OBJECT

public:
    ContentView(ScanController& c, AppActions& actions, QMainWindow* window);

private:
    ScanController& m_c;
};

} // namespace tessary
