// The application: one controller, one main window. With TESSARY_SELFTEST set it prints the
// self-test report after the first scan and ends; with --screenshot FILE it saves a picture of
// the window once the first scan is shown and ends.
#include "AppLanguage.hpp"
#include "AppPalette.hpp"
#include "MainWindow.hpp"
#include "QtDesktopServices.hpp"
#include "TessaryApp/ScanController.hpp"
#include "TessaryApp/SelfTest.hpp"
#include "TestHook.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include <cstdio>

using namespace tessary;

namespace {

// Where no window can be seen, a failed first scan would leave a self-test or a screenshot
// waiting for ever: there it ends the process with the error instead.
bool isHeadless() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void failWith(const ScanController& c) {
    const QByteArray text = c.errorMessage().value_or(QString()).toUtf8();
    std::fprintf(stderr, "%s\n", text.constData());
    std::fflush(stderr);
    std::exit(1);
}

// Runs `done` when a scan has ended with a result; a failed scan ends the process when
// `failOnError`, else the user sees its error and may try again.
void watchFirstScan(ScanController& c, const std::function<void()>& done, bool failOnError) {
    QObject::connect(&c, &ScanController::operationFinished, &c,
                     [&c, done, failOnError](ScanController::Operation operation,
                                             ScanController::Outcome outcome) {
                         if (operation != ScanController::Operation::scan)
                             return;
                         if (outcome == ScanController::Outcome::done) {
                             done();
                             return;
                         }
                         if (failOnError && c.phase() == ScanController::Phase::error)
                             failWith(c);
                     });
}

// The self-test: the report of the controller's state after the first scan, then the end.
void runSelfTest(ScanController& c) {
    const QByteArray text = SelfTest::report(c).toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fflush(stdout);
    std::exit(0);
}

// --help and --version are answered before the application connects to the window system, so
// that they work in a terminal without a display too. Both end the process.
void answerHelpOrVersion(int& argc, char** argv, QCommandLineParser& parser,
                         const QCommandLineOption& help, const QCommandLineOption& version) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Errors are left to the parse after the application has taken its own options (-platform…).
    (void)parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return;
    const QCoreApplication plain(argc, argv); // the help names the program as it was called
    if (parser.isSet(help))
        parser.showHelp(0);
    parser.showVersion();
}

} // namespace

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Varnelo"));
    QApplication::setApplicationName(QStringLiteral("Varnelo"));
    QApplication::setApplicationVersion(QStringLiteral(VARNELO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QObject::tr("Co zabírá místo na iCloud Drive."));
    // Qt's own help and version options describe themselves in English.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QObject::tr("Vypíše tuto nápovědu."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QObject::tr("Vypíše verzi programu."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QObject::tr("Uloží obrázek okna po prvním skenu a skončí."),
                                        QObject::tr("SOUBOR"));
    const QCommandLineOption dark(QStringLiteral("dark"), QObject::tr("Tmavý vzhled."));
    parser.addOptions({help, version, screenshot, dark});
    answerHelpOrVersion(argc, argv, parser, help, version);

    QApplication app(argc, argv);
    AppLanguage::install(app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/cz.varnelo.Varnelo.svg")));
    // On Wayland the window finds its desktop entry, and so its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("cz.varnelo.Varnelo"));
    parser.process(app);
    if (parser.isSet(dark))
        AppPalette::applyDark(app);

    QtDesktopServices desktop;
    ScanController controller(&desktop);
    MainWindow window(controller);
    desktop.setWindow(&window);
    TestHook::installFromEnvironment(controller, window);

    if (qEnvironmentVariableIsSet("TESSARY_SELFTEST")) {
        watchFirstScan(
            controller, [&controller] { runSelfTest(controller); }, isHeadless());
    } else if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        watchFirstScan(
            controller,
            [&window, &controller, file] {
                // The picture shows the tree, not the summary that opens after a scan.
                controller.setShowSummary(false);
                // Let the window lay out and paint the new rows first.
                QTimer::singleShot(300, &window, [&window, file] {
                    if (!window.grab().save(file, "PNG")) {
                        std::fprintf(stderr, "Obrázek okna nelze uložit: %s\n",
                                     file.toUtf8().constData());
                        std::exit(1);
                    }
                    QApplication::quit();
                });
            },
            true);
    }
    window.show();
    return QApplication::exec();
}
