// A user's journey through the real application in a real X server: Xvfb with a window manager,
// input as real events, the screen read back from the server. In every state the server must
// show what the widgets paint (the server's capture of the window against the widgets' own
// picture of it); besides, the journey checks what a user would see happen: the summary sheet
// closing with Escape, a folder opened by a double click on its segment of the usage bar, a
// search typed during a scan, a toast sized to its text, the search field at the minimum window
// size, the Trash dialog counting nested items once, the move to the Trash through both dialogs
// with the keyboard (read back with trash-list), Czech standard dialogs, and the delete list
// after a restart. The captures are written as PNGs under the build folder.
#include "RunningApp.hpp"
#include "ScreenMatch.hpp"
#include "XServer.hpp"

#include "tests/support/TempDir.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>
#include <optional>

using namespace desktoptest;

namespace {

constexpr int settleMs = 20000;
constexpr int scanMs = 60000;
// The two files inside the folder "Koledy" of the generated world that go on the delete list
// with their folder, and the app's internal file that goes with them.
const QString folderName = QStringLiteral("Koledy");
const QStringList innerNames = {QStringLiteral("Koleda o Ježíškovi.pdf"),
                                QStringLiteral("koleda-akordy.txt")};
const QString appFileName = QStringLiteral("settings.plist");

QString outDir() {
    return QStringLiteral(VARNELO_JOURNEY_OUT);
}

std::optional<QPoint> pointOf(const QJsonValue& entry) {
    const QJsonObject o = entry.toObject();
    if (!o.contains("x"))
        return std::nullopt;
    return QPoint(o.value("x").toInt(), o.value("y").toInt());
}

// The entry of `list` (rows, segments, buttons, menu entries) named `name`.
std::optional<QJsonObject> named(const QJsonObject& state, const char* list, const QString& name) {
    for (const QJsonValue& entry : state.value(QLatin1String(list)).toArray())
        if (entry.toObject().value("name").toString() == name)
            return entry.toObject();
    return std::nullopt;
}

// The main facts of a state, for failure messages.
std::string brief(const QJsonObject& s) {
    QStringList facts;
    for (const char* key :
         {"view", "current", "query", "busy", "phase", "summaryVisible", "deleteCount", "status"})
        facts << QString::fromLatin1(key) + "=" +
                     s.value(QLatin1String(key)).toVariant().toString();
    facts << "modal=" + s.value("modal").toObject().value("text").toString();
    return facts.join(", ").toStdString();
}

bool settled(const QJsonObject& s) {
    return !s.value("busy").toBool() && !s.value("animating").toBool();
}

class Journey {
public:
    Journey(const QStringList& env, XServer& x) : m_env(env), m_x(x) {}

    void start(const QStringList& args) {
        m_app.reset();
        m_app = std::make_unique<RunningApp>(QStringLiteral(VARNELO_APP), args, m_env,
                                             QDir(m_socketDir.path().c_str()).filePath("hook"));
    }
    RunningApp& app() { return *m_app; }

    QJsonObject waitFor(const RunningApp::Condition& condition, int ms, const char* what) {
        bool met = false;
        QJsonObject s = m_app->waitFor(condition, ms, &met);
        EXPECT_TRUE(met) << what << "; the window shows: " << brief(s);
        return s;
    }

    // The pointer leaves the window (no hover, no tooltip), the window settles, and then what the
    // server shows must be what the widgets paint; the capture is kept as NAME.png.
    void expectShownAsPainted(const QString& name) {
        SCOPED_TRACE(name.toStdString());
        std::cerr << "[journey " << m_clock.elapsed() / 1000.0 << " s] " << name.toStdString()
                  << std::endl;
        RunningApp::moveTo(QPoint(1599, 999));
        waitFor(settled, settleMs, "the window settles");
        const QString dir = outDir();
        ScreenMatch match;
        // A state can still be finishing its paint: a few tries before it counts.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const QRect area = m_app->grab(dir + "/" + name + "-widgets.png");
            ASSERT_FALSE(area.isEmpty()) << "the application saved no picture";
            const QImage shown = m_x.capture(area);
            match = ScreenMatch::compare(shown, QImage(dir + "/" + name + "-widgets.png"));
            shown.save(dir + "/" + name + ".png");
            if (match.same())
                break;
            QThread::msleep(300);
        }
        if (!match.same())
            match.diff().save(dir + "/" + name + "-diff.png");
        EXPECT_TRUE(match.same()) << "the X server shows other pixels than the widgets paint: "
                                  << match.describe() << " (see "
                                  << (dir + "/" + name).toStdString() << "*.png)";
    }

