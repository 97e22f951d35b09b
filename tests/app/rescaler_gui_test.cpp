// The whole program as the technician uses it, offscreen: the main window
// with the real device service in its thread and the simulated sensor's port
// delivered by the scanner. Choose a size, press "Parameterize", wait for
// Done, then look into the sensor.

#include "app/MainWindow.h"
#include "app/OrvikWidget.h"
#include "app/message_boxes.h"
#include "components/connectors/DeviceStack.h"
#include "components/logging/LocalizedFileOpener.h"
#include "components/widgets/MeasurementsWidget.h"
#include "tests/support/pace.h"
#include "tools/orvik/rescale_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <memory>

using namespace RescaleTest;
using Hvd::Weft::Communication::Comport;
using Hvd::Weft::Communication::ComPortScanner;
using Hvd::Weft::Components::MeasurementsWidget;

namespace
{

class NoHelp : public Hvd::Weft::Components::LocalizedFileOpener
{
protected:
    bool doOpenFile(const QString&) override { return false; }
};

// The program's device stack and window, as the start function makes them,
// with a scanner that lists the simulated sensor's ports.
VELTRIX_Timing scannedEvery(int intervalMs)
{
    VELTRIX_Timing timing = TestSupport::testTiming();
    timing.portScanIntervalMs = intervalMs;
    return timing;
}

struct Program
{
    explicit Program(const OrvikSimulatorOptions& options)
        : sensor(options)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        window = std::make_unique<MainWindow>(stack, opener);
        window->show();
    }
    ~Program() { window.reset(); }

    OrvikWidget& widget() { return *qobject_cast<OrvikWidget*>(window->centralWidget()); }
    template <typename T> T& child(const char* name) { return *widget().findChild<T*>(name); }

    // Picks the size (and for Dxx/Axx the diameter shown), presses
    // "Parameterize" and waits for the run to end.
    OrvikWidget::State rescale(const char* size, double shownDiameter = 0)
    {
        auto& sizes = child<QComboBox>("size");
        sizes.setCurrentIndex(sizes.findText(size));
        if (shownDiameter > 0)
            child<QDoubleSpinBox>("innerDiameter").setValue(shownDiameter);
        // The scanner's first list arrives one interval after start.
        EXPECT_TRUE(QTest::qWaitFor([this] { return child<QComboBox>("selectPort").count() > 0; }, 5000));
        child<QPushButton>("execute").click();
        EXPECT_EQ(widget().getState(), OrvikWidget::State::Parameterizing);
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return widget().getState() != OrvikWidget::State::Parameterizing; }, runTimeoutMs));
        return widget().getState();
    }

    QString shownValue(const char* row)
    {
        return widget().findChild<MeasurementsWidget*>()->text(QString::fromLatin1(row)).trimmed();
    }

    // A second adapter, plugged in after the first was pulled; the scanner
    // lists it from its own thread.
    OrvikSimulatorFixture& plugInAnother(const OrvikSimulatorOptions& options)
    {
        replugged = std::make_unique<OrvikSimulatorFixture>(options);
        listedReplugged = replugged.get();
        return *replugged;
    }

    QTemporaryDir settings;
    OrvikSimulatorFixture sensor;
    std::unique_ptr<OrvikSimulatorFixture> replugged;
    std::atomic<const OrvikSimulatorFixture*> listedReplugged = nullptr;
    NoHelp opener;
    Hvd::Weft::Components::DeviceStack stack{
        {scannedEvery(200),
         [this]
         {
             ComPortScanner::List ports;
             for (const OrvikSimulatorFixture* present :
                  std::initializer_list<const OrvikSimulatorFixture*>{&sensor, listedReplugged.load()})
             {
                 if (present == nullptr || present->hungUp())
                     continue;
                 Comport port;
                 port.number = present->devicePath();
                 ports.append(port);
             }
             return ports;
         },
         nullptr}};
    Hvd::Weft::Components::DeviceConnector& connector = stack.getConnector();
    std::unique_ptr<MainWindow> window;
    MessageBoxes boxes;
    QStringList& shown = boxes.texts;
};

OrvikSimulatorOptions sensorWith(const char* variant)
{
    OrvikSimulatorOptions options;
    options.sensor.variant = QString::fromLatin1(variant);
    options.timing = TestSupport::testTiming();
    return options;
}

} // namespace

TEST(RescalerGui, ImperialSizeFromAMetricCalibration)
{
    CapturedLog log;
    Program program(sensorWith("Orvik 107.1"));
    ASSERT_TRUE(program.sensor.isReady()) << program.sensor.errorString().toStdString();
    const SensorImage before(program.sensor, Target::SubDevice, "V02.10");
    const float oldK = before.nvm(before.kFactor()).toFloat();
    const Orvik orvik = size("A2H");
    const int handles = openHandles(program.sensor.devicePath());

    EXPECT_EQ(program.rescale("A2H"), OrvikWidget::State::Done) << program.shown.join('\n').toStdString();
    EXPECT_TRUE(program.shown.isEmpty()) << program.shown.join('\n').toStdString();
    expectSensorRescaled(program.sensor, orvik, 0.1071, oldK);
    EXPECT_TRUE(QTest::qWaitFor([&] { return openHandles(program.sensor.devicePath()) == handles; }, 3000));

    const Expected expected(orvik);
    EXPECT_EQ(program.shownValue("InnerDiameter"), expected.shownDiameter + " in");
    EXPECT_EQ(program.shownValue("FlowMeasEnd"),
              QStringLiteral("%L1 GPM").arg(expected.shownFlow, 0, 'g', -1));
    // The window names the report, a link to the file beside the backup.
    const QString report = program.child<QLabel>("reportLabel").text();
    const QRegularExpression link(QStringLiteral("href=\"file://([^\"]+\\.report\\.pdf)\""));
    const auto match = link.match(report);
    ASSERT_TRUE(match.hasMatch()) << report.toStdString();
    EXPECT_TRUE(QFileInfo(QUrl::fromPercentEncoding(match.captured(1).toUtf8())).size() > 0)
        << report.toStdString();
    // The window cannot grow: the link must not squeeze the progress and its status.
    for (const char* name : {"status", "reportLabel"})
    {
        const auto& label = program.child<QLabel>(name);
        const auto fits = [&label] { return label.height() >= label.heightForWidth(label.width()); };
        EXPECT_TRUE(QTest::qWaitFor(fits, 500))
            << name << ": " << label.height() << " of " << label.heightForWidth(label.width());
    }
    EXPECT_TRUE(isCleanSuccessLog(log.close()));
}

