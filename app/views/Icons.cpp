#include "Icons.hpp"

#include "AppPalette.hpp"

#include <QHash>
#include <QPainter>
#include <QStandardPaths>

#include <array>
#include <utility>

namespace tessary {

namespace {

// Symbol name → freedesktop name. The Breeze theme has every one of these.
constexpr std::array<std::pair<std::string_view, const char*>, 29> symbolNames{{
    {"chevron.up", "go-up"},
    {"chevron.backward", "go-previous"},
    {"house", "go-home"},
    {"square.and.arrow.up", "document-export"},
    {"xmark.circle", "dialog-cancel"},
    {"arrow.clockwise", "view-refresh"},
    {"arrow.triangle.2.circlepath", "folder-sync"},
    {"magnifyingglass", "edit-find"},
    {"icloud", "cloudstatus"},
    {"icloud.and.arrow.down", "cloud-download"},
    {"icloud.and.arrow.up", "cloud-upload"},
    {"folder", "folder"},
    {"folder.fill", "folder"},
    {"link", "link"},
    {"doc.fill", "unknown"},
    {"trash", "edit-delete"},
    {"trash.slash.fill", "edit-delete-remove"},
    {"exclamationmark.triangle.fill", "dialog-warning"},
    {"film", "camera-video"},
    {"photo", "view-preview"},
    {"paintbrush.pointed", "draw-brush"},
    {"music.note", "media-album-track"},
    {"doc.text", "document-edit"},
    {"archivebox", "archive-extract"},
    {"questionmark.folder", "help-contents"},
    {"trash.circle", "trash-empty"},
    {"doc.on.doc", "edit-copy"},
    {"arrow.up.forward.app", "document-open"},
    {"finder", "system-file-manager"},
}};

constexpr std::pair<std::string_view, const char*> checkmark{"checkmark.circle", "dialog-ok"};

} // namespace

void Icons::useThemeWithFallback() {
    // Platforms without a desktop (offscreen, minimal) search only Qt's resources for themes:
    // add the system's icon folders.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (const QString icons = data + QStringLiteral("/icons"); !paths.contains(icons))
            paths << icons;
    QIcon::setThemeSearchPaths(paths);
    // Qt reports "hicolor" or nothing when the platform names no theme of its own.
    const QString current = QIcon::themeName();
    const bool usable = !current.isEmpty() && current != QLatin1String("hicolor") &&
                        !QIcon::fromTheme(QStringLiteral("go-home")).isNull();
    if (usable)
        return;
    QIcon::setThemeName(AppPalette::isDark() ? QStringLiteral("breeze-dark")
                                             : QStringLiteral("breeze"));
}

void Icons::followPalette() {
    const QString current = QIcon::themeName();
    if (current != QLatin1String("breeze") && current != QLatin1String("breeze-dark"))
        return;
    const QString wanted =
        AppPalette::isDark() ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
    if (wanted != current)
        QIcon::setThemeName(wanted);
}

QString Icons::themeName(std::string_view symbol) {
    if (symbol == checkmark.first)
        return QString::fromLatin1(checkmark.second);
    for (const auto& [name, theme] : symbolNames)
        if (name == symbol)
            return QString::fromLatin1(theme);
    return {};
}

QIcon Icons::icon(std::string_view symbol) {
    return QIcon::fromTheme(themeName(symbol));
}

std::vector<std::string_view> Icons::symbols() {
    std::vector<std::string_view> all;
    for (const auto& entry : symbolNames)
        all.push_back(entry.first);
    all.push_back(checkmark.first);
    return all;
}

QPixmap Icons::tinted(std::string_view symbol, const QColor& color, int size,
                      qreal devicePixelRatio) {
    static QHash<QString, QPixmap> cache;
    const QString key = QString::fromUtf8(symbol.data(), qsizetype(symbol.size())) +
                        QLatin1Char('|') + color.name(QColor::HexArgb) + QLatin1Char('|') +
                        QString::number(size) + QLatin1Char('|') +
                        QString::number(devicePixelRatio) + QLatin1Char('|') + QIcon::themeName();
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;
    QPixmap pixmap = icon(symbol).pixmap(QSize(size, size), devicePixelRatio);
    if (!pixmap.isNull()) {
        // Keep the shape, replace the colours: the icon becomes a filled silhouette.
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
    }
    cache.insert(key, pixmap);
    return pixmap;
}

} // namespace tessary
