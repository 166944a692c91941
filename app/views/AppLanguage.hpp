#pragma once

class QCoreApplication;

namespace tessary {

// The window's language beyond its own texts: Qt's Czech translations for its standard dialogs
// and buttons (qtbase_cs.qm, found where Qt keeps its translations), and Czech numbers and dates
// in Qt's own widgets where the system chose no locale (C or POSIX).
struct AppLanguage {
    AppLanguage() = delete;

    // False when Qt's Czech translations are not installed (Qt's texts then stay English).
    static bool install(QCoreApplication& app);
};

} // namespace tessary
