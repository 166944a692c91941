#pragma once

#include "TessaryApp/DesktopServices.hpp"

class QWidget;

namespace tessary {

// The desktop as the running application has it: Qt's message boxes and save dialog, the
// clipboard, the file manager through D-Bus (org.freedesktop.FileManager1, falling back to
// opening the containing folder) and the system's URL opener; on macOS the Finder.
class QtDesktopServices : public DesktopServices {
public:
    // Dialogs are shown over `window` once it is set.
    void setWindow(QWidget* window) { m_window = window; }

    int confirm(const Alert& alert) override;
    void inform(const Alert& alert) override;
    std::optional<QString> askSavePath(const QString& name, const QString& contentType) override;
    void copyToClipboard(const QString& text) override;
    bool showInFileManager(const QString& path) override;
    bool openFolder(const QString& path) override;
    bool openUrl(const QUrl& url) override;
    std::optional<std::string> askFolder() override;
    std::optional<std::string> askDumpFile() override;

private:
    QWidget* m_window = nullptr;
};

} // namespace tessary
