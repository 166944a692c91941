#include "TessaryApp/DialogList.hpp"

#include <QCoreApplication>

#include <algorithm>

namespace tessary {

QStringList DialogList::lines(std::size_t count, const std::function<QString(std::size_t)>& text) {
    QStringList out;
    for (std::size_t i = 0; i < std::min(count, limit); ++i)
        out.push_back(QStringLiteral("• ") + text(i));
    if (count > limit)
        out.push_back(
            QCoreApplication::translate("ScanController", "… a dalších %1").arg(count - limit));
    return out;
}

} // namespace tessary
