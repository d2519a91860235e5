#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "cardengine.h"
#include "deviceaddresses.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QLineEdit>
#include <QPalette>
#include <QThread>
#include <QTranslator>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , engine(new CardEngine(this))
    , linked(false)
    , selectedCursor(0)
    , selectedCount(0)
{
    ui = new Ui::MainWindow;
    ui->setupUi(this);
    ui->progressBarDownLoad->hide();
    LineEditsInit();
    TableWidgetItemInit();
    addOnDiskActions();
    connectCardEngine();
    connectDownloads();

    // An operator who set another camera address sees which one is in use.
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    if (camera != merro::Endpoint{merro::kCameraHost, merro::kCameraPort}) {
        cameraAddress = new QLabel(this);
        cameraAddress->setObjectName(QStringLiteral("labelCameraAddress"));
        statusBar()->addPermanentWidget(cameraAddress);
    }
    addSyncActions();

    // Parented so that a window created and destroyed in one process (as the
    // tests do) takes its translator out of the application with it.
    translator = new QTranslator(this);
    qApp->installTranslator(translator);

    ui->comboBox->addItem(QStringLiteral("English"));
    ui->comboBox->addItem(QStringLiteral("Chinese"));
    useLanguageForSizes(false);
    translateLanguage();
    // Connected after the items exist, so the initial "English" loads nothing.
    connect(ui->comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::comboxLanguageChanged);
    // Sees the operator's clicks and keys before any widget does.
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // Requests and transfers end at once rather than at their deadlines, and
    // before the widgets they report to.
    delete engine;
    engine = nullptr;
    stopWorkerThreads();
    delete ui;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (failureShown
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this)
            failureShown = false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showFailure(const QString& text)
{
    statusBar()->showMessage(text);
    failureShown = true;
}

void MainWindow::showNotice(const QString& text)
{
    if (!failureShown)
        statusBar()->showMessage(text);
}

void MainWindow::stopWorkerThreads()
{
    const auto threads = findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (QThread* thread : threads)
        thread->requestInterruption();
    for (QThread* thread : threads)
        thread->wait();
}

void MainWindow::LineEditsInit()
{
    LineEditInit(ui->lineEditLinkMERRO);
    LineEditInit(ui->lineEditHardType);
    LineEditInit(ui->lineEditHardVer);
    LineEditInit(ui->lineEditSoftVer);
    LineEditInit(ui->lineEditProtocolVer);
    LineEditInit(ui->lineEditBootVer);
    LineEditInit(ui->lineEditDownloadLabel);
    LineEditInit(ui->lineEditDownloadProgress);
}

void MainWindow::LineEditInit(QLineEdit* Information)
{
    // Black in every colour group keeps the disabled display readable.
    QPalette palette = Information->palette();
    palette.setBrush(QPalette::All, QPalette::Text, QBrush(QColor(0, 0, 0, 255)));
    Information->setPalette(palette);
    Information->setStyleSheet(QStringLiteral("border:1px;background:transparent"));
    Information->setEnabled(false);
}
