#pragma once

#include <QUrl>

namespace tessary {

// The fixed addresses of the Help menu.
struct Links {
    Links() = delete;

    [[nodiscard]] static QUrl website() { return QUrl(QStringLiteral("https://varnelo.app")); }
    [[nodiscard]] static QUrl support() {
        return QUrl(QStringLiteral("mailto:podpora@varnelo.app?subject=Varnelo"));
    }
    [[nodiscard]] static QUrl privacy() {
        return QUrl(QStringLiteral("https://varnelo.app/ochrana-soukromi"));
    }
};

} // namespace tessary
