#pragma once
// The real `varnelo` executable on the private X server: started with the test hook, asked what
// it shows through that hook, and driven by real input events (xdotool, which sends them through
// the server's XTEST extension, as a keyboard and a mouse would).

#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace desktoptest {

class RunningApp {
public:
    using Condition = std::function<bool(const QJsonObject&)>;

    // Starts `program` with `args` and the environment entries `env` (NAME=VALUE) plus the hook
    // on `socket`; waits until the hook answers. Throws std::runtime_error when it does not.
    RunningApp(const QString& program, const QStringList& args, const QStringList& env,
               const QString& socket);
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;
    // Ends the application (SIGTERM, then SIGKILL).
    ~RunningApp();

    // What the window shows now (see app/views/TestHook.cpp for the fields).
    [[nodiscard]] QJsonObject state();
    // Polls the state until `condition` holds; the last state either way. `met` tells which.
    QJsonObject waitFor(const Condition& condition, int ms, bool* met = nullptr);
    // Has the application save the widgets' picture of its active window to `file`; the
    // window's place on the screen, empty when it failed.
    [[nodiscard]] QRect grab(const QString& file);
    // What the application wrote on its standard error.
    [[nodiscard]] QString errors();

    // Input through the X server.
    static void click(QPoint at, int button = 1);
    static void doubleClick(QPoint at);
    // Keys in xdotool's names, e.g. "ctrl+i", "Escape".
    static void key(const QString& keys);
    static void type(const QString& text);
    static void moveTo(QPoint at);

private:
    [[nodiscard]] QByteArray ask(const QByteArray& request);

    std::unique_ptr<QProcess> m_process;
    QString m_socket;
};

// Runs a program to its end; its standard output, or empty on failure.
QString runToEnd(const QString& program, const QStringList& args, const QStringList& env = {});

} // namespace desktoptest
