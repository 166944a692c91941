#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <string>

namespace tessary {

// Everything the controller asks of the desktop: alerts, the save and open dialogs, the
// clipboard, the file manager and the URL opener. The application gives it the real dialogs and
// calls; tests give it a scripted implementation that records each call and answers the dialogs.
// Called on the main thread only; the dialogs are modal.
class DesktopServices {
public:
    enum class AlertStyle { informational, warning, critical };

    struct Alert {
        AlertStyle style = AlertStyle::warning;
        QString message;
        QString informativeText;
        // In the order they are shown; the first is the default.
        QStringList buttons;
        // Index of the button that destroys something (shown as such), or -1.
        int destructive = -1;
    };

    virtual ~DesktopServices() = default;

    // Shows the alert and returns the index of the chosen button, -1 when it was closed
    // otherwise.
    virtual int confirm(const Alert& alert) = 0;
    // Shows an alert with a single OK button.
    virtual void inform(const Alert& alert) = 0;
    // Asks where to save, proposing `name`; `contentType` is "json" or "csv". None when the
    // user cancelled.
    virtual std::optional<QString> askSavePath(const QString& name, const QString& contentType) = 0;
    virtual void copyToClipboard(const QString& text) = 0;
    // Selects the file or folder in a file-manager window. False when no file manager
    // answered (nothing appeared).
    virtual bool showInFileManager(const QString& path) = 0;
    // Opens the folder itself in the file manager; false when nothing opened it.
    virtual bool openFolder(const QString& path) = 0;
    // False when no program took the address.
    virtual bool openUrl(const QUrl& url) = 0;
    // Asks for a folder to scan with the platform's folder dialog; its path as the system's raw
    // bytes, none when the user cancelled (or the desktop has no dialog).
    virtual std::optional<std::string> askFolder() { return std::nullopt; }
    // Asks for a database dump file to open; as askFolder.
    virtual std::optional<std::string> askDumpFile() { return std::nullopt; }
};

} // namespace tessary
