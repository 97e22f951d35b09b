#include "components/widgets/SerialPortWidget.h"
#include "ui_SerialPortWidget.h"

#include "logging/Logger.h"

#include <QSettings>

namespace Hvd::Weft::Components
{

SerialPortWidget::SerialPortWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_SerialPortWidget)
{
    ui->setupUi(this);
    connect(ui->connect, &QPushButton::clicked, this, &SerialPortWidget::connectTarget);
    connect(ui->selectPort, &QComboBox::currentTextChanged, this, &SerialPortWidget::savePort);
}

SerialPortWidget::~SerialPortWidget()
{
    delete ui;
}

void SerialPortWidget::setConnector(ComPortConnector& newConnector)
{
    if (connector)
        disconnect(connector, nullptr, this, nullptr);
    connector = &newConnector;
    connect(connector, &ComPortConnector::portsChanged, this, &SerialPortWidget::refill);
    connect(connector, &Connector::progressUpdated, this, &SerialPortWidget::updateProgress);
}

void SerialPortWidget::setSettings(const QLatin1String& key)
{
    settingsKey = key;
}

QString SerialPortWidget::settingsPath() const
{
    return QStringLiteral("Wizards/") + settingsKey + QStringLiteral("/ComPort");
}

void SerialPortWidget::setShowOnlyPorts(bool value)
{
    showOnlyPorts = value;
    ui->connect->setVisible(!value);
    ui->progress->setVisible(!value);
    // Collapsed rather than removed, so the full layout can come back.
    const auto policy = value ? QSizePolicy::Fixed : QSizePolicy::Expanding;
    for (QSpacerItem* spacer : {ui->leftSpacer, ui->rightSpacer})
        spacer->changeSize(value ? 0 : 40, value ? 0 : 20, policy, QSizePolicy::Minimum);
    ui->controlsLayout->invalidate();
}

void SerialPortWidget::enable()
{
    if (!connector)
        return;
    enabled = true;
    ui->selectPort->setEnabled(true);
    ui->connect->setEnabled(ui->selectPort->count() > 0);
}

void SerialPortWidget::disable()
{
    enabled = false;
    ui->selectPort->setEnabled(false);
    ui->connect->setEnabled(false);
}

QString SerialPortWidget::selectedPort() const
{
    return ui->selectPort->currentText();
}

void SerialPortWidget::connectTarget()
{
    if (!connector)
    {
        Logger::error("Cannot connect, no connector present");
        return;
    }
    if (!enabled)
        return;
    enabled = false;
    ui->selectPort->setEnabled(false);
    ui->connect->setEnabled(false);
    ui->progress->setValue(0);
    const QString port = ui->selectPort->currentText();
    Logger::info("Starting connection to {}", port.toStdString());
    Q_EMIT connectionStarted();
    connector->connectTarget(port);
}

void SerialPortWidget::savePort(const QString& portNumber)
{
    if (portNumber.isEmpty() || settingsKey.isEmpty())
        return;
    QSettings().setValue(settingsPath(), portNumber);
}

void SerialPortWidget::refill(const Communication::ComPortScanner::List& ports)
{
    // Filling the list moves the current item; that is no choice of the
    // user and must not overwrite the remembered port.
    disconnect(ui->selectPort, nullptr, this, nullptr);
    ui->selectPort->clear();
    const QString saved = settingsKey.isEmpty() ? QString() : QSettings().value(settingsPath()).toString();
    for (const auto& port : ports)
    {
        ui->selectPort->addItem(port.number);
        if (!saved.isEmpty() && port.number == saved)
            ui->selectPort->setCurrentIndex(ui->selectPort->count() - 1);
    }
    ui->connect->setEnabled(connector && enabled && !ports.isEmpty());
    connect(ui->selectPort, &QComboBox::currentTextChanged, this, &SerialPortWidget::savePort);
}

void SerialPortWidget::updateProgress(std::uint8_t progress)
{
    if (!showOnlyPorts)
        ui->progress->setValue(progress);
}

} // namespace Hvd::Weft::Components
