#include "TessaryApp/AppSettings.hpp"

#include <QSettings>
#include <QStringList>

namespace tessary {

namespace {

QSettings settings() {
    return QSettings(QStringLiteral("Varnelo"), QStringLiteral("Varnelo"));
}

} // namespace

std::vector<std::string> AppSettings::deleteList() {
    std::vector<std::string> ids;
    const QStringList stored = settings().value(deleteListKey).toStringList();
    for (const QString& id : stored)
        ids.push_back(id.toStdString());
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