    // Keeps what the server shows of the main window (with any dialog over it) as NAME.png.
    void captureWindow(const QString& name) {
        const QJsonArray w = m_app->state().value("window").toArray();
        m_x.capture(QRect(w[0].toInt(), w[1].toInt(), w[2].toInt(), w[3].toInt()))
            .save(outDir() + "/" + name + ".png");
    }

    // Closes the summary sheet with Escape (a checked behaviour); with its own button when
    // Escape fails, so that the journey goes on.
    void closeSummary() {
        RunningApp::key(QStringLiteral("Escape"));
        bool closed = false;
        QJsonObject s =
            m_app->waitFor([](const QJsonObject& s) { return !s.value("summaryVisible").toBool(); },
                           3000, &closed);
        EXPECT_TRUE(closed) << "Escape does not close the summary sheet";
        if (closed)
            return;
        if (const auto button = named(s, "buttons", QStringLiteral("Zavřít")))
            RunningApp::click(*pointOf(*button));
        waitFor([](const QJsonObject& s) { return !s.value("summaryVisible").toBool(); }, 5000,
                "the summary closes with its button");
    }

    void waitSummary(int afterRun) {
        waitFor(
            [afterRun](const QJsonObject& s) {
                return s.value("runID").toInt() > afterRun && s.value("summaryVisible").toBool() &&
                       settled(s);
            },
            scanMs, "the summary sheet opens after the scan");
    }

    // Right-clicks the row and chooses the menu entry `entry`.
    bool chooseFromRowMenu(const QString& row, const QString& entry) {
        const auto found = named(m_app->state(), "rows", row);
        EXPECT_TRUE(found) << "no row " << row.toStdString();
        if (!found)
            return false;
        RunningApp::click(*pointOf(*found), 3);
        QJsonObject s = waitFor([](const QJsonObject& s) { return s.contains("popup"); }, 5000,
                                "the row menu opens");
        const auto item = named(s, "popup", entry);
        EXPECT_TRUE(item && item->value("enabled").toBool())
            << row.toStdString() << ": no enabled entry " << entry.toStdString();
        if (!item || !item->value("enabled").toBool()) {
            RunningApp::key(QStringLiteral("Escape"));
            return false;
        }
        RunningApp::click(*pointOf(*item));
        return true;
    }

    void addToDeleteList(const QString& row) {
        const int before = m_app->state().value("deleteCount").toInt();
        if (chooseFromRowMenu(row, QStringLiteral("Přidat do seznamu ke smazání")))
            waitFor(
                [before](const QJsonObject& s) {
                    return s.value("deleteCount").toInt() == before + 1;
                },
                5000, "the row goes on the delete list");
    }

    void openCurrent(const QString& name) {
        waitFor(
            [name](const QJsonObject& s) {
                return s.value("current").toString() == name && s.value("view") == "tree";
            },
            5000, "the folder opens");
    }

    void clickButton(const QString& text) {
        const auto button = named(m_app->state(), "buttons", text);
        ASSERT_TRUE(button) << "no button " << text.toStdString();
        RunningApp::click(*pointOf(*button));
    }

private:
    QStringList m_env;
    XServer& m_x;
    testsupport::TempDir m_socketDir{"varnelo-hook"};
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::unique_ptr<RunningApp> m_app;
};

} // namespace

