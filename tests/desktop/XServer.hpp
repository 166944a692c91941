#pragma once
// A private X server for the desktop journey: Xvfb on a free display number with the openbox
// window manager on it. Both are children of the test that end with it on every way out (also
// when the test itself is killed), and the screen is read straight from the server.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

struct xcb_connection_t;

namespace desktoptest {

class XServer {
public:
    // Why no server can be started here (the programs are missing), or empty when it can.
    [[nodiscard]] static QString missingReason();

    // Starts Xvfb and the window manager; throws std::runtime_error when either fails.
    // `home` is a scratch folder for the window manager's own files.
    explicit XServer(const QString& home);
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();

    // ":N", also set as DISPLAY of this process so that every child finds the server.
    [[nodiscard]] const QString& display() const { return m_display; }
    // What the server shows in `area` of the screen.
    [[nodiscard]] QImage capture(const QRect& area) const;

    // A child process that ends with the test process, with DISPLAY pointing at the server.
    [[nodiscard]] static std::unique_ptr<QProcess>
    child(const QString& program, const QStringList& args, const QStringList& env = {});

private:
    [[nodiscard]] bool windowManagerRuns() const;

    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_wm;
    QString m_display;
    xcb_connection_t* m_connection = nullptr;
};

} // namespace desktoptest
