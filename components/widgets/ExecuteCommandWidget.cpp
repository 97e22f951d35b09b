#include "components/widgets/ExecuteCommandWidget.h"
#include "ui_ExecuteCommandWidget.h"

#include "logging/Logger.h"
#include "logging/TypeName.h"

namespace Hvd::Weft::Components
{

ExecuteCommandWidget::ExecuteCommandWidget(const QString& buttonText, const QString& toolTip, Command* cmd,
                                           bool grantRequired)
    : QWidget(nullptr)
    , ui(new Ui_ExecuteCommandWidget)
    , command(cmd)
    , grant(grantRequired)
{
    ui->setupUi(this);
    ui->warning->clear();
    ui->execute->setText(buttonText);
    ui->execute->setToolTip(toolTip);
    command->setParent(this);
    ui->progress->setMaximum(command->hasDetailedProgress() ? 100 : command->getCount());

    connect(ui->execute, &QPushButton::clicked, this, &ExecuteCommandWidget::request);
    connect(command, &Command::progressUpdated, this,
            [this](std::uint32_t progress, const QString& description)
            { ui->progress->updateProgress(progress, description); });
    connect(command, &Command::finished, this,
            [this]
            {
                ui->execute->setEnabled(true);
                ui->progress->updateProgress(ui->progress->getMaximum(), tr("Success"));
                Q_EMIT finished();
            });
    connect(command, &Command::warningOccurred, this,
            [this](const QString& message) { ui->warning->setText(message); });
    connect(command, &Command::errorOccurred, this,
            [this](const QString& message, System system, bool disconnected)
            {
                ui->execute->setEnabled(true);
                Q_EMIT errorOccurred(message, system, disconnected);
            });
}

ExecuteCommandWidget::~ExecuteCommandWidget()
{
    command->cancel();
    disconnect(command, nullptr, this, nullptr);
    delete ui;
}

void ExecuteCommandWidget::request()
{
    ui->progress->updateProgress(0, tr("Waiting for user"));
    ui->warning->clear();
    ui->execute->setEnabled(false);
    pending = true;
    Logger::info("Requested execution of {}", typeName(typeid(*command)));
    Q_EMIT executionRequested();
    if (!grant && pending)
        start();
}

void ExecuteCommandWidget::grantExecution()
{
    Logger::info("Granted execution of {}", typeName(typeid(*command)));
    if (pending)
        start();
}

void ExecuteCommandWidget::start()
{
    pending = false;
    Q_EMIT executionStarted();
    command->execute();
}

void ExecuteCommandWidget::clear()
{
    pending = false;
    ui->progress->updateProgress(0, tr("Waiting for user"));
    ui->warning->clear();
}

void ExecuteCommandWidget::enable()
{
    ui->execute->setEnabled(true);
}

void ExecuteCommandWidget::disable()
{
    ui->execute->setEnabled(false);
}

void ExecuteCommandWidget::execute()
{
    command->execute();
}

void ExecuteCommandWidget::setExecuteButtonText(const QString& text)
{
    ui->execute->setText(text);
}

void ExecuteCommandWidget::updateProgress(std::uint8_t progress, const QString& message)
{
    ui->progress->updateProgress(progress, message);
}

} // namespace Hvd::Weft::Components
