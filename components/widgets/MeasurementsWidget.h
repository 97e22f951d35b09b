#pragma once

#include <QString>
#include <QWidget>

#include <map>

QT_BEGIN_NAMESPACE
class Ui_MeasurementsWidget;
class QLabel;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{

class SingleMeasurementWidget;

// A form of named values with units, in up to three columns.
class MeasurementsWidget : public QWidget
{
    Q_OBJECT

public:
    enum class Column
    {
        First,
        Second,
        Third,
    };

    MeasurementsWidget(const QString& title, bool monospace, unsigned char width, unsigned char decimals);
    ~MeasurementsWidget() override;

    void add(const QString& name, const QString& label, const QString& unit, Column column);
    void setValue(const QString& name, double value, const QString& unit);
    void clearMeasurements();

    // The text a row shows (empty when there is no such row).
    QString text(const QString& name) const;

private:
    Ui_MeasurementsWidget* ui;
    bool monospace;
    unsigned char width;
    unsigned char decimals;
    std::map<QString, SingleMeasurementWidget*> rows;
};

} // namespace Hvd::Weft::Components
