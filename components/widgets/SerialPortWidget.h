#pragma once

#include "components/connectors/ComPortConnector.h"

#include <QLatin1String>
#include <QString>
#include <QWidget>

QT_BEGIN_NAMESPACE
class Ui_SerialPortWidget;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{

// The list of serial ports with a connect button, bound to a port
// connector. With a settings key the chosen port is remembered.
class SerialPortWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SerialPortWidget(QWidget* parent = nullptr);
    ~SerialPortWidget() override;

    // The port chosen in the list; empty when there is none.
    QString selectedPort() const;
    void setConnector(ComPortConnector& connector);
    // Empty: nothing is stored or read.
    void setSettings(const QLatin1String& key);
    // Only the port list, without button and progress bar.
    void setShowOnlyPorts(bool showOnlyPorts);
    void enable();
    void disable();

Q_SIGNALS:
    void connectionStarted();

public Q_SLOTS:
    void connectTarget();
    void savePort(const QString& portNumber);

private:
    void refill(const Communication::ComPortScanner::List& ports);
    void updateProgress(std::uint8_t progress);
    QString settingsPath() const;

    Ui_SerialPortWidget* ui;
    ComPortConnector* connector = nullptr;
    QString settingsKey;
    bool enabled = false;
    bool showOnlyPorts = false;
};

} // namespace Hvd::Weft::Components
