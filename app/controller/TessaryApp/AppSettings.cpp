#include "TessaryApp/AppSettings.hpp"

#include <QSettings>
#include <QStringList>
#include <QVariantList>

#include <algorithm>
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

std::vector<ScanSource> AppSettings::recentSources() {
    std::vector<ScanSource> sources;
    for (const QVariant& value : settings().value(recentSourcesKey).toList()) {
        // A value another version or a hand wrote is skipped, not trusted.
        const std::optional<ScanSource> source = ScanSource::fromStored(value.toByteArray());
        if (!source || source->kind == ScanSource::Kind::iCloudDrive)
            continue;
        if (std::find(sources.begin(), sources.end(), *source) == sources.end())
            sources.push_back(*source);
        if (sources.size() == static_cast<std::size_t>(recentSourceLimit))
            break;
    }
    return sources;
}

void AppSettings::rememberSource(const ScanSource& source) {
    QSettings s = settings();
    s.setValue(lastSourceKey, source.stored());
    if (source.kind != ScanSource::Kind::iCloudDrive) {
        std::vector<ScanSource> sources = recentSources();
        std::erase(sources, source);
        sources.insert(sources.begin(), source);
        if (sources.size() > static_cast<std::size_t>(recentSourceLimit))
            sources.resize(recentSourceLimit);
        QVariantList list;
        for (const ScanSource& recent : sources)
            list.push_back(recent.stored());
        s.setValue(recentSourcesKey, list);
    }
    s.sync();
}

std::optional<ScanSource> AppSettings::lastSource() {
    const QVariant value = settings().value(lastSourceKey);
    if (!value.isValid())
        return std::nullopt;
    return ScanSource::fromStored(value.toByteArray());
}

} // namespace tessary
