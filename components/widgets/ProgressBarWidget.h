#pragma once

#include <QWidget>

#include <cstdint>

QT_BEGIN_NAMESPACE
class Ui_ProgressBarWidget;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{

// A progress bar with a status line below it.
class ProgressBarWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressBarWidget(QWidget* parent = nullptr);
    ~ProgressBarWidget() override;

    unsigned getMaximum() const;
    void setMaximum(unsigned maximum);

    int getValue() const;
    QString getStatus() const;

public Q_SLOTS:
    // Values above the maximum show the maximum.
    void updateProgress(std::uint32_t value, const QString& status);

private:
    Ui_ProgressBarWidget* ui;
};

} // namespace Hvd::Weft::Components