TEST(RescalerGui, EditedMetricDiameterFromAnImperialCalibration)
{
    Program program(sensorWith("Orvik 3.068"));
    ASSERT_TRUE(program.sensor.isReady()) << program.sensor.errorString().toStdString();
    const SensorImage before(program.sensor, Target::SubDevice, "V02.10");
    const float oldK = before.nvm(before.kFactor()).toFloat();
    Orvik orvik = size("Dxx");
    orvik.setInnerDiameter(Orvik::Diameter(63.5f * 0.001f));

    EXPECT_EQ(program.rescale("Dxx", 63.5), OrvikWidget::State::Done)
        << program.shown.join('\n').toStdString();
    EXPECT_TRUE(program.shown.isEmpty()) << program.shown.join('\n').toStdString();
    expectSensorRescaled(program.sensor, orvik, 3.068 * 0.0254, oldK);

    const Expected expected(orvik);
    EXPECT_EQ(program.shownValue("InnerDiameter"), "63.5 mm");
    EXPECT_EQ(program.shownValue("FlowMeasEnd"),
              QStringLiteral("%L1 m<sup>3</sup>/h").arg(expected.shownFlow, 0, 'g', -1));
}

TEST(RescalerGui, ReadBackThatNeverMatchesEndsInResetWithTheSensorReleased)
{
    Program program(sensorWith("Orvik 82.5"));
    ASSERT_TRUE(program.sensor.isReady()) << program.sensor.errorString().toStdString();
    // A value that never reads back as written, in the backup's read as well:
    // the restore fails the same way as the write.
    const SensorImage device(program.sensor, Target::Device, "V02.11");
    const int address = static_cast<int>(device.parameter("Out2Value20mA").getAddress());
    program.sensor.addFault(Sim::Fault::readbackMismatch(address, -1, Target::Device));
    const int handles = openHandles(program.sensor.devicePath());

    EXPECT_EQ(program.rescale("D1H"), OrvikWidget::State::Reset);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !program.connector.isRunning(); }, runTimeoutMs));
    // One message: the service's, with the restore's outcome. It closed the port with its failure, so
    // the reset only releases it; a restart there would wait out a timeout
    // and add a second, misleading message.
    EXPECT_EQ(program.shown.size(), 1) << program.shown.join('\n').toStdString();
    EXPECT_TRUE(program.sensor.systemCommands().isEmpty());
    EXPECT_EQ(program.sensor.restartCount(), 0);
    EXPECT_FALSE(program.connector.isTargetConnected());
    EXPECT_TRUE(QTest::qWaitFor([&] { return openHandles(program.sensor.devicePath()) == handles; }, 3000));
    EXPECT_EQ(program.shownValue("InnerDiameter"), "-");
}

// The adapter pulled as the first write goes out: one message at once that
// says so and names the backup, no restore or restart into the dead line, the
// window ready again with the port gone from its list, and the next rescale
// on the adapter plugged in afterwards succeeds.
TEST(RescalerGui, PulledAdapterEndsTheRunAndTheNextRescaleWorks)
{
    Program program(sensorWith("Orvik 82.5"));
    ASSERT_TRUE(program.sensor.isReady()) << program.sensor.errorString().toStdString();
    program.sensor.hangUpAtNextRequest(131);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(program.rescale("D1H"), OrvikWidget::State::Reset);
    // Not the 15 s answer timeout.
    EXPECT_TIME_BELOW(clock.elapsed(), 15000);
    ASSERT_EQ(program.shown.size(), 1) << program.shown.join('\n').toStdString();
    EXPECT_TRUE(
        program.shown.at(0).startsWith(Hvd::Weft::Communication::VeltrixDeviceService::lineLostText()))
        << program.shown.at(0).toStdString();
    EXPECT_TRUE(program.shown.at(0).contains(QLatin1String("orvik restore")))
        << program.shown.at(0).toStdString();
    EXPECT_TRUE(program.sensor.systemCommands().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !program.connector.isRunning(); }, runTimeoutMs));
    auto& ports = program.child<QComboBox>("selectPort");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ports.count() == 0; }, 3000));

    const OrvikSimulatorFixture& replugged = program.plugInAnother(sensorWith("Orvik 82.5"));
    ASSERT_TRUE(replugged.isReady());
    program.shown.clear();
    EXPECT_EQ(program.rescale("D1H"), OrvikWidget::State::Done) << program.shown.join('\n').toStdString();
    EXPECT_TRUE(program.shown.isEmpty()) << program.shown.join('\n').toStdString();
    EXPECT_EQ(replugged.restartCount(), 1);
}
