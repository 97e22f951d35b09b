#include "components/widgets/MeasurementsWidget.h"
#include "ui_MeasurementsWidget.h"

#include <QHBoxLayout>
#include <QLabel>

#include <cmath>

namespace Hvd::Weft::Components
{

// One value row: a label showing "value unit" or the not-available text.
class SingleMeasurementWidget : public QWidget
{
public:
    SingleMeasurementWidget(const QString& name, unsigned char width, unsigned char decimals, bool monospace,
                            QWidget* parent)
        : QWidget(parent)
        , value(new QLabel(this))
        , resolution(decimals > 0 ? std::pow(10.0, -decimals) : 0.0)
        , width(width)
        , decimals(decimals)
    {
        setObjectName(name);
        value->setObjectName(name + "-value");
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        layout->addWidget(value);
        if (monospace)
        {
            QFont font("Consolas");
            font.setStyleHint(QFont::Monospace);
            setFont(font);
        }
    }

    void setUnit(const QString& newUnit) { unit = newUnit; }

    void showNotAvailable()
    {
        const int unitLength = unit.isEmpty() ? 3 : static_cast<int>(unit.size());
        value->setText(QStringLiteral("    -").leftJustified(width + unitLength + 1, ' '));
    }

    void show(double number)
    {
        if (!std::isfinite(number))
            showNotAvailable();
        else if (decimals > 0 && std::abs(number) > resolution)
            value->setText(QString("%L1 %L2").arg(number, width, 'f', decimals).arg(unit));
        else
            value->setText(QString("%L1 %L2").arg(number, width, 'g', -1).arg(unit));
    }

    void resetColour()
    {
        QPalette palette = value->palette();
        if (palette.color(QPalette::WindowText) != Qt::black)
        {
            palette.setColor(QPalette::WindowText, Qt::black);
            value->setPalette(palette);
        }
    }

    QString text() const { return value->text(); }

private:
    QLabel* value;
    double resolution;
    QString unit;
    unsigned char width;
    unsigned char decimals;
};

MeasurementsWidget::MeasurementsWidget(const QString& title, bool mono, unsigned char w, unsigned char d)
    : QWidget(nullptr)
    , ui(new Ui_MeasurementsWidget)
    , monospace(mono)
    , width(w)
    , decimals(d)
{
    ui->setupUi(this);
    ui->header->setText(title);
    ui->header->setVisible(!title.isEmpty());
}

MeasurementsWidget::~MeasurementsWidget()
{
    delete ui;
}

void MeasurementsWidget::add(const QString& name, const QString& label, const QString& unit, Column column)
{
    if (rows.count(name))
        return;
    QFormLayout* layouts[] = {ui->measurementsLayout1, ui->measurementsLayout2, ui->measurementsLayout3};
    auto* row = new SingleMeasurementWidget(name, width, decimals, monospace, this);
    row->setUnit(unit);
    row->showNotAvailable();
    layouts[static_cast<int>(column)]->addRow(label.isEmpty() ? QStringLiteral(" ") : label + ':', row);
    rows.emplace(name, row);
}

void MeasurementsWidget::setValue(const QString& name, double value, const QString& unit)
{
    if (!rows.count(name))
        add(name, name, "", Column::First);
    SingleMeasurementWidget* row = rows.at(name);
    row->setUnit(unit);
    row->show(value);
}

void MeasurementsWidget::clearMeasurements()
{
    for (auto& [name, row] : rows)
    {
        row->resetColour();
        row->showNotAvailable();
    }
}

QString MeasurementsWidget::text(const QString& name) const
{
    const auto it = rows.find(name);
    return it == rows.end() ? QString() : it->second->text();
}

} // namespace Hvd::Weft::Components
