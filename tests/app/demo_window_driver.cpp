// Stands in for OrvikRescaler under `scripts/demo --gui --program`: runs the
// program's own start (the same objects, the system's port list through the
// real scanner) and drives its window as a technician would. It finds the
// fake USB adapter among the system's serial ports by its description, waits
// for it in the window's port list, picks it and a size, presses
// "Parameterize", waits for the outcome and closes the window.
//
//   demo_window_driver [--adapter DESCRIPTION] [--size SIZE]
//
// Prints what it saw; exits 0 only when the rescale ended in success with the
// new values shown.

#include "app/MainWindow.h"
#include "app/OrvikRescaler.h"
#include "app/OrvikWidget.h"
#include "app/message_boxes.h"
#include "components/widgets/MeasurementsWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace
{

// The rescale spends some 18 s in the protocol's own waits.
constexpr int iRunTimeoutMs = 50000;
constexpr int iPollMs = 50;

void say(const QString& line)
{
    std::printf("driver: %s\n", qPrintable(line));
    std::fflush(stdout);
}

class WindowDriver : public QObject
{
public:
    WindowDriver(QString adapter, QString size)
        : adapter(std::move(adapter))
        , size(std::move(size))
        , deadline(iRunTimeoutMs)
    {
        connect(&poll, &QTimer::timeout, this, &WindowDriver::step);
        poll.start(iPollMs);
    }

    bool succeeded() const { return success; }

private:
    enum class Phase
    {
        Window,
        PortList,
        Running,
        Finished
    };

    void step()
    {
        if (phase != Phase::Finished && deadline.hasExpired())
            return finish(QStringLiteral("no outcome within %1 s").arg(iRunTimeoutMs / 1000));
        switch (phase)
        {
        case Phase::Window:
            return findWindow();
        case Phase::PortList:
            return pickPortAndStart();
        case Phase::Running:
            return awaitOutcome();
        case Phase::Finished:
            return;
        }
    }

    void findWindow()
    {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<MainWindow*>(top); main && main->isVisible())
                window = main;
        if (!window)
            return;
        widget = qobject_cast<OrvikWidget*>(window->centralWidget());
        if (!widget)
            return finish(QStringLiteral("the window has no rescaler"));

        // The system's own list, as the program's scanner reads it.
        const auto infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo& info : infos)
        {
            say(QStringLiteral("system port %1: \"%2\" by \"%3\", serial %4, %5:%6")
                    .arg(info.portName(), info.description(), info.manufacturer(), info.serialNumber())
                    .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                    .arg(info.productIdentifier(), 4, 16, QLatin1Char('0')));
            if (info.description() == adapter)
                portName = info.portName();
        }
        if (portName.isEmpty())
            return finish(QStringLiteral("no serial port described as \"%1\"").arg(adapter));
        phase = Phase::PortList;
    }

    void pickPortAndStart()
    {
        // The scanner's first list arrives one interval after start.
        auto* ports = widget->findChild<QComboBox*>(QStringLiteral("selectPort"));
        const int port = ports ? ports->findText(portName) : -1;
        if (port < 0)
            return;
        QStringList listed;
        for (int i = 0; i < ports->count(); ++i)
            listed << ports->itemText(i);
        say(QStringLiteral("window port list: %1").arg(listed.join(QStringLiteral(", "))));
        ports->setCurrentIndex(port);

        auto* sizes = widget->findChild<QComboBox*>(QStringLiteral("size"));
        const int chosen = sizes->findText(size);
        if (chosen < 0)
            return finish(QStringLiteral("no size %1 in the list").arg(size));
        sizes->setCurrentIndex(chosen);
        say(QStringLiteral("port %1, size %2, pressing Parameterize").arg(portName, size));
        widget->findChild<QPushButton*>(QStringLiteral("execute"))->click();
        if (widget->getState() != OrvikWidget::State::Parameterizing)
            return finish(QStringLiteral("the press did not start a rescale: %1").arg(shownMessages()));
        phase = Phase::Running;
    }

    void awaitOutcome()
    {
        if (widget->getState() == OrvikWidget::State::Parameterizing)
            return;
        if (widget->getState() != OrvikWidget::State::Done)
            return finish(QStringLiteral("the rescale failed: %1").arg(shownMessages()));
        const auto* values = widget->findChild<Hvd::Weft::Components::MeasurementsWidget*>();
        const QString diameter = values->text(QStringLiteral("InnerDiameter")).trimmed();
        const QString flow = values->text(QStringLiteral("FlowMeasEnd")).trimmed();
        say(QStringLiteral("shown: Inner Diameter %1, Max. flow %2").arg(diameter, flow));
        if (!boxes.texts.isEmpty())
            return finish(QStringLiteral("messages during a successful rescale: %1").arg(shownMessages()));
        if (diameter.isEmpty() || diameter == QLatin1String("-") || flow.isEmpty() ||
            flow == QLatin1String("-"))
            return finish(QStringLiteral("the new values are not shown"));
        success = true;
        finish(QStringLiteral("success"));
    }

    QString shownMessages() const
    {
        return boxes.texts.isEmpty() ? QStringLiteral("no message") : boxes.texts.join(QStringLiteral(" | "));
    }

    // Closing the window ends the program's event loop, as for the user.
    void finish(const QString& outcome)
    {
        phase = Phase::Finished;
        poll.stop();
        say(outcome);
        if (window)
            window->close();
        else
            QCoreApplication::exit(1);
    }

    const QString adapter;
    const QString size;
    QDeadlineTimer deadline;
    QTimer poll;
    MessageBoxes boxes;
    Phase phase = Phase::Window;
    MainWindow* window = nullptr;
    OrvikWidget* widget = nullptr;
    QString portName;
    bool success = false;
};

QString argument(const QStringList& arguments, const QString& name, const QString& fallback)
{
    const auto at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    // Backups, reports and window settings go to throw-away places, not to
    // the user's.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    OrvikRescaler application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    WindowDriver driver(
        argument(arguments, QStringLiteral("--adapter"), QStringLiteral("Single-Wire Line Adapter")),
        argument(arguments, QStringLiteral("--size"), QStringLiteral("D1H")));
    const int code = application.start();
    return driver.succeeded() ? code : 1;
}
