#include "QtDesktopServices.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#ifdef __APPLE__
#include <QProcess>
#else
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace tessary {

namespace {

QMessageBox::Icon iconOf(DesktopServices::AlertStyle style) {
    switch (style) {
    case DesktopServices::AlertStyle::informational:
        return QMessageBox::Information;
    case DesktopServices::AlertStyle::warning:
        return QMessageBox::Warning;
    case DesktopServices::AlertStyle::critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

} // namespace

int QtDesktopServices::confirm(const Alert& alert) {
    QMessageBox box(iconOf(alert.style), QStringLiteral("Varnelo"), alert.message,
                    QMessageBox::NoButton, m_window);
    box.setInformativeText(alert.informativeText);
    std::vector<QAbstractButton*> buttons;
    for (int i = 0; i < alert.buttons.size(); ++i) {
        const QMessageBox::ButtonRole role =
            i == alert.destructive ? QMessageBox::DestructiveRole : QMessageBox::RejectRole;
        QPushButton* button = box.addButton(alert.buttons[i], role);
        if (i == 0)
            box.setDefaultButton(button);
        buttons.push_back(button);
    }
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    return -1;
}

void QtDesktopServices::inform(const Alert& alert) {
    QMessageBox box(iconOf(alert.style), QStringLiteral("Varnelo"), alert.message, QMessageBox::Ok,
                    m_window);
    box.setInformativeText(alert.informativeText);
    box.exec();
}

std::optional<QString> QtDesktopServices::askSavePath(const QString& name,
                                                      const QString& contentType) {
    const QString filter = contentType == QLatin1String("json")
                               ? QObject::tr("JSON (*.json)")
                               : QObject::tr("Text oddělený středníky (*.csv)");
    const QString path = QFileDialog::getSaveFileName(m_window, QObject::tr("Uložit export"),
                                                      QDir::home().filePath(name), filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<std::string> QtDesktopServices::askFolder() {
    const QString path = QFileDialog::getExistingDirectory(
        m_window, QObject::tr("Skenovat složku"), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (path.isEmpty())
        return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

std::optional<std::string> QtDesktopServices::askDumpFile() {
    const QString path = QFileDialog::getOpenFileName(
        m_window, QObject::tr("Otevřít výpis databáze"), QDir::homePath(),
        QObject::tr("Výpis databáze (*.txt *.dump);;Všechny soubory (*)"));
    if (path.isEmpty())
        return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

void QtDesktopServices::copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

bool QtDesktopServices::showInFileManager(const QString& path) {
#ifdef __APPLE__
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"), {QStringLiteral("-R"), path});
#else
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    // No file manager answers on the session bus: open the containing folder instead.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
#endif
}

bool QtDesktopServices::openFolder(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktopServices::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace tessary
