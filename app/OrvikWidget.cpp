#include "app/OrvikWidget.h"
#include "ui_OrvikWidget.h"

#include "app/ParameterizeOrvikCommand.h"
#include "app/RescaleFlow.h"
#include "components/connectors/DeviceStack.h"
#include "components/logging/UiUtils.h"
#include "components/widgets/ExecuteCommandWidget.h"
#include "components/widgets/MeasurementsWidget.h"
#include "logging/Logger.h"
#include "units/Units.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QUrl>

using Hvd::Weft::Components::ExecuteCommandWidget;
using Hvd::Weft::Components::Logger;
using Hvd::Weft::Components::MeasurementsWidget;

namespace
{
// A click on "Parameterize" only asks; the flow runs the command once the
// sensor has passed its check.
constexpr bool grantBeforeRunning = true;
// The measurements as the window shows them: proportional font, width and
// decimals as the values come.
constexpr bool proportionalFont = false;
constexpr unsigned char autoWidth = 0;
constexpr unsigned char autoDecimals = 0;

} // namespace

OrvikWidget::OrvikWidget(Hvd::Weft::Components::DeviceStack& stack, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_OrvikWidget)
    , flow(new RescaleFlow(stack, this))
    , executeWidget(new ExecuteCommandWidget(tr("&Parameterize"), tr("Parameterize the device"),
                                             flow->rescaleCommand(), grantBeforeRunning))
    , measurementsWidget(
          new MeasurementsWidget(tr("New parameter values"), proportionalFont, autoWidth, autoDecimals))
    , reportLabel(new QLabel(this))
{
    ui->setupUi(this);
    ui->verticalLayout->addWidget(executeWidget);
    ui->verticalLayout->addWidget(measurementsWidget);
    reportLabel->setObjectName(QStringLiteral("reportLabel"));
    reportLabel->setWordWrap(true);
    reportLabel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    reportLabel->setOpenExternalLinks(true);
    ui->verticalLayout->addWidget(reportLabel);
    // The execute widget runs the rescaling command, so that it shows its
    // progress, once the flow has checked the sensor.
    flow->setRescaleStarter([this] { executeWidget->grantExecution(); });

    measurementsWidget->add(QStringLiteral("InnerDiameter"), tr("Inner Diameter"), QString(),
                            MeasurementsWidget::Column::First);
    measurementsWidget->add(QStringLiteral("FlowMeasEnd"),
                            tr("Max. flow") + QStringLiteral(" (Q<sub>max</sub>)"), QString(),
                            MeasurementsWidget::Column::First);

    ui->comPorts->setConnector(stack.getConnector());
    ui->comPorts->setShowOnlyPorts(true);

    connect(executeWidget, &ExecuteCommandWidget::executionRequested, this, &OrvikWidget::request);
    connect(flow, &RescaleFlow::succeeded, this, [this] { changeState(State::Done); });
    connect(flow, &RescaleFlow::failed, this, &OrvikWidget::fail);
    connect(flow, &RescaleFlow::released, this,
            [this](const std::optional<QString>& releaseError)
            {
                if (releaseError)
                    Hvd::Weft::Components::UiUtils::showMessageBox(*releaseError, this);
            });
    connect(flow, &RescaleFlow::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            {
                // The rescaling command's own progress reaches the execute
                // widget directly.
                if (flow->getStage() == RescaleFlow::Stage::Restoring)
                {
                    // The failed rescale gave the button back; not before the
                    // restore has ended.
                    executeWidget->disable();
                    executeWidget->updateProgress(static_cast<std::uint8_t>(progress), description);
                }
                else if (flow->getStage() == RescaleFlow::Stage::Connecting)
                    executeWidget->updateProgress(static_cast<std::uint8_t>(progress), description);
            });
    connect(flow, &RescaleFlow::valueShown, measurementsWidget, &MeasurementsWidget::setValue);
    connect(flow, &RescaleFlow::reportSaved, this,
            [this](const QString& pdf)
            {
                // The file's name only: a full path wraps and squeezes the fixed-size window.
                reportLabel->setText(tr("Report: <a href=\"%1\">%2</a>")
                                         .arg(QUrl::fromLocalFile(pdf).toString(QUrl::FullyEncoded),
                                              QFileInfo(pdf).fileName().toHtmlEscaped()));
                reportLabel->setToolTip(QDir::toNativeSeparators(pdf));
            });
    connect(flow, &RescaleFlow::reportFailed, this,
            [this](const QString& message)
            {
                reportLabel->setText(message.toHtmlEscaped());
                reportLabel->setToolTip({});
            });
    connect(ui->size, &QComboBox::currentIndexChanged, this, &OrvikWidget::sizeChosen);
    connect(ui->innerDiameter, &QDoubleSpinBox::valueChanged, this, &OrvikWidget::diameterChanged);

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

    {
        // Limits and value change one after another; the intermediate values
        // must not end up as the record's diameter.
        const QSignalBlocker blocker(ui->innerDiameter);
        ui->innerDiameter->setMinimum(static_cast<double>(orvik.getShownMinimum()));
        ui->innerDiameter->setMaximum(static_cast<double>(orvik.getShownMaximum()));
        ui->innerDiameter->setValue(static_cast<double>(orvik.getShownDiameter()));
        ui->innerDiameter->setSuffix(QLatin1Char(' ') + orvik.getShownUnitText());
    }
    // The command always holds the record on screen, even when the shown
    // number happens to be the same as before.
    flow->setOrvik(orvik);
}

void OrvikWidget::diameterChanged(double value)
{
    Orvik orvik = currentOrvik();
    if (orvik.innerDiameterEditable)
    {
        orvik.setShownDiameter(static_cast<float>(value));
        ui->size->setItemData(ui->size->currentIndex(), QVariant::fromValue(orvik));
    }
    flow->setOrvik(orvik);
}

void OrvikWidget::request()
{
    changeState(State::Parameterizing);
    flow->start(ui->comPorts->selectedPort());
}

void OrvikWidget::fail(const QString& message)
{
    changeState(State::Reset);
    Hvd::Weft::Components::UiUtils::showMessageBox(message, this);
}

void OrvikWidget::changeState(State next)
{
    state = next;
    switch (next)
    {
    case State::Reset:
        Logger::info("State Reset");
        executeWidget->clear();
        measurementsWidget->clearMeasurements();
        reportLabel->clear();
        reportLabel->setToolTip({});
        enable();
        break;
    case State::Parameterizing:
        Logger::info("State Parameterizing");
        measurementsWidget->clearMeasurements();
        reportLabel->clear();
        reportLabel->setToolTip({});
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
