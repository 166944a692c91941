#pragma once

#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace tessary {

class MainWindow;
class ScanController;

// For tests only: a control line through which the desktop journey asks a running application
// what its window shows and has it save the widgets' own picture of a window, to compare with
// what the X server shows. It exists only when the environment variable VARNELO_TEST_HOOK names
// a local socket path; normal runs never listen anywhere.
//
// Requests are single lines, each answered by one line of JSON:
//   "state"        what the window shows (see TestHook.cpp)
//   "grab FILE"    saves the picture of the active window (a modal dialog, else the main
//                  window) as PNG to FILE and answers its place on the screen
class TestHook : public QObject {
public:
    static constexpr const char* variable = "VARNELO_TEST_HOOK";

    // Starts listening when the variable is set; the hook lives as a child of `window`.
    static void installFromEnvironment(ScanController& c, MainWindow& window);

private:
    TestHook(ScanController& c, MainWindow& window, const QString& path);
    void serve(QLocalSocket* socket);
    [[nodiscard]] QByteArray answer(const QByteArray& request);

    ScanController& m_c;
    MainWindow& m_window;
    QLocalServer* m_server;
};

} // namespace tessary
