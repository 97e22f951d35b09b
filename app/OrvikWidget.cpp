#include "app/OrvikWidget.h"
#include "ui_OrvikWidget.h"

#include "app/ParameterizeOrvikCommand.h"
#include "app/RescalerSteps.h"
#include "components/commands/CompositeCommand.h"
#include "components/commands/ReadParametersCommand.h"
#include "components/connectors/DeviceConnector.h"
#include "components/connectors/DeviceContext.h"
#include "components/logging/Logger.h"
#include "components/logging/UiUtils.h"
#include "components/widgets/ExecuteCommandWidget.h"
#include "components/widgets/MeasurementsWidget.h"
#include "units/Units.h"

#include <QSignalBlocker>

#include <cmath>
#include <limits>

using Hvd::Unit::LengthType;
using Hvd::Weft::Components::CompositeCommand;
using Hvd::Weft::Components::ExecuteCommandWidget;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::MeasurementsWidget;
using Hvd::Weft::Components::ReadParametersCommand;
using Hvd::Weft::Components::System;

namespace
{

// How the spin box shows a diameter: one displayed unit in metres (0 for a
// unit it cannot show).
float displayFactor(LengthType unit)
{
    switch (unit)
    {
    case LengthType::MilliMeter:
        return 0.001f;
    case LengthType::Inch:
        return 0.0254f;
    case LengthType::CentiMeter:
        return 0.01f;
    case LengthType::Meter:
    case LengthType::User:
        return 1.0f;
    }
    return 0.0f;
}

} // namespace

OrvikWidget::OrvikWidget(Hvd::Weft::Components::DeviceContext& deviceContext,
                         Hvd::Weft::Communication::DeviceService& deviceService,
                         Hvd::Weft::Components::DeviceConnector& deviceConnector, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_OrvikWidget)
    , context(deviceContext)
    , service(deviceService)
    , connector(deviceConnector)
    , readCommand(new ReadParametersCommand(context, service, tr("Reading calibrated diameter"), nullptr))
    , parameterizeCommand(new ParameterizeOrvikCommand(context, service, nullptr))
    , executeWidget(new ExecuteCommandWidget(
          tr("&Parameterize"), tr("Parameterize the device"),
          new CompositeCommand({readCommand, parameterizeCommand}, true, nullptr), true))
    , measurementsWidget(new MeasurementsWidget(tr("New parameter values"), false, 0, 0))
{
    ui->setupUi(this);
    ui->verticalLayout->addWidget(executeWidget);
    ui->verticalLayout->addWidget(measurementsWidget);

    measurementsWidget->add(QStringLiteral("InnerDiameter"), tr("Inner Diameter"), QString(),
                            MeasurementsWidget::Column::First);
    measurementsWidget->add(QStringLiteral("FlowMeasEnd"),
                            tr("Max. flow") + QStringLiteral(" (Q<sub>max</sub>)"), QString(),
                            MeasurementsWidget::Column::First);

    ui->comPorts->setConnector(connector);
    ui->comPorts->setShowOnlyPorts(true);

    connect(executeWidget, &ExecuteCommandWidget::executionRequested, this, &OrvikWidget::request);
    connect(executeWidget, &ExecuteCommandWidget::finished, this, [this] { changeState(State::Done); });
    connect(executeWidget, &ExecuteCommandWidget::errorOccurred, this,
            [this](const QString& message, System, bool disconnected)
            {
                // The service has closed the port with its failure: only
                // forget the sensor, a restart could no longer reach it.
                if (disconnected)
                    connector.disconnectLostTarget();
                fail(message);
            });
    connect(&connector, &Hvd::Weft::Components::Connector::progressUpdated, this,
            [this](std::uint8_t progress, const QString& description)
            {
                if (state == State::Parameterizing)
                    executeWidget->updateProgress(progress, description);
            });
    connect(&connector, &Hvd::Weft::Components::DeviceConnector::deviceConnected, this,
            &OrvikWidget::checkSensor);
    connect(&connector, &Hvd::Weft::Components::DeviceConnector::unexpectedDeviceConnected, this,
            [this] { fail(tr("Only Orvik devices are supported.")); });
    connect(&connector, &Hvd::Weft::Components::Connector::errorOccurred, this,
            [this](const QString& message) { fail(message); });
    connect(ui->size, &QComboBox::currentIndexChanged, this, &OrvikWidget::sizeChosen);
    connect(ui->innerDiameter, &QDoubleSpinBox::valueChanged, this, &OrvikWidget::diameterChanged);
    RescalerSteps::connectCalibratedDiameter(*readCommand, *parameterizeCommand);
    connect(parameterizeCommand, &ParameterizeOrvikCommand::valueCalculated, this, &OrvikWidget::showValue);

    for (const Orvik& orvik : Orvik::getOrviks())
        ui->size->addItem(orvik.getNameText(), QVariant::fromValue(orvik));

    changeState(State::Reset);
}

OrvikWidget::~OrvikWidget()
{
    delete ui;
}

