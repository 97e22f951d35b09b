#include "app/MainWindow.h"

#include "app/OrvikWidget.h"
#include "app/message_boxes.h"
#include "components/components_test_support.h"
#include "components/connectors/DeviceStack.h"
#include "components/logging/LocalizedFileOpener.h"
#include "components/widgets/CopyrightDialog.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

using ComponentsTest::FakeDeviceService;
using Hvd::Weft::Communication::ComPortScanner;
using Hvd::Weft::Communication::LogLevel;
using Hvd::Weft::Components::CopyrightDialog;

namespace
{

class FailingOpener : public Hvd::Weft::Components::LocalizedFileOpener
{
protected:
    bool doOpenFile(const QString&) override { return false; }
};

// Opens nothing; keeps the paths it was asked to open.
class RecordingOpener : public Hvd::Weft::Components::LocalizedFileOpener
{
public:
    QStringList opened;

protected:
    bool doOpenFile(const QString& path) override
    {
        opened.append(path);
        return true;
    }
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

// The program's device stack with a stand-in service, and the window on it.
struct Assembly
{
    std::unique_ptr<FakeDeviceService> made = std::make_unique<FakeDeviceService>();
    FakeDeviceService& service = *made;
    Hvd::Weft::Components::DeviceStack stack{
        {VELTRIX_Timing(), [] { return ComPortScanner::List{}; }, std::move(made)}};
    std::unique_ptr<MainWindow> window;

    explicit Assembly(Hvd::Weft::Components::LocalizedFileOpener& opener)
        : window(std::make_unique<MainWindow>(stack, opener))
    {
    }
    ~Assembly() { window.reset(); }
};

} // namespace

TEST_F(MainWindowTest, FixedFrameTitleAndActions)
{
    Assembly assembly(opener);
    MainWindow& window = *assembly.window;
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
        Assembly assembly(opener);
        MainWindow& window = *assembly.window;
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
    Assembly assembly(opener);
    MainWindow& restored = *assembly.window;
    restored.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(restored.size(), QSize(470, 340));
}

TEST_F(MainWindowTest, BrokenSavedSettingsKeepTheBuiltInLayout)
{
    QSettings().setValue("Ui/MainWindow/Geometry", QByteArray("garbage"));
    QSettings().setValue("Ui/MainWindow/State", QByteArray("\x01\x02", 2));
    Assembly assembly(opener);
    MainWindow& window = *assembly.window;
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(470, 340));
    EXPECT_TRUE(window.findChild<QToolBar*>("toolBar")->isVisible());
}

