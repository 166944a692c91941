#include "TessaryApp/AppSettings.hpp"

#include <QSettings>
#include <QStringList>

#include <unordered_set>

namespace tessary {

namespace {

QSettings settings() {
    return QSettings(QStringLiteral("Varnelo"), QStringLiteral("Varnelo"));
}

} // namespace

std::vector<std::string> AppSettings::deleteList() {
    std::vector<std::string> ids;
    const QStringList stored = settings().value(deleteListKey).toStringList();
    // The file may have been edited by hand or written by another version: an id is kept once,
    // in its first place, and an empty one names nothing.
    std::unordered_set<std::string> seen;
    for (const QString& id : stored) {
        std::string text = id.toStdString();
        if (!text.empty() && seen.insert(text).second)
            ids.push_back(std::move(text));
    }
    return ids;
}

void AppSettings::setDeleteList(const std::vector<std::string>& ids) {
    QStringList list;
    for (const std::string& id : ids)
        list.push_back(QString::fromStdString(id));
    QSettings s = settings();
    s.setValue(deleteListKey, list);
    s.sync();
}

bool AppSettings::showSummaryAfterScan() {
    return settings().value(showSummaryKey, true).toBool();
}

void AppSettings::setShowSummaryAfterScan(bool show) {
    QSettings s = settings();
    s.setValue(showSummaryKey, show);
    s.sync();
}

} // namespace tessary
