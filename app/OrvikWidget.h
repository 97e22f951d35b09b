#pragma once

#include "app/Orvik.h"

#include <QLabel>
#include <QWidget>

#include <cstdint>

QT_BEGIN_NAMESPACE
class Ui_OrvikWidget;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{
class DeviceStack;
class ExecuteCommandWidget;
class MeasurementsWidget;
} // namespace Hvd::Weft::Components

class RescaleFlow;

// The rescaler's whole user interface: port, pipe size and diameter, the
// "Parameterize" button with its progress, and the new values. The rescale
// itself is the flow's; the widget starts it, shows what it reports and
// decides which controls are usable.
class OrvikWidget : public QWidget
{
    Q_OBJECT

public:
    enum class State : std::uint8_t
    {
        Reset = 0,
        Parameterizing = 1,
        Done = 2,
    };

    OrvikWidget(Hvd::Weft::Components::DeviceStack& stack, QWidget* parent);
    ~OrvikWidget() override;

    State getState() const { return state; }
    RescaleFlow& getFlow() const { return *flow; }

    void enable() const;
    void changeState(State next);

private:
    void request();
    void sizeChosen(int index);
    void diameterChanged(double value);
    void fail(const QString& message);
    Orvik currentOrvik() const;

    Ui_OrvikWidget* ui;
    RescaleFlow* flow;
    Hvd::Weft::Components::ExecuteCommandWidget* executeWidget;
    Hvd::Weft::Components::MeasurementsWidget* measurementsWidget;
    // Names the report of the last successful rescale.
    QLabel* reportLabel;
    State state = State::Reset;
};