TEST(DesktopJourney, WhatTheServerShowsIsWhatTheWindowPaints) {
    if (const QString reason = XServer::missingReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    QDir().mkpath(outDir());
    testsupport::TempDir dir("varnelo-desktop");
    const QString root = QString::fromStdString(dir.str());
    const QString home = root + "/w/home";
    ASSERT_FALSE(
        runToEnd(QStringLiteral(VARNELO_SIM), {"world", "--out", root + "/w", "--seed", "7"})
            .isNull());
    QDir().mkpath(root + "/run");
    QFile::setPermissions(root + "/run",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The world's home is the application's home: its settings, its dump cache and its Trash.
    // No locale is chosen (C), as on a fresh machine; the window is Czech all the same.
    const QStringList env = {
        "HOME=" + home, QStringLiteral("TESSARY_BRCTL=" VARNELO_BRCTL),
        "XDG_RUNTIME_DIR=" + root + "/run", "XDG_DATA_HOME=" + home + "/.local/share",
        "XDG_CONFIG_HOME=" + home + "/.config", QStringLiteral("LANG=C"), QStringLiteral("LC_ALL="),
        QStringLiteral("LANGUAGE="), QStringLiteral("QT_QPA_PLATFORM=xcb"),
        QStringLiteral("QT_SCALE_FACTOR=1"), QStringLiteral("DBUS_SESSION_BUS_ADDRESS=disabled:"),
        // A new database dump takes a few seconds: long enough to type.
        QStringLiteral("VARNELO_SIM_SLOW_MS=250")};
    // The first scan reuses a cached dump, as every launch after the first does.
    ASSERT_FALSE(runToEnd(QStringLiteral(VARNELO_CLI), {"--refresh"},
                          QStringList(env.begin(), env.end() - 1))
                     .isNull());

    XServer x(root + "/wm");
    Journey j(env, x);
    ASSERT_NO_THROW(j.start({}));
    RunningApp& app = j.app();

    // The summary sheet after the first scan, reopened with Ctrl+I and after a rescan.
    j.waitSummary(0);
    j.expectShownAsPainted("01-summary");
    j.closeSummary();
    RunningApp::key("ctrl+i");
    j.waitFor([](const QJsonObject& s) { return s.value("summaryVisible").toBool() && settled(s); },
              5000, "Ctrl+I opens the summary");
    j.expectShownAsPainted("02-summary-reopened");
    j.closeSummary();
    int run = app.state().value("runID").toInt();
    RunningApp::key("ctrl+r");
    j.waitSummary(run);
    j.expectShownAsPainted("03-summary-after-rescan");
    j.closeSummary();
    j.expectShownAsPainted("04-window");

    // A search typed while a new database dump runs is run once the scan ends.
    run = app.state().value("runID").toInt();
    RunningApp::key("ctrl+shift+r");
    QJsonObject s = j.waitFor([](const QJsonObject& s) { return s.value("busy").toBool(); }, 5000,
                              "the refresh starts");
    RunningApp::click(*pointOf(s.value("searchField")));
    RunningApp::type("koleda");
    if (!app.state().value("busy").toBool())
        std::cerr << "[journey] the scan ended before the search was typed: the search during "
                     "a scan was not tried"
                  << std::endl;
    j.waitSummary(run);
    j.closeSummary();
    j.waitFor(
        [](const QJsonObject& s) {
            return s.value("view") == "search" && s.value("query") == "koleda" &&
                   !s.value("rows").toArray().isEmpty();
        },
        3000, "the search typed during the scan runs when the scan ends");

    // A double click on a folder segment opens the folder, with no drill-down row open before.
    RunningApp::key("ctrl+shift+h");
    s = j.waitFor([](const QJsonObject& s) { return s.value("view") == "tree"; }, 5000,
                  "Ctrl+Shift+H shows the main folder");
    const QString homeName = s.value("current").toString();
    std::optional<QJsonObject> folder;
    for (const QJsonValue& seg : s.value("segments").toArray())
        if (!folder && seg.toObject().value("dir").toBool() &&
            seg.toObject().value("level").toInt() == 0)
            folder = seg.toObject();
    ASSERT_TRUE(folder) << "no folder segment on the usage bar";
    const QString folderSeg = folder->value("name").toString();
    RunningApp::doubleClick(*pointOf(*folder));
    j.waitFor(
        [folderSeg](const QJsonObject& s) { return s.value("current").toString() == folderSeg; },
        5000, "a double click on a folder segment opens the folder");

    // A drill-down row under the bar.
    RunningApp::key("ctrl+shift+h");
    s = j.waitFor([homeName](const QJsonObject& s) { return s.value("current") == homeName; }, 5000,
                  "back home");
    const auto again = named(s, "segments", folderSeg);
    ASSERT_TRUE(again);
    RunningApp::click(*pointOf(*again));
    j.waitFor(
        [](const QJsonObject& s) {
            for (const QJsonValue& seg : s.value("segments").toArray())
                if (seg.toObject().value("level").toInt() == 1)
                    return true;
            return false;
        },
        5000, "a click on a folder segment opens its drill-down row");
    j.expectShownAsPainted("05-drill-down");
    j.clickButton("Sbalit");

    // A folder, two files inside it and an app's internal file on the delete list; the last
    // one's long warning follows the short toast of the one before.
    j.addToDeleteList(folderName);
    ASSERT_TRUE(named(app.state(), "rows", folderName));
    RunningApp::doubleClick(*pointOf(*named(app.state(), "rows", folderName)));
    j.openCurrent(folderName);
    for (const QString& name : innerNames)
        j.addToDeleteList(name);
    s = app.state();
    RunningApp::click(*pointOf(s.value("searchField")));
    RunningApp::key("ctrl+a");
    RunningApp::type(appFileName);
    RunningApp::key("Return");
    j.waitFor([](const QJsonObject& s) { return s.value("view") == "search"; }, 5000,
              "the search runs on Return");
    j.waitFor([](const QJsonObject& s) { return named(s, "rows", appFileName).has_value(); }, 5000,
              "the app's file is found");
    j.addToDeleteList(appFileName);
    s = j.waitFor(
        [](const QJsonObject& s) {
            return s.value("toast").toObject().value("text").toString().startsWith("Pozor") &&
                   settled(s);
        },
        5000, "the app-data warning shows");
    const QJsonArray label = s.value("toast").toObject().value("label").toArray();
    const QJsonArray needed = s.value("toast").toObject().value("needed").toArray();
    // Neither cut nor left with the room of a longer text.
    EXPECT_LE(needed[0].toInt(), label[0].toInt()) << "the toast is narrower than its text";
    EXPECT_LT(label[0].toInt() - needed[0].toInt(), 4) << "the toast is wider than its text";
    EXPECT_NEAR(label[1].toInt(), needed[1].toInt(), 2) << "the toast is not as tall as its text";
    j.expectShownAsPainted("06-toast-after-toast");

    // The delete list: its usage bar and the Trash dialogs count the folder once.
    RunningApp::click(*pointOf(s.value("viewPicker")));
    RunningApp::key("End");
    RunningApp::key("Return");
    s = j.waitFor([](const QJsonObject& s) { return s.value("view") == "deleteList"; }, 5000,
                  "the delete list shows");
    s = j.waitFor(settled, settleMs, "the delete list settles");
    const QString total = s.value("deleteTotal").toString();
    EXPECT_TRUE(s.value("barHeader").toString().contains("celkem " + total))
        << "the usage bar's total is not the list's: "
        << s.value("barHeader").toString().toStdString() << " / " << total.toStdString();
    j.expectShownAsPainted("07-delete-list");
    j.clickButton("Přesunout do Koše…");
    s = j.waitFor([](const QJsonObject& s) { return s.value("modal").isObject(); }, 5000,
                  "the Trash dialog opens");
    const QJsonObject dialog = s.value("modal").toObject();
    EXPECT_EQ(dialog.value("text").toString().toStdString(), "Přesunout 2 položky do Koše?");
    const QString info = dialog.value("informative").toString();
    EXPECT_TRUE(info.startsWith("Celkem " + total + " v iCloudu")) << info.toStdString();
    EXPECT_TRUE(info.contains("• " + folderName + " (")) << info.toStdString();
    EXPECT_TRUE(info.contains("• " + appFileName + " (")) << info.toStdString();
    for (const QString& name : innerNames)
        EXPECT_FALSE(info.contains("• " + name)) << info.toStdString();
    EXPECT_TRUE(info.contains("(2 položky)"))
        << "the moved-along items are not named: " << info.toStdString();
    j.expectShownAsPainted("08-trash-dialog");
    j.captureWindow("08-trash-dialog-over-list");
    RunningApp::key("Return");
    s = j.waitFor(
        [](const QJsonObject& s) {
            return s.value("modal").toObject().value("text") ==
                   "Opravdu smazat interní data aplikací?";
        },
        5000, "the app-data dialog follows");
    j.expectShownAsPainted("09-app-data-dialog");
    for (int tab = 0; tab < 4 && app.state().value("focus") != "Přesto smazat"; ++tab)
        RunningApp::key("Tab");
    RunningApp::key("Return");
    j.waitFor(
        [](const QJsonObject& s) {
            return s.value("modal").isNull() && s.value("phase") == "done" &&
                   !s.value("busy").toBool() && s.value("deleteCount").toInt() == 0;
        },
        20000, "the items are moved to the Trash");
    // trash-list also lists the Trash of every mounted volume, which another test running
    // beside this one may have mounted: only the entries from this home count.
    QStringList trashed;
    for (const QString& line :
         runToEnd("trash-list", {}, {"HOME=" + home, "XDG_DATA_HOME=" + home + "/.local/share"})
             .split(u'\n', Qt::SkipEmptyParts))
        if (line.mid(20).startsWith(home + "/"))
            trashed << line;
    EXPECT_EQ(trashed.size(), 2) << trashed.join(u'\n').toStdString();
    EXPECT_TRUE(trashed.join(u'\n').contains("/" + folderName))
        << trashed.join(u'\n').toStdString();
    EXPECT_TRUE(trashed.join(u'\n').contains("/" + appFileName))
        << trashed.join(u'\n').toStdString();

    // The minimum size keeps the search field and the status text in view.
    RunningApp::key("ctrl+shift+h");
    s = j.waitFor([homeName](const QJsonObject& s) { return s.value("current") == homeName; }, 5000,
                  "back home");
    runToEnd("xdotool", {"windowsize", "--sync", s.value("winId").toString(), "960", "600"});
    s = j.waitFor(
        [](const QJsonObject& s) {
            const QJsonArray w = s.value("window").toArray();
            return w[2].toInt() == 960 && w[3].toInt() == 600;
        },
        5000, "the window takes its minimum size");
    EXPECT_TRUE(s.value("searchVisible").toBool()) << "the search field is hidden at 960 × 600";
    EXPECT_TRUE(s.value("statusShown").toString().startsWith("Hotovo"))
        << "status line: " << s.value("statusShown").toString().toStdString();
    j.expectShownAsPainted("10-minimum-size");

    // Qt's own dialogs speak Czech: the save dialog of the CSV export.
    j.clickButton("Export");
    s = j.waitFor([](const QJsonObject& s) { return s.contains("popup"); }, 5000,
                  "the export menu opens");
    const auto csv = named(s, "popup", "Exportovat CSV (aktuální složka)…");
    ASSERT_TRUE(csv);
    RunningApp::click(*pointOf(*csv));
    s = j.waitFor([](const QJsonObject& s) { return s.value("modal").isObject(); }, 10000,
                  "the save dialog opens");
    QStringList texts;
    for (const char* list : {"labels", "buttons"})
        for (const QJsonValue& v : s.value("modal").toObject().value(list).toArray())
            texts << (v.isObject() ? v.toObject().value("name").toString() : v.toString());
    EXPECT_TRUE(texts.contains("Zrušit")) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.filter("Uložit").size() >= 1) << texts.join(" | ").toStdString();
    EXPECT_FALSE(texts.contains("Cancel")) << texts.join(" | ").toStdString();
    QStringList choices;
    for (const QJsonValue& v : s.value("modal").toObject().value("choices").toArray())
        choices << v.toString();
    EXPECT_TRUE(choices.contains("Text oddělený středníky (*.csv)"))
        << choices.join(" | ").toStdString();
    j.expectShownAsPainted("11-save-dialog");
    RunningApp::key("Escape");
    j.waitFor([](const QJsonObject& s) { return s.value("modal").isNull(); }, 5000,
              "the save dialog closes");

    // A restart in the dark appearance: the moved items stay off the list.
    run = 0;
    ASSERT_NO_THROW(j.start({"--dark"}));
    j.waitSummary(run);
    j.expectShownAsPainted("12-dark-summary");
    j.closeSummary();
    EXPECT_EQ(j.app().state().value("deleteCount").toInt(), 0);
    j.expectShownAsPainted("13-dark-window");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
