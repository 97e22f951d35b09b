#include "app/MainWindow.h"

#include "components/logging/LocalizedFileOpener.h"

#include <QAction>
#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

namespace
{

class FailingOpener : public Hvd::Weft::Components::LocalizedFileOpener
{
protected:
    bool doOpenFile(const QString&) override { return false; }
};

// Every test gets its own settings store.
struct MainWindowTest : ::testing::Test
{
    void SetUp() override
    {
        QCoreApplication::setOrganizationName("Halvard GmbH");
        QCoreApplication::setApplicationName("OrvikRescalerTest");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings().clear();
    }
    QTemporaryDir settingsDir;
    FailingOpener opener;
};

} // namespace

TEST_F(MainWindowTest, FixedFrameTitleAndActions)
{
    MainWindow window(opener);
    EXPECT_EQ(window.windowTitle(), "OrvikRescaler V1.1.0 (260819)");
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.minimumSize(), QSize(470, 340));
    EXPECT_EQ(window.maximumSize(), QSize(470, 340));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

    auto* info = window.findChild<QAction*>("actionInfo");
    auto* help = window.findChild<QAction*>("actionHelp");
    auto* toolBar = window.findChild<QToolBar*>("toolBar");
    ASSERT_TRUE(info && help && toolBar);
    EXPECT_EQ(info->toolTip(), "About the application");
    EXPECT_EQ(help->toolTip(), "Show help");
    EXPECT_FALSE(info->icon().isNull());
    EXPECT_FALSE(help->icon().isNull());
    EXPECT_EQ(toolBar->actions(), (QList<QAction*>{info, help}));
    EXPECT_EQ(toolBar->layoutDirection(), Qt::RightToLeft);
    EXPECT_FALSE(toolBar->isMovable());
}

TEST_F(MainWindowTest, GeometryIsSavedAndRestoredButTheSizeStaysFixed)
{
    {
        MainWindow window(opener);
        window.move(123, 77);
        window.show();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(QSettings().contains("Ui/MainWindow/Geometry"));
    EXPECT_TRUE(QSettings().contains("Ui/MainWindow/State"));

    // A saved geometry of another size must not resize the window.
    {
        QWidget bigger;
        bigger.resize(900, 700);
        bigger.move(123, 77);
        QSettings().setValue("Ui/MainWindow/Geometry", bigger.saveGeometry());
    }
    MainWindow restored(opener);
    restored.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(restored.size(), QSize(470, 340));
}

TEST_F(MainWindowTest, BrokenSavedSettingsKeepTheBuiltInLayout)
{
    QSettings().setValue("Ui/MainWindow/Geometry", QByteArray("garbage"));
    QSettings().setValue("Ui/MainWindow/State", QByteArray("\x01\x02", 2));
    MainWindow window(opener);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(470, 340));
    EXPECT_TRUE(window.findChild<QToolBar*>("toolBar")->isVisible());
}

TEST_F(MainWindowTest, HelpWithoutDocumentNamesTheFallbackFile)
{
    MainWindow window(opener);
    QString shown;
    QTimer::singleShot(0,
                       [&]
                       {
                           auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                           ASSERT_NE(box, nullptr);
                           shown = box->text();
                           box->accept();
                       });
    window.findChild<QAction*>("actionHelp")->trigger();
    const QString expected =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("OrvikRescaler.pdf");
    EXPECT_EQ(shown, "Could not open file " + expected + ".");
}