TEST_F(MainWindowTest, HelpWithoutDocumentNamesTheFallbackFile)
{
    Assembly assembly(opener);
    MainWindow& window = *assembly.window;
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

TEST_F(MainWindowTest, HelpOpensTheManualOfTheSystemLanguageBesideTheProgramElseTheEnglishOne)
{
    // The build renders both manuals beside the program.
    const QDir programDir(QCoreApplication::applicationDirPath());
    ASSERT_TRUE(programDir.exists("OrvikRescaler.pdf"));
    ASSERT_TRUE(programDir.exists("OrvikRescaler_de.pdf"));

    const QLocale previous;
    const std::vector<std::pair<QLocale, QString>> cases = {
        {QLocale(QLocale::German, QLocale::Germany), "OrvikRescaler_de.pdf"},
        {QLocale(QLocale::German, QLocale::Switzerland), "OrvikRescaler_de.pdf"},
        {QLocale(QLocale::French, QLocale::France), "OrvikRescaler.pdf"},
    };
    for (const auto& [locale, manual] : cases)
    {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        MessageBoxes boxes;
        RecordingOpener recording;
        Assembly assembly(recording);
        assembly.window->findChild<QAction*>("actionHelp")->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(recording.opened, QStringList{programDir.absoluteFilePath(manual)});
        EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();
    }
    QLocale::setDefault(previous);
}

TEST_F(MainWindowTest, RescalerInTheMiddleAndTheServiceInItsOwnThreadUntilTheStackGoes)
{
    auto assembly = std::make_unique<Assembly>(opener);
    EXPECT_NE(qobject_cast<OrvikWidget*>(assembly->window->centralWidget()), nullptr);
    QThread* thread = assembly->service.thread();
    ASSERT_NE(thread, QThread::currentThread());
    EXPECT_EQ(thread->objectName(), "DeviceThread");
    EXPECT_TRUE(thread->isRunning());

    // A slot still running when the stack goes is waited for.
    QSemaphore slotStarted;
    std::atomic<bool> slotDone = false;
    QMetaObject::invokeMethod(&assembly->service,
                              [&slotStarted, &slotDone]
                              {
                                  slotStarted.release();
                                  QThread::msleep(200);
                                  slotDone = true;
                              });
    ASSERT_TRUE(slotStarted.tryAcquire(1, 10000));
    assembly->window.reset();
    assembly.reset();
    EXPECT_TRUE(slotDone);
}

TEST_F(MainWindowTest, ServiceLogLinesReachTheApplicationLogFromTheDeviceThread)
{
    ComponentsTest::LogCapture log;
    {
        Assembly assembly(opener);
        Q_EMIT assembly.service.log(LogLevel::Info, "opened port ttyS3");
        Q_EMIT assembly.service.log(LogLevel::Error, "no answer");
        Q_EMIT assembly.service.log(static_cast<LogLevel>(6), "beyond the levels");
        // The window waits for the device thread, which has written them by then.
    }
    const std::string text = log.text();
    EXPECT_TRUE(ComponentsTest::inOrder(
        text, {"[info] [DeviceThread] opened port ttyS3", "[error] [DeviceThread] no answer"}));
    EXPECT_EQ(text.find("beyond the levels"), std::string::npos);
    EXPECT_EQ(text.find("[DeviceThread] [DeviceThread]"), std::string::npos);
}

TEST_F(MainWindowTest, InfoOpensTheOneAboutDialogWithoutStackingAnother)
{
    Assembly assembly(opener);
    MainWindow& window = *assembly.window;
    window.show();
    auto* info = window.findChild<QAction*>("actionInfo");
    ASSERT_EQ(window.findChildren<CopyrightDialog*>().size(), 1);
    CopyrightDialog* dialog = window.findChild<CopyrightDialog*>();
    EXPECT_FALSE(dialog->isVisible());

    // Window-modal, and Info returns at once instead of running the dialog.
    info->trigger();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->windowTitle(), "About OrvikRescaler");
    // The version line ends with the build number the window's title ends with.
    EXPECT_EQ(dialog->findChild<QLabel*>("application")->text(), "OrvikRescaler V1.1.0-0-g7aecaff (260819)");
    EXPECT_TRUE(window.windowTitle().endsWith(" (260819)"));

    info->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.findChildren<CopyrightDialog*>(), QList<CopyrightDialog*>{dialog});
    EXPECT_TRUE(dialog->isVisible());

    // Closing only hides it; the next Info shows the same one again.
    EXPECT_TRUE(dialog->close());
    EXPECT_FALSE(dialog->isVisible());
    info->trigger();
    EXPECT_EQ(window.findChildren<CopyrightDialog*>(), QList<CopyrightDialog*>{dialog});
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(MainWindowTest, ClosingTheWindowClosesAnOpenAboutDialog)
{
    auto assembly = std::make_unique<Assembly>(opener);
    assembly->window->show();
    CopyrightDialog* dialog = assembly->window->findChild<CopyrightDialog*>();
    ASSERT_NE(dialog, nullptr);
    int closed = 0;
    QObject::connect(dialog, &QDialog::finished, [&closed] { ++closed; });

    assembly->window->findChild<QAction*>("actionInfo")->trigger();
    ASSERT_TRUE(dialog->isVisible());
    assembly.reset();
    EXPECT_EQ(closed, 1);
}
