#include "AppLanguage.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tessary {

bool AppLanguage::install(QCoreApplication& app) {
    QLocale::setDefault(Fmt::systemLocale());
    // Owned by the application, which keeps it installed for its whole life.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Czech), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace tessary
