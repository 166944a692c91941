#pragma once

#include <QMainWindow>

#include <string>
#include <vector>

class QMimeData;

namespace tessary {

class AppActions;
class ContentView;
class ScanController;

// The one window "Varnelo": the menus and, as its content, the main view. Each time it is put on
// screen without a result and with nothing running, it starts a scan of the iCloud Drive from the
// cached database. Its title names the source of the shown result unless that is the iCloud
// Drive; folders dropped on it are scanned.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] AppActions& actions() { return *m_actions; }
    [[nodiscard]] ContentView& content() { return *m_content; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void updateTitle();
    // The local folders a drag carries; empty when it carries anything else.
    [[nodiscard]] static std::vector<std::string> droppedFolders(const QMimeData* data);

    ScanController& m_c;
    AppActions* m_actions;
    ContentView* m_content;
};

} // namespace tessary
