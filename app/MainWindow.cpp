#include "app/MainWindow.h"
#include "ui_MainWindow.h"

#include "app/OrvikWidget.h"
#include "components/logging/LocalizedFileOpener.h"
#include "components/logging/UiUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

MainWindow::MainWindow(Hvd::Weft::Components::DeviceStack& stack,
                       Hvd::Weft::Components::LocalizedFileOpener& opener)
    : QMainWindow(nullptr)
    , ui(new Ui_MainWindow)
    , copyrightDialog(this)
    , opener(opener)
{
    ui->setupUi(this);
    setWindowTitle(QString::fromLatin1(windowTitleText));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    restoreWindowSettings();

    // Replaces the form's empty central widget, which goes with it.
    setCentralWidget(new OrvikWidget(stack, this));

    connect(ui->actionHelp, &QAction::triggered, this, &MainWindow::showHelp);
    connect(ui->actionInfo, &QAction::triggered, this, &MainWindow::showCopyright);
}

MainWindow::~MainWindow()
{
    if (copyrightDialog.isVisible())
        copyrightDialog.close();
    saveWindowSettings();
    delete ui;
}

void MainWindow::restoreWindowSettings()
{
    // Missing or unreadable values leave the built-in size and layout.
    const QByteArray geometry = QSettings().value(settingsKey(windowGeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = QSettings().value(settingsKey(windowStateKey)).toByteArray();
    if (!state.isEmpty())
        restoreState(state, 0);
}

void MainWindow::saveWindowSettings()
{
    QSettings().setValue(settingsKey(windowGeometryKey), saveGeometry());
    QSettings().setValue(settingsKey(windowStateKey), saveState(0));
}

QString MainWindow::settingsKey(const char* key) const
{
    return QString::fromLatin1(uiGroup) + objectName() + '/' + QString::fromLatin1(key);
}

void MainWindow::showHelp()
{
    if (!opener.openFile(QDir(QCoreApplication::applicationDirPath()), helpBaseName, '_', helpExtension))
        Hvd::Weft::Components::UiUtils::showMessageBox(
            tr("Could not open file %1.").arg(opener.getFilepath()), this);
}

void MainWindow::showCopyright()
{
    // One dialog for the window's life: a second Info while it is open does
    // not stack another one on top.
    if (!copyrightDialog.isVisible())
        copyrightDialog.open();
}