Orvik OrvikWidget::currentOrvik() const
{
    return ui->size->currentData().value<Orvik>();
}

void OrvikWidget::sizeChosen(int index)
{
    if (index < 0)
        return;
    const Orvik orvik = currentOrvik();
    ui->innerDiameter->setEnabled(orvik.innerDiameterEditable);

    const float factor = displayFactor(orvik.lengthUnit);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float minimum = orvik.innerDiameterEditable ? 0.04f : 0.01f;
    {
        // Limits and value change one after another; the intermediate values
        // must not end up as the record's diameter.
        const QSignalBlocker blocker(ui->innerDiameter);
        ui->innerDiameter->setMinimum(factor == 0.0f ? nan : static_cast<double>(minimum / factor));
        ui->innerDiameter->setMaximum(factor == 0.0f ? nan : static_cast<double>(0.45f / factor));
        ui->innerDiameter->setValue(
            factor == 0.0f ? nan : static_cast<double>(orvik.innerDiameter.value() / factor));
        ui->innerDiameter->setSuffix(QLatin1Char(' ') +
                                     QString::fromLatin1(Hvd::Unit::toString(orvik.lengthUnit)));
    }
    // The command always holds the record on screen, even when the shown
    // number happens to be the same as before.
    parameterizeCommand->setOrvik(orvik);
}

void OrvikWidget::diameterChanged(double value)
{
    Orvik orvik = currentOrvik();
    if (orvik.innerDiameterEditable)
    {
        orvik.setInnerDiameter(Orvik::Diameter(static_cast<float>(value) * orvik.getShownUnit()));
        ui->size->setItemData(ui->size->currentIndex(), QVariant::fromValue(orvik));
    }
    parameterizeCommand->setOrvik(orvik);
}

void OrvikWidget::request()
{
    if (!importDeviceFile())
    {
        changeState(State::Reset);
        return;
    }
    if (connector.isRunning() || connector.isTargetConnected())
    {
        // The sensor of the previous run is still being released; a connect
        // now would be ignored and leave the controls locked.
        Logger::warn("Parameterize requested while the previous device is still being released");
        fail(tr("The device is still being released. Please try again."));
        return;
    }
    const unsigned failuresBefore = failures;
    ui->comPorts->connectTarget();
    if (!connector.isRunning())
    {
        // Refused at once: either the connector has already said why, or the
        // port list had nothing to connect and the controls must not stay locked.
        if (failures == failuresBefore)
            fail(tr("No port has been selected."));
        return;
    }
    changeState(State::Parameterizing);
}

void OrvikWidget::checkSensor()
{
    if (state != State::Parameterizing)
        return;
    if (const auto failure = RescalerSteps::prepareCalibratedDiameterRead(context, *readCommand))
    {
        // The box first: the connect command is still ending, and a release
        // started under the box's event loop would share the service's
        // answers with it.
        ++failures;
        Hvd::Weft::Components::UiUtils::showMessageBox(*failure, this);
        changeState(State::Reset);
        return;
    }
    executeWidget->grantExecution();
}

void OrvikWidget::showValue(bool isDeviceParameter, const QString& name, double value, const QString& unit)
{
    if (!isDeviceParameter)
        return;
    if (const auto shown = RescalerSteps::shownValue(name, value, unit))
        measurementsWidget->setValue(shown->row, shown->value, shown->unit);
}

void OrvikWidget::fail(const QString& message)
{
    ++failures;
    changeState(State::Reset);
    Hvd::Weft::Components::UiUtils::showMessageBox(message, this);
}

bool OrvikWidget::importDeviceFile()
{
    const auto failure = RescalerSteps::importDeviceDescription(context);
    if (!failure)
        return true;
    Hvd::Weft::Components::UiUtils::showMessageBox(*failure, this);
    return false;
}

void OrvikWidget::changeState(State next)
{
    state = next;
    switch (next)
    {
    case State::Reset:
        Logger::info("State Reset");
        if (connector.isTargetConnected() && !connector.isRunning())
        {
            connector.setRunning(true);
            connector.disconnectTarget();
        }
        executeWidget->clear();
        measurementsWidget->clearMeasurements();
        enable();
        break;
    case State::Parameterizing:
        Logger::info("State Parameterizing");
        measurementsWidget->clearMeasurements();
        ui->portLabel->setEnabled(false);
        ui->comPorts->disable();
        ui->sizeLabel->setEnabled(false);
        ui->size->setEnabled(false);
        ui->innerDiameterLabel->setEnabled(false);
        ui->innerDiameter->setEnabled(false);
        executeWidget->disable();
        break;
    case State::Done:
        Logger::info("State Done");
        enable();
        break;
    }
}

void OrvikWidget::enable() const
{
    ui->portLabel->setEnabled(true);
    ui->comPorts->enable();
    ui->sizeLabel->setEnabled(true);
    ui->size->setEnabled(true);
    ui->innerDiameterLabel->setEnabled(true);
    ui->innerDiameter->setEnabled(currentOrvik().innerDiameterEditable);
    executeWidget->enable();
}
