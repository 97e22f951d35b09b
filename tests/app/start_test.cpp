// OrvikRescaler::start end to end in this process: log file, event loop
// code, closing line.
#include "app/OrvikRescaler.h"
#include "app/OrvikWidget.h"
#include "tools/orvik-sim/OrvikSimulatorFixture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <csignal>

#include <gtest/gtest.h>

namespace
{
OrvikRescaler* application = nullptr;
}

TEST(OrvikRescaler, StartRunsTheEventLoopAndLogsItsCode)
{
    QTemporaryDir workDir;
    // The program reads its catalogues relative to the working directory.
    ASSERT_TRUE(QDir(workDir.path()).mkdir("translations"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/translations/OrvikRescaler_de.qm",
                            workDir.filePath("translations/OrvikRescaler_de.qm")));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50,
                       []
                       {
                           EXPECT_FALSE(QApplication::topLevelWidgets().isEmpty());
                           QCoreApplication::exit(7);
                       });
    EXPECT_EQ(application->start(), 7);

    QFile log(workDir.filePath("OrvikRescaler.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.front().endsWith("] [info] [main] Starting OrvikRescaler"))
        << lines.front().toStdString();
    EXPECT_TRUE(lines.back().endsWith("] [info] [main] Closing OrvikRescaler, return code 7"))
        << lines.back().toStdString();
    // The window saved its geometry on the way out.
    EXPECT_TRUE(QSettings().contains("Ui/MainWindow/Geometry"));
}

// Under a German locale the window shows the application's catalogue from
// translations/ and the catalogues the libraries embed.
TEST(OrvikRescaler, UnderAGermanLocaleTheWindowIsGerman)
{
    QTemporaryDir workDir;
    ASSERT_TRUE(QFile::link(QCoreApplication::applicationDirPath() + "/translations",
                            workDir.filePath("translations")));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    QStringList shown;
    QTimer::singleShot(50,
                       [&shown]
                       {
                           for (QWidget* top : QApplication::topLevelWidgets())
                               if (auto* widget = top->findChild<OrvikWidget*>())
                                   shown << top->findChild<QAction*>("actionHelp")->toolTip()
                                         << widget->findChild<QLabel*>("sizeLabel")->text()
                                         << widget->findChild<QPushButton*>("execute")->text()
                                         << widget->findChild<QLabel*>("status")->text();
                           QCoreApplication::exit(0);
                       });
    EXPECT_EQ(application->start(), 0);
    QLocale::setDefault(previous);
    for (QTranslator* translator : application->findChildren<QTranslator*>())
    {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(shown, (QStringList{"Hilfe anzeigen", "Nennweite:", "&Parametrieren", "Warten auf Benutzer"}));
}

// Stopped from outside: the event loop ends with the termination code and the
// log keeps everything up to the closing line.
TEST(OrvikRescaler, TerminationSignalLeavesThroughTheNormalPath)
{
    QTemporaryDir workDir;
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50, [] { std::raise(SIGTERM); });
    EXPECT_EQ(application->start(), OrvikRescaler::terminatedReturnCode);

    QFile log(workDir.filePath("OrvikRescaler.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll().trimmed();
    EXPECT_TRUE(text.contains("] [warning] [main] Received SIGTERM, closing")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("] [info] [main] Closing OrvikRescaler, return code 1")) << text.toStdString();
    // The handler goes with the program: the signal's own disposition is back.
    struct sigaction current = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

namespace
{
// How many handles this process holds on the device.
int openHandles(const QString& devicePath)
{
    int count = 0;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        count += fd.symLinkTarget() == devicePath ? 1 : 0;
    return count;
}
} // namespace

// SIGTERM while the window writes into the simulated sensor: the rescale
// stops, the port is released and the log keeps every line to the closing one.
TEST(OrvikRescaler, TerminationSignalInTheMiddleOfARescale)
{
    Hvd::Weft::Simulator::OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const QString line = sensor.devicePath();
    const int handles = openHandles(line);
    QTemporaryDir workDir;
    ASSERT_TRUE(
        QFile::link(QCoreApplication::applicationDirPath() + "/Resources", workDir.filePath("Resources")));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());
    application->setPortLister(
        [line]
        {
            Hvd::Weft::Communication::Comport port;
            port.number = line;
            return Hvd::Weft::Communication::ComPortScanner::List{port};
        });

    int writesAtSignal = -1;
    QTimer::singleShot(50,
                       [&]
                       {
                           OrvikWidget* widget = nullptr;
                           for (QWidget* top : QApplication::topLevelWidgets())
                               widget = widget ? widget : top->findChild<OrvikWidget*>();
                           ASSERT_NE(widget, nullptr);
                           auto* sizes = widget->findChild<QComboBox*>("size");
                           sizes->setCurrentIndex(sizes->findText("D80"));
                           auto* ports = widget->findChild<QComboBox*>("selectPort");
                           ASSERT_TRUE(QTest::qWaitFor([&] { return ports->count() > 0; }, 5000));
                           widget->findChild<QPushButton*>("execute")->click();
                           ASSERT_TRUE(QTest::qWaitFor([&] { return sensor.requestCount(131) >= 2; }, 60000));
                           writesAtSignal = sensor.requestCount(131);
                           std::raise(SIGTERM);
                       });
    // Should the steps above fail, the program still ends.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(90000);
    EXPECT_EQ(application->start(), OrvikRescaler::terminatedReturnCode);
    application->setPortLister(&Hvd::Weft::Communication::QtComPortScanner::systemPorts);

    EXPECT_GE(writesAtSignal, 2);
    EXPECT_EQ(openHandles(line), handles) << "port still open";
    QTest::qWait(300);
    EXPECT_LE(sensor.requestCount(131), writesAtSignal + 1);
    EXPECT_EQ(sensor.requestCount(143), 0);
    QFile log(workDir.filePath("OrvikRescaler.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll().trimmed();
    for (const char* entry : {"Command: 131", "] [warning] [main] Received SIGTERM, closing"})
        EXPECT_TRUE(text.contains(entry)) << entry;
    EXPECT_TRUE(text.endsWith("] [info] [main] Closing OrvikRescaler, return code 1")) << text.toStdString();
}

TEST(OrvikRescaler, StartsWithoutALogFileWhereNoneCanBeOpened)
{
    QTemporaryDir workDir;
    // A folder in the log file's place: the file cannot be opened, even by root.
    ASSERT_TRUE(QDir(workDir.path()).mkdir("OrvikRescaler.log"));
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, workDir.path());

    QTimer::singleShot(50, [] { QCoreApplication::exit(3); });
    EXPECT_EQ(application->start(), 3);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    OrvikRescaler app(argc, argv);
    application = &app;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
