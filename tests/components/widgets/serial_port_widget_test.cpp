#include "components/components_test_support.h"
#include "components/widgets/SerialPortWidget.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Components;
using namespace ComponentsTest;
using Hvd::Weft::Communication::ComPortScanner;

namespace
{

// Records the ports it is asked to connect; nothing is ever connected.
class RecordingConnector : public ComPortConnector
{
public:
    explicit RecordingConnector(const ComPortScanner& scanner)
        : ComPortConnector(scanner)
    {
    }
    bool isTargetConnected() const override { return false; }
    QStringList requested;

protected:
    void doDisconnectTarget(bool) override {}
    void clear() override {}
    void doConnectTarget(const QString& port) override
    {
        requested.append(port);
        setRunning(false);
    }
    bool containsConnectedPort(const QList<Comport>&) const override { return false; }
};

ComPortScanner::List ports(const QStringList& numbers)
{
    ComPortScanner::List result;
    for (const auto& number : numbers)
    {
        Comport port;
        port.number = number;
        result.append(port);
    }
    return result;
}

struct SerialPortWidgetTest : ::testing::Test
{
    QTemporaryDir settingsDir;
    ComPortScanner scanner;
    RecordingConnector connector{scanner};
    SerialPortWidget widget;

    SerialPortWidgetTest()
    {
        QCoreApplication::setOrganizationName("Halvard GmbH");
        QCoreApplication::setApplicationName("OrvikRescalerTest");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }

    QComboBox* combo() { return widget.findChild<QComboBox*>("selectPort"); }
    QPushButton* button() { return widget.findChild<QPushButton*>("connect"); }
    QProgressBar* bar() { return widget.findChild<QProgressBar*>("progress"); }
    QStringList items()
    {
        QStringList result;
        for (int i = 0; i < combo()->count(); ++i)
            result.append(combo()->itemText(i));
        return result;
    }
    QString saved(const QString& key) { return QSettings().value("Wizards/" + key + "/ComPort").toString(); }
};

} // namespace

TEST_F(SerialPortWidgetTest, SavedPortIsSelectedAndNotRewrittenByARefill)
{
    QSettings().setValue("Wizards/Rescaler/ComPort", "COM7");
    widget.setSettings(QLatin1String("Rescaler"));
    widget.setConnector(connector);
    emit scanner.foundNewPorts(ports({"COM3", "COM7", "COM9"}));
    EXPECT_EQ(items(), (QStringList{"COM3", "COM7", "COM9"}));
    EXPECT_EQ(combo()->currentText(), "COM7");
    EXPECT_EQ(saved("Rescaler"), "COM7");

    // The remembered port is gone for now: the list shows another one, but
    // the choice survives until the user makes a new one.
    emit scanner.foundNewPorts(ports({"COM3", "COM9"}));
    EXPECT_EQ(combo()->currentText(), "COM3");
    EXPECT_EQ(saved("Rescaler"), "COM7");
    emit scanner.foundNewPorts(ports({"COM7", "COM9"}));
    EXPECT_EQ(combo()->currentText(), "COM7");

    combo()->setCurrentIndex(1);
    EXPECT_EQ(saved("Rescaler"), "COM9");
}

TEST_F(SerialPortWidgetTest, WithoutKeyNothingIsStoredOrRead)
{
    QSettings().setValue("Wizards//ComPort", "COM9");
    widget.setConnector(connector);
    emit scanner.foundNewPorts(ports({"COM3", "COM9"}));
    EXPECT_EQ(combo()->currentText(), "COM3");
    combo()->setCurrentIndex(1);
    widget.savePort("COM9");
    QSettings settings;
    EXPECT_EQ(settings.allKeys(), QStringList{"Wizards/ComPort"}) << "only what the test itself stored";
}

TEST_F(SerialPortWidgetTest, ConnectActsOnlyWhenEnabled)
{
    {
        LogCapture log;
        widget.enable();
        widget.connectTarget();
        EXPECT_TRUE(inOrder(log.text(), {"[error] [main] Cannot connect, no connector present"}));
        EXPECT_FALSE(combo()->isEnabled());
    }
    widget.setConnector(connector);
    widget.enable();
    EXPECT_FALSE(button()->isEnabled()) << "no port to connect";
    widget.disable();
    emit scanner.foundNewPorts(ports({"COM3", "COM5"}));
    EXPECT_FALSE(button()->isEnabled());
    QSignalSpy started(&widget, &SerialPortWidget::connectionStarted);
    widget.connectTarget();
    EXPECT_EQ(started.count(), 0) << "a disabled widget ignores calls";
    EXPECT_TRUE(connector.requested.isEmpty());

    widget.enable();
    EXPECT_TRUE(button()->isEnabled());
    combo()->setCurrentIndex(1);
    bar()->setValue(70);
    LogCapture log;
    QTest::mouseClick(button(), Qt::LeftButton);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(connector.requested, QStringList{"COM5"});
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_FALSE(combo()->isEnabled());
    EXPECT_FALSE(button()->isEnabled());
    EXPECT_TRUE(inOrder(log.text(), {"[info] [main] Starting connection to COM5"}));

    // One connection per enable.
    widget.connectTarget();
    EXPECT_EQ(connector.requested.size(), 1);
}

TEST_F(SerialPortWidgetTest, ProgressAndShowOnlyPorts)
{
    widget.setConnector(connector);
    emit connector.progressUpdated(42, "Connecting to device");
    EXPECT_EQ(bar()->value(), 42);

    widget.setShowOnlyPorts(true);
    widget.show();
    EXPECT_FALSE(button()->isVisible());
    EXPECT_FALSE(bar()->isVisible());
    EXPECT_TRUE(combo()->isVisible());
    emit connector.progressUpdated(80, "Connecting to device");
    EXPECT_EQ(bar()->value(), 42);
}

TEST_F(SerialPortWidgetTest, AReplacedConnectorIsNoLongerHeard)
{
    ComPortScanner otherScanner;
    RecordingConnector other(otherScanner);
    widget.setConnector(connector);
    widget.setConnector(other);
    emit scanner.foundNewPorts(ports({"COM3"}));
    EXPECT_EQ(combo()->count(), 0);
    emit otherScanner.foundNewPorts(ports({"COM8"}));
    EXPECT_EQ(items(), QStringList{"COM8"});
    widget.enable();
    widget.connectTarget();
    EXPECT_EQ(other.requested, QStringList{"COM8"});
    EXPECT_TRUE(connector.requested.isEmpty());
}
