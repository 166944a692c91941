#include "RunningApp.hpp"

#include "XServer.hpp"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QThread>

#include <stdexcept>

namespace desktoptest {

namespace {

constexpr int pollMs = 40;

void xdotool(const QStringList& args) {
    runToEnd(QStringLiteral("xdotool"), args);
}

QStringList at(QPoint point) {
    return {QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())};
}

} // namespace

QString runToEnd(const QString& program, const QStringList& args, const QStringList& env) {
    std::unique_ptr<QProcess> process = XServer::child(program, args, env);
    process->start();
    if (!process->waitForFinished(60000) || process->exitStatus() != QProcess::NormalExit ||
        process->exitCode() != 0)
        return {};
    return QString::fromUtf8(process->readAllStandardOutput());
}

RunningApp::RunningApp(const QString& program, const QStringList& args, const QStringList& env,
                       const QString& socket)
    : m_socket(socket) {
    m_process = XServer::child(program, args, env + QStringList{"VARNELO_TEST_HOOK=" + socket});
    m_process->start();
    if (!m_process->waitForStarted(20000))
        throw std::runtime_error("varnelo does not start");
    QDeadlineTimer deadline(30000);
    while (ask("state").isEmpty()) {
        if (deadline.hasExpired() || m_process->state() != QProcess::Running)
            throw std::runtime_error("varnelo does not answer: " + errors().toStdString());
        QThread::msleep(100);
    }
}

RunningApp::~RunningApp() {
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString RunningApp::errors() {
    return QString::fromUtf8(m_process->readAllStandardError());
}

// One connection per request: a request is rare, and a modal dialog's event loop serves it
// like any other.
QByteArray RunningApp::ask(const QByteArray& request) {
    QLocalSocket socket;
    socket.connectToServer(m_socket);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(5000))
        return {};
    QDeadlineTimer deadline(15000);
    while (!socket.canReadLine() && !deadline.hasExpired())
        socket.waitForReadyRead(200);
    return socket.readLine().trimmed();
}

QJsonObject RunningApp::state() {
    return QJsonDocument::fromJson(ask("state")).object();
}

QJsonObject RunningApp::waitFor(const Condition& condition, int ms, bool* met) {
    QDeadlineTimer deadline(ms);
    QJsonObject last;
    for (;;) {
        last = state();
        if (!last.isEmpty() && condition(last)) {
            if (met)
                *met = true;
            return last;
        }
        if (deadline.hasExpired()) {
            if (met)
                *met = false;
            return last;
        }
        QThread::msleep(pollMs);
    }
}

QRect RunningApp::grab(const QString& file) {
    const QJsonObject answer = QJsonDocument::fromJson(ask("grab " + file.toUtf8())).object();
    const QJsonArray place = answer.value("window").toArray();
    if (!answer.value("saved").toBool() || place.size() != 4)
        return {};
    return {place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt()};
}

void RunningApp::click(QPoint point, int button) {
    xdotool(at(point) + QStringList{QStringLiteral("click"), QString::number(button)});
}

void RunningApp::doubleClick(QPoint point) {
    xdotool(at(point) + QStringList{QStringLiteral("click"), QStringLiteral("--repeat"),
                                    QStringLiteral("2"), QStringLiteral("--delay"),
                                    QStringLiteral("60"), QStringLiteral("1")});
}

void RunningApp::key(const QString& keys) {
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

void RunningApp::type(const QString& text) {
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

void RunningApp::moveTo(QPoint point) {
    xdotool(at(point));
}

} // namespace desktoptest
