#include "components/widgets/ProgressBarWidget.h"
#include "ui_ProgressBarWidget.h"

#include <algorithm>

namespace Hvd::Weft::Components
{

ProgressBarWidget::ProgressBarWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_ProgressBarWidget)
{
    ui->setupUi(this);
}

ProgressBarWidget::~ProgressBarWidget()
{
    delete ui;
}

unsigned ProgressBarWidget::getMaximum() const
{
    return static_cast<unsigned>(ui->progress->maximum());
}

void ProgressBarWidget::setMaximum(unsigned maximum)
{
    ui->progress->setMaximum(static_cast<int>(maximum));
}

int ProgressBarWidget::getValue() const
{
    return ui->progress->value();
}

QString ProgressBarWidget::getStatus() const
{
    return ui->status->text();
}

void ProgressBarWidget::updateProgress(std::uint32_t value, const QString& status)
{
    ui->progress->setValue(static_cast<int>(std::min<std::uint32_t>(value, getMaximum())));
    ui->status->setText(status);
}

} // namespace Hvd::Weft::Components
