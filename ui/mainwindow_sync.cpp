// The window's sync slots: download the new recordings (also by itself on
// each link), free the card of what is safe, open the download folder, show
// its history. One tool button with a menu at the right of the status bar,
// the same actions in the table's context menu, and a shortcut each.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "cardengine.h"
#include "historydialog.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QUrl>

namespace {

// How often a sync waiting for another run looks again.
constexpr int kSyncRetryMs = 2000;

QAction* newAction(QWidget* owner, const char* objectName, const QKeySequence& keys)
{
    auto* action = new QAction(owner);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

} // namespace

void MainWindow::addSyncActions()
{
    downloadNewAction = newAction(this, "actionDownloadNew", Qt::CTRL | Qt::SHIFT | Qt::Key_D);
    deleteSafeAction =
        newAction(this, "actionDeleteSafe", Qt::CTRL | Qt::SHIFT | Qt::Key_Delete);
    syncOnLinkAction = newAction(this, "actionSyncOnLink", Qt::CTRL | Qt::SHIFT | Qt::Key_L);
    syncOnLinkAction->setCheckable(true);
    openFolderAction =
        newAction(this, "actionOpenDownloadFolder", Qt::CTRL | Qt::SHIFT | Qt::Key_O);
    connect(downloadNewAction, &QAction::triggered, this, &MainWindow::downloadNewRecordings);
    connect(deleteSafeAction, &QAction::triggered, this, &MainWindow::deleteSafeRecordings);
    historyAction = newAction(this, "actionHistory", Qt::CTRL | Qt::SHIFT | Qt::Key_H);
    connect(openFolderAction, &QAction::triggered, this, &MainWindow::openDownloadFolder);
    connect(historyAction, &QAction::triggered, this, &MainWindow::showHistory);
    connect(syncOnLinkAction, &QAction::toggled, this, [this](bool on) {
        if (syncSettings)
            syncSettings->setValue(QStringLiteral("sync/onLink"), on);
    });

    auto* menu = new QMenu(this);
    syncButton = new QToolButton(this);
    syncButton->setObjectName(QStringLiteral("toolButtonSync"));
    syncButton->setPopupMode(QToolButton::InstantPopup);
    syncButton->setMenu(menu);
    statusBar()->addPermanentWidget(syncButton);
    QTableWidget* table = ui->tableWidgetFileInfo;
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    table->addAction(separator);
    for (QAction* action : {downloadNewAction, deleteSafeAction, syncOnLinkAction,
                            openFolderAction, historyAction}) {
        menu->addAction(action);
        // The table is always in view: its actions' shortcuts work in the whole window.
        table->addAction(action);
    }
    syncRetry.setSingleShot(true);
    connect(&syncRetry, &QTimer::timeout, this, &MainWindow::startSync);
    connect(engine, &CardEngine::syncStarted, this,
            [this](CardEngine::Start result, const QString& why) {
        syncStarted(static_cast<int>(result), why);
    });
}

void MainWindow::translateSyncActions()
{
    syncButton->setText(tr("Sync"));
    downloadNewAction->setText(tr("Download new recordings"));
    deleteSafeAction->setText(tr("Delete recordings already in DCIM/"));
    syncOnLinkAction->setText(tr("Download new recordings when linked"));
    openFolderAction->setText(tr("Open the download folder"));
    historyAction->setText(tr("History..."));
    if (history)
        history->retranslate();
}

void MainWindow::setSyncOnLink(bool on, QSettings* store)
{
    syncSettings = nullptr;
    syncOnLinkAction->setChecked(on);
    syncSettings = store;
}

void MainWindow::linkCameUp()
{
    engine->linkChanged(true);
    // Once the link's own slot is over.
    if (syncOnLinkAction->isChecked())
        QTimer::singleShot(0, this, &MainWindow::downloadNewRecordings);
}

void MainWindow::downloadNewRecordings()
{
    if (!linked) {
        statusBar()->showMessage(tr("Link the device first."));
        return;
    }
    if (engine->downloads()->isRunning() || engine->isStartingSync() || syncRetry.isActive())
        return;
    if (!engine->listedSinceLink()) {
        const QPointer<MainWindow> self(this);
        engine->beginCardOperation();
        if (!self)
            return;
        const bool listed = listCard();
        if (!self)
            return;
        engine->endCardOperation();
        if (!listed)
            return;
    }
    startSync();
}

void MainWindow::startSync()
{
    if (linked && !engine->downloads()->isRunning())
        engine->startSync();
}

void MainWindow::syncStarted(int result, const QString& why)
{
    switch (static_cast<CardEngine::Start>(result)) {
    case CardEngine::Start::Started:
        statusBar()->clearMessage();
        showCancelButton(true);
        break;
    case CardEngine::Start::NothingNew:
        showNotice(tr("Nothing new: every listed recording is in DCIM/ already."));
        break;
    case CardEngine::Start::Busy:
        // Another run has the folder or the camera: this one goes on after it.
        statusBar()->showMessage(tr("Waiting: %1.").arg(why));
        syncRetry.start(kSyncRetryMs);
        break;
    case CardEngine::Start::Refused:
        if (!why.isEmpty())
            showFailure(why);
        break;
    }
}

void MainWindow::deleteSafeRecordings()
{
    if (!linked) {
        statusBar()->showMessage(tr("Link the device first."));
        return;
    }
    qint64 bytes = 0;
    int staying = 0;
    // The disk as it is when the question is asked.
    const QVector<CardRecording> safe = engine->safeToDelete(&bytes, &staying);
    if (safe.isEmpty() && !engine->listedWhole()) {
        showFailure(tr("The card's contents are not fully known: list the card to see which"
                       " recordings are not in DCIM/ yet."));
        return;
    }
    if (safe.isEmpty()) {
        showNotice(tr("No recording on the card is in DCIM/ yet."));
        return;
    }
    QString risk;
    if (staying > 0)
        risk = tr("%1 recordings stay on the card: they are not in DCIM/ yet.").arg(staying);
    if (engine->downloads()->isRunning())
        risk += (risk.isEmpty() ? QString() : QStringLiteral("\n\n"))
                + tr("A download is running: it waits while the files are deleted, and the"
                     " deleted files leave its queue.");
    if (!askCard(tr("Delete recordings already in DCIM/"),
                 tr("Delete the %1 recordings already in DCIM/ from the card? This frees %2.")
                     .arg(safe.size())
                     .arg(QLocale().formattedDataSize(bytes)),
                 risk))
        return;
    freeCard(safe);
}

void MainWindow::openDownloadFolder()
{
    const QString path = QDir(downloadFolder()).absolutePath();
    QDir().mkpath(path);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        showFailure(tr("Cannot open %1.").arg(QDir::toNativeSeparators(path)));
}

void MainWindow::showHistory()
{
    if (!history)
        history = new HistoryDialog(this);
    history->load(downloadFolder());
    history->show();
    history->raise();
    history->activateWindow();
}
