#include "XServer.hpp"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <stdexcept>
#include <sys/prctl.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace desktoptest {

namespace {

constexpr int startMs = 20000;

xcb_screen_t* firstScreen(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name),
        nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

} // namespace

QString XServer::missingReason() {
    for (const char* program : {"Xvfb", "openbox", "xdotool", "trash-list"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/deps installs it)").arg(program);
    return {};
}

std::unique_ptr<QProcess> XServer::child(const QString& program, const QStringList& args,
                                         const QStringList& env) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : env)
        environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process->setProcessEnvironment(environment);
    process->setProgram(program);
    process->setArguments(args);
    // Nothing the test starts outlives it, however the test ends.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

XServer::XServer(const QString& home) {
    // -displayfd: the server picks a free display number itself and writes it to standard
    // output once it accepts connections, so parallel runs never collide.
    m_xvfb = child(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1600x1000x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    m_xvfb->setProcessChannelMode(QProcess::SeparateChannels);
    m_xvfb->start();
    if (!m_xvfb->waitForStarted(startMs))
        throw std::runtime_error("Xvfb does not start");
    QDeadlineTimer deadline(startMs);
    while (!m_xvfb->canReadLine() && !deadline.hasExpired())
        if (!m_xvfb->waitForReadyRead(200) && m_xvfb->state() != QProcess::Running)
            throw std::runtime_error("Xvfb ended: " + m_xvfb->readAllStandardError().toStdString());
    const QString number = QString::fromLatin1(m_xvfb->readLine()).trimmed();
    if (number.isEmpty())
        throw std::runtime_error("Xvfb gave no display number");
    m_display = QStringLiteral(":") + number;
    qputenv("DISPLAY", m_display.toLatin1());

    m_connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_connection))
        throw std::runtime_error("cannot connect to Xvfb");

    m_wm = child(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")},
                 {QStringLiteral("HOME=") + home, QStringLiteral("XDG_CONFIG_HOME=") + home,
                  QStringLiteral("XDG_CACHE_HOME=") + home});
    m_wm->start();
    if (!m_wm->waitForStarted(startMs))
        throw std::runtime_error("openbox does not start");
    deadline.setRemainingTime(startMs);
    while (!windowManagerRuns()) {
        if (deadline.hasExpired() || m_wm->state() != QProcess::Running)
            throw std::runtime_error("openbox did not take over the screen");
        QThread::msleep(50);
    }
}

XServer::~XServer() {
    if (m_connection)
        xcb_disconnect(m_connection);
    for (QProcess* process : {m_wm.get(), m_xvfb.get()}) {
        if (!process)
            continue;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
}

// A window manager that follows the freedesktop.org hints announces itself on the root window.
bool XServer::windowManagerRuns() const {
    xcb_window_t root = firstScreen(m_connection)->root;
    const xcb_atom_t check = atom(m_connection, "_NET_SUPPORTING_WM_CHECK");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, root, check, XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    const bool found = reply && xcb_get_property_value_length(reply) > 0;
    std::free(reply);
    return found;
}

QImage XServer::capture(const QRect& area) const {
    xcb_screen_t* screen = firstScreen(m_connection);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root,
                      static_cast<int16_t>(area.x()), static_cast<int16_t>(area.y()),
                      static_cast<uint16_t>(area.width()), static_cast<uint16_t>(area.height()),
                      ~0U),
        nullptr);
    if (!reply)
        return {};
    // A 24-bit screen sends 32 bits per pixel, blue first: Qt's RGB32 on a little-endian machine.
    const QImage image(xcb_get_image_data(reply), area.width(), area.height(), area.width() * 4,
                       QImage::Format_RGB32);
    QImage copy = image.copy();
    std::free(reply);
    return copy;
}

} // namespace desktoptest
