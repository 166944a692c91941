#pragma once

#include <QUrl>

namespace tessary {

// The fixed addresses of the Help menu and the help texts.
struct Links {
    Links() = delete;

    [[nodiscard]] static QUrl website() { return QUrl(QStringLiteral("https://varnelo.app")); }
    [[nodiscard]] static QUrl support() {
        return QUrl(QStringLiteral("mailto:podpora@varnelo.app?subject=Varnelo"));
    }
    // The iCloud web site as the help texts name it.
    [[nodiscard]] static QString icloudWeb() { return QStringLiteral("icloud.com"); }
    [[nodiscard]] static QUrl privacy() {
        return QUrl(QStringLiteral("https://varnelo.app/ochrana-soukromi"));
    }
};

} // namespace tessary
