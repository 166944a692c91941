#pragma once

#include <QMainWindow>

namespace tessary {

class AppActions;
class ContentView;
class ScanController;

// The one window "Varnelo": the menus and, as its content, the main view. Each time it is put on
// screen without a result and with nothing running, it starts a scan from the cached database.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] AppActions& actions() { return *m_actions; }
    [[nodiscard]] ContentView& content() { return *m_content; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ScanController& m_c;
    AppActions* m_actions;
    ContentView* m_content;
};

} // namespace tessary
