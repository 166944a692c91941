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

void watchFirstScan(ScanController& c, const std::function<void()>& done, bool failOnError) {
    // Queued: the run counter changes first when a scan ends, its outcome right after.
    QObject::connect(
        &c, &ScanController::runIDChanged, &c,
        [&c, done, failOnError] {
            if (c.phase() == ScanController::Phase::error) {
                if (failOnError)
                    failWith(c);
                return;
            }
            done();
        },
        Qt::QueuedConnection);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Varnelo"));
    QApplication::setApplicationName(QStringLiteral("Varnelo"));
    AppLanguage::install(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QObject::tr("Co zabírá místo na iCloud Drive."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QObject::tr("Uloží obrázek okna po prvním skenu a skončí."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption dark(QStringLiteral("dark"), QObject::tr("Tmavý vzhled."));
    parser.addOptions({screenshot, dark});
    parser.process(app);
    if (parser.isSet(dark))
        AppPalette::applyDark(app);

    QtDesktopServices desktop;
    ScanController controller(&desktop);
    MainWindow window(controller);
    desktop.setWindow(&window);
    TestHook::installFromEnvironment(controller, window);

    if (qEnvironmentVariableIsSet("TESSARY_SELFTEST")) {
        controller.selfTestHook = [&controller] {
            const QByteArray text = SelfTest::report(controller).toUtf8();
            std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
            std::fflush(stdout);
            std::exit(0);
        };
        watchFirstScan(
            controller, [] {}, isHeadless());
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
