#include "TestHook.hpp"

#include "ContentView.hpp"
#include "DeleteListHeader.hpp"
#include "ListingTable.hpp"
#include "MainToolBar.hpp"
#include "MainWindow.hpp"
#include "StatusBar.hpp"
#include "SummaryOverlay.hpp"
#include "ToastOverlay.hpp"
#include "UsageBarView.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QAbstractAnimation>
#include <QApplication>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace tessary {

namespace {

QJsonValue text(const std::optional<QString>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonArray rect(const QWidget& widget) {
    const QPoint origin = widget.mapToGlobal(QPoint(0, 0));
    return {origin.x(), origin.y(), widget.width(), widget.height()};
}

QJsonObject place(const QString& name, const QPoint& global) {
    return {{"name", name}, {"x", global.x()}, {"y", global.y()}};
}

QString viewName(ScanController::View view) {
    switch (view) {
    case ScanController::View::tree:
        return QStringLiteral("tree");
    case ScanController::View::top:
        return QStringLiteral("top");
    case ScanController::View::bigDirs:
        return QStringLiteral("bigDirs");
    case ScanController::View::search:
        return QStringLiteral("search");
    case ScanController::View::deleteList:
        return QStringLiteral("deleteList");
    case ScanController::View::changes:
        return QStringLiteral("changes");
    }
    return {};
}

// The texts of a dialog: a message box's own parts, and every label and button of any dialog.
QJsonObject dialogState(QWidget& dialog) {
    QJsonObject state{{"class", dialog.metaObject()->className()},
                      {"title", dialog.windowTitle()},
                      {"window", rect(dialog)}};
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
        state.insert("text", box->text());
        state.insert("informative", box->informativeText());
    }
    QJsonArray labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty())
            labels.append(label->text());
    QJsonArray buttons;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->isVisible())
            buttons.append(place(button->text(), button->mapToGlobal(button->rect().center())));
    QJsonArray choices;
    for (const QComboBox* combo : dialog.findChildren<QComboBox*>())
        if (combo->isVisible())
            choices.append(combo->currentText());
    state.insert("labels", labels);
    state.insert("choices", choices);
    state.insert("buttons", buttons);
    return state;
}

QJsonArray popupState(QMenu& menu) {
    QJsonArray entries;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator())
            continue;
        QJsonObject entry =
            place(action->text(), menu.mapToGlobal(menu.actionGeometry(action).center()));
        entry.insert("enabled", action->isEnabled());
        entries.append(entry);
    }
    return entries;
}

// The rows of the listing on screen that can be seen, with the centres of their name cells.
QJsonArray rowsState(ContentView& content) {
    QJsonArray rows;
    auto* table = content.shownListing()->findChild<ListingTable*>();
    if (!table || !table->isVisible())
        return rows;
    const QAbstractItemModel& model = table->shownModel();
    const QRect visible = table->viewport()->rect();
    for (int r = 0; r < model.rowCount(); ++r) {
        const QModelIndex index = model.index(r, 0);
        const QRect cell = table->visualRect(index);
        const NodeDTO* node = NodeTableModel::nodeAt(index);
        if (!node || !visible.contains(cell.center()))
            continue;
        QJsonObject row = place(QString::fromStdString(node->name),
                                table->viewport()->mapToGlobal(cell.center()));
        row.insert("id", QString::fromStdString(node->id));
        row.insert("dir", node->isDir());
        rows.append(row);
    }
    return rows;
}

QJsonArray segmentsState(UsageBarView& bar) {
    QJsonArray segments;
    for (const UsageBarLayout::Segment& seg : bar.barLayout().segments) {
        if (!seg.node || seg.preview)
            continue;
        const std::optional<QPoint> centre = bar.segmentCenter(seg.id);
        if (!centre)
            continue;
        QJsonObject entry = place(QString::fromStdString(seg.node->name), bar.mapToGlobal(*centre));
        entry.insert("id", QString::fromStdString(seg.id));
        entry.insert("dir", seg.node->isDir());
        entry.insert("level", seg.level);
        segments.append(entry);
    }
    return segments;
}

QPoint centre(const QWidget& widget) {
    return widget.mapToGlobal(widget.rect().center());
}

