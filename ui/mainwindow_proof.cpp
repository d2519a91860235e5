// The window's side of the proof before a recording leaves the card: the
// questions before Delete File, Delete All and Format count as safe only
// what the card file, looked at now, shows to be in DCIM/; freeing the card
// deletes only what is proven and confirmed. A long check shows its
// progress and can be cancelled.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardbusy.h"
#include "cardengine.h"

#include <QLocale>
#include <QPointer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTableWidget>

namespace {

// A check that ends sooner shows nothing.
constexpr int kProgressAfterMs = 700;

} // namespace

template<typename Work>
auto MainWindow::proving(const QString& label, Work work) -> decltype(work())
{
    QProgressDialog progress(label, tr("Cancel"), 0, 0, this);
    progress.setObjectName(QStringLiteral("progressDialogProof"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    const auto shown = connect(engine, &CardEngine::provingProgress, &progress,
                               [&progress](int done, int total) {
        progress.setMaximum(total);
        progress.setValue(done);
    });
    const auto cancel = connect(&progress, &QProgressDialog::canceled, engine,
                                &CardEngine::stopProving);
    auto result = work();
    disconnect(shown);
    disconnect(cancel);
    return result;
}

QString MainWindow::cardAtRisk()
{
    const QPointer<MainWindow> self(this);
    engine->beginCardOperation();
    if (!self)
        return QString();
    const CardEngine::AtRisk risk =
        proving(tr("Checking the card's recordings against DCIM/..."),
                [this] { return engine->proveCardAtRisk(); });
    if (!self)
        return QString();
    engine->endCardOperation();
    for (int row = 0; row < ui->tableWidgetFileInfo->rowCount(); ++row)
        markOnDisk(row);
    QString text = riskText(risk, true);
    if (engine->downloads()->isRunning())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n\n"))
                + tr("A download is running: it will be stopped first.");
    return text;
}

QString MainWindow::notOnDiskText(const QVector<int>& rows)
{
    QStringList names;
    for (int row : rows)
        names << rowRecording(row).name;
    const QPointer<MainWindow> self(this);
    engine->beginCardOperation();
    if (!self)
        return QString();
    const CardEngine::AtRisk risk =
        proving(tr("Checking the selected recordings against DCIM/..."),
                [this, &names] { return engine->proveAtRisk(names); });
    if (!self)
        return QString();
    engine->endCardOperation();
    // The marks follow what was found.
    for (int row : rows)
        markOnDisk(row);
    return riskText(risk, false);
}

QString MainWindow::riskText(const CardEngine::AtRisk& risk, bool wholeCard) const
{
    // What a delete or a format may cost: only counts of a complete listing say it.
    if (!risk.known)
        return tr("The card's contents are not fully known: list the card to see which"
                  " recordings are not in DCIM/ yet.");
    if (risk.total == 0)
        return QString();
    QString text = wholeCard ? tr("%1 of the %2 recordings on the card are not in DCIM/ yet.")
                                   .arg(risk.missing).arg(risk.total)
                             : tr("%1 of the %2 selected recordings are not in DCIM/ yet.")
                                   .arg(risk.missing).arg(risk.total);
    if (risk.unchecked > 0)
        text += QLatin1Char(' ')
                + tr("%1 of them were not checked against the card.").arg(risk.unchecked);
    return text;
}

void MainWindow::freeCard(const QVector<CardRecording>& safe)
{
    const QPointer<MainWindow> self(this);
    engine->beginCardOperation();
    if (!self)
        return;
    CardEngine::Freeing freeing;
    {
        const CardBusy busy(ui);
        freeing = proving(tr("Checking and deleting the recordings already in DCIM/..."),
                          [this, &safe] { return engine->freeSafe(safe); });
        if (!self)
            return;
    }
    engine->endCardOperation();
    for (const CardRecording& recording : freeing.freed)
        ui->tableWidgetFileInfo->removeRow(rowOfName(recording.name));
    for (int row = 0; row < ui->tableWidgetFileInfo->rowCount(); ++row)
        markOnDisk(row);
    if (!freeing.kept.isEmpty())
        showFailure(tr("%1 of %2 recordings stay on the card: %3.")
                        .arg(freeing.kept.size())
                        .arg(safe.size())
                        .arg(freeing.kept.join(QStringLiteral("; "))));
    else if (!freeing.freed.isEmpty() && !freeing.checked)
        showFailure(tr("%1 recordings deleted from the card, %2 freed; the card could not be"
                       " listed again to see them gone.")
                        .arg(freeing.freed.size())
                        .arg(QLocale().formattedDataSize(freeing.bytes)));
    else
        statusBar()->showMessage(tr("%1 recordings deleted from the card, %2 freed.")
                                     .arg(freeing.freed.size())
                                     .arg(QLocale().formattedDataSize(freeing.bytes)));
}
