#include "tools/help-manual/WindowTour.h"

#include "app/MainWindow.h"
#include "app/OrvikWidget.h"
#include "app/RescaleFlow.h"
#include "app/SensorBackup.h"
#include "components/connectors/DeviceStack.h"
#include "components/logging/LocalizedFileOpener.h"
#include "tools/help-manual/StandInService.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

using Hvd::Weft::Communication::ComPortScanner;
using State = OrvikWidget::State;

namespace
{

constexpr int stateTimeoutMs = 10000;

// Help is not asked for on a tour.
class NoOpener : public Hvd::Weft::Components::LocalizedFileOpener
{
protected:
    bool doOpenFile(const QString&) override { return false; }
};

bool waitFor(const std::function<bool()>& reached)
{
    QElapsedTimer clock;
    clock.start();
    while (!reached())
    {
        if (clock.elapsed() > stateTimeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for a moment: queued answers and repaints land.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
}

// At twice the screen's resolution, so that the printed pictures stay sharp.
// Pending layout and the answers already queued land first.
QImage shot(QWidget& widget)
{
    settle();
    constexpr qreal ratio = 2;
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

// A message box is a window of its own: drawn centred over the window it
// belongs to, framed as a window manager would.
QImage withMessageBox(const QImage& window, const QImage& box)
{
    QImage shot = window.convertToFormat(QImage::Format_RGB32);
    const qreal ratio = shot.devicePixelRatio();
    QPainter painter(&shot);
    const QSizeF boxSize = QSizeF(box.size()) / box.devicePixelRatio();
    const QPointF at((shot.width() / ratio - boxSize.width()) / 2,
                     (shot.height() / ratio - boxSize.height()) / 2);
    painter.fillRect(QRectF(at + QPointF(3, 3), boxSize), QColor(0, 0, 0, 60));
    painter.drawImage(QRectF(at, boxSize), box);
    painter.setPen(QPen(QColor(80, 80, 80), 1));
    painter.drawRect(QRectF(at, boxSize).adjusted(-0.5, -0.5, 0.5, 0.5));
    return shot;
}

// The program's device stack with the stand-in service, and its window.
// The tour lists the ports itself: the scanner's first list would come
// only after the tour.
VELTRIX_Timing tourTiming()
{
    VELTRIX_Timing timing;
    timing.portScanIntervalMs = 60000;
    return timing;
}

struct Assembly
{
    NoOpener opener;
    std::unique_ptr<StandInService> standIn = std::make_unique<StandInService>();
    StandInService& service = *standIn;
    Hvd::Weft::Components::DeviceStack stack{
        {tourTiming(), [] { return ComPortScanner::List{}; }, std::move(standIn)}};
    Hvd::Weft::Components::DeviceConnector& connector = stack.getConnector();
    MainWindow window{stack, opener};
};

} // namespace

QMap<QString, QImage> takeWindowTour(QString* error)
{
    QMap<QString, QImage> shots;
    // The tour's backups and reports go into a folder of its own, laid out
    // like the per-user one that the window names (XDG_DATA_HOME on Linux).
    QTemporaryDir records;
    qputenv("XDG_DATA_HOME", QFile::encodeName(records.filePath(QStringLiteral(".local/share"))));
    Assembly assembly;
    MainWindow& window = assembly.window;
    auto* widget = qobject_cast<OrvikWidget*>(window.centralWidget());
    auto* size = window.findChild<QComboBox*>(QStringLiteral("size"));
    auto* diameter = window.findChild<QDoubleSpinBox*>(QStringLiteral("innerDiameter"));
    auto* parameterize = window.findChild<QPushButton*>(QStringLiteral("execute"));
    if (!widget || !size || !diameter || !parameterize || !records.isValid())
    {
        *error = QStringLiteral("the window lacks its rescaler controls");
        return {};
    }
    const QString folder = SensorBackup::defaultFolder();
    widget->getFlow().setBackupFolder(
        folder.startsWith(records.path()) ? folder : records.filePath(QStringLiteral("backups")));
    window.show();

    // Every message box is taken and closed at once: one left open would
    // hold the tour (and the build) in its modal loop.
    QString boxText;
    QImage boxShot;
    QTimer boxWatch;
    boxWatch.setInterval(5);
    QObject::connect(&boxWatch, &QTimer::timeout,
                     [&]
                     {
                         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                         if (!box)
                             return;
                         // Taking the shot runs the event loop: no second one meanwhile.
                         boxWatch.stop();
                         boxText = box->text();
                         boxShot = withMessageBox(shot(window), shot(*box));
                         box->accept();
                         boxWatch.start();
                     });
    boxWatch.start();

    // Waits for a state; a message on the way means the tour went wrong.
    const auto reach = [&](const char* state, const std::function<bool()>& reached)
    {
        if (waitFor([&] { return !boxText.isEmpty() || reached(); }) && boxText.isEmpty())
            return true;
        *error = boxText.isEmpty()
                     ? QStringLiteral("the window did not reach the state \"%1\"").arg(QLatin1String(state))
                     : QStringLiteral("the window showed \"%1\" on the way to the state \"%2\"")
                           .arg(boxText, QLatin1String(state));
        return false;
    };

    Hvd::Weft::Communication::Comport port;
    port.number = QStringLiteral("ttyUSB0");
    assembly.connector.updatePorts({port});
    size->setCurrentIndex(size->findText(QStringLiteral("Dxx")));
    diameter->setValue(123.4);
    if (!reach("ready", [&] { return parameterize->isEnabled() && diameter->isEnabled(); }))
        return {};
    shots.insert(QStringLiteral("ready"), shot(window));

    assembly.service.holdWrite = true;
    parameterize->click();
    if (!reach("running", [&] { return assembly.service.writeHeld.load(); }))
        return {};
    shots.insert(QStringLiteral("running"), shot(window));

    assembly.service.releaseWrite();
    if (!reach("success", [&] { return widget->getState() == State::Done; }))
        return {};
    shots.insert(QStringLiteral("success"), shot(window));

    // A sensor of another kind answers: the window refuses it in a message
    // box and releases it.
    assembly.service.foreignSensor = true;
    parameterize->click();
    const bool refused = waitFor(
        [&]
        {
            return !boxText.isEmpty() && widget->getState() == State::Reset &&
                   !assembly.connector.isRunning() && !assembly.connector.isTargetConnected();
        });
    if (!refused)
    {
        *error = QStringLiteral("the window did not refuse a sensor of another kind");
        return {};
    }
    shots.insert(QStringLiteral("failure"), boxShot);
    return shots;
}