// The buttons of the window that can be seen, by their text.
QJsonArray buttonsState(QWidget& window) {
    QJsonArray buttons;
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->isVisible() && !button->text().isEmpty())
            buttons.append(place(button->text(), centre(*button)));
    return buttons;
}

// The text of the button or field that has the keyboard focus.
QString focusText() {
    const QWidget* focus = QApplication::focusWidget();
    if (const auto* button = qobject_cast<const QAbstractButton*>(focus))
        return button->text();
    if (const auto* field = qobject_cast<const QLineEdit*>(focus))
        return field->text();
    return focus ? QString::fromLatin1(focus->metaObject()->className()) : QString();
}

QJsonValue toastState(ToastOverlay& toast) {
    if (!toast.isShowing())
        return {};
    const QRect drawn = toast.textRect();
    const QSize needed = toast.neededTextSize();
    return QJsonObject{{"text", toast.text()},
                       {"label", QJsonArray{drawn.width(), drawn.height()}},
                       {"needed", QJsonArray{needed.width(), needed.height()}}};
}

} // namespace

void TestHook::installFromEnvironment(ScanController& c, MainWindow& window) {
    const QString path = qEnvironmentVariable(variable);
    if (!path.isEmpty())
        new TestHook(c, window, path);
}

TestHook::TestHook(ScanController& c, MainWindow& window, const QString& path)
    : QObject(&window), m_c(c), m_window(window), m_server(new QLocalServer(this)) {
    QLocalServer::removeServer(path);
    if (!m_server->listen(path))
        qFatal("%s: %s", variable, qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            serve(socket);
    });
}

void TestHook::serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        while (socket->canReadLine()) {
            socket->write(answer(socket->readLine().trimmed()) + '\n');
            socket->flush();
        }
    });
}

QByteArray TestHook::answer(const QByteArray& request) {
    QWidget* modal = QApplication::activeModalWidget();
    if (request.startsWith("grab ")) {
        QWidget& target = modal ? *modal : static_cast<QWidget&>(m_window);
        const bool saved = target.grab().save(QString::fromUtf8(request.mid(5)), "PNG");
        return QJsonDocument(QJsonObject{{"saved", saved}, {"window", rect(target)}})
            .toJson(QJsonDocument::Compact);
    }
    if (request != "state")
        return R"({"error":"unknown request"})";
    ContentView& content = m_window.content();
    bool animating = false;
    for (const QAbstractAnimation* animation : m_window.findChildren<QAbstractAnimation*>())
        animating = animating || animation->state() == QAbstractAnimation::Running;
    const auto current = m_c.current();
    QJsonObject state{
        {"busy", m_c.busy()},
        {"phase", ScanController::phaseText(m_c.phase())},
        {"runID", m_c.runID()},
        {"status", content.statusBar().text()},
        {"statusShown", content.statusBar().shownText()},
        {"view", viewName(m_c.view())},
        {"current", current ? QJsonValue(QString::fromStdString(current->name)) : QJsonValue()},
        {"query", m_c.query()},
        {"title", m_window.windowTitle()},
        {"source", m_c.source().title()},
        {"readOnly", m_c.source().readOnly()},
        {"deleteCount", static_cast<qint64>(m_c.deleteIDs().size())},
        {"summaryOpen", m_c.showSummary()},
        {"summaryVisible", content.summaryOverlay().isVisible()},
        {"animating", animating},
        {"toast", toastState(content.toast())},
        {"searchVisible", content.toolBar().searchField()->isVisible()},
        {"searchField", place(m_c.query(), centre(*content.toolBar().searchField()))},
        {"viewPicker", place(content.toolBar().viewPicker()->currentText(),
                             centre(*content.toolBar().viewPicker()))},
        {"deleteTotal", content.deleteListHeader().shownLines().amount},
        {"buttons", buttonsState(m_window)},
        {"focus", focusText()},
        {"winId", QString::number(m_window.winId())},
        {"window", rect(m_window)},
        {"modal", modal ? QJsonValue(dialogState(*modal)) : QJsonValue()},
        {"rows", rowsState(content)},
    };
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
        state.insert("popup", popupState(*menu));
    if (auto* bar = m_window.findChild<UsageBarView*>()) {
        state.insert("segments", segmentsState(*bar));
        state.insert("barHeader", bar->headerText());
    }
    state.insert("error", text(m_c.errorMessage()));
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

} // namespace tessary
