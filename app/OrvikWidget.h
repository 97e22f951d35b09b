#pragma once

#include "app/Orvik.h"

#include <QWidget>

#include <cstdint>

QT_BEGIN_NAMESPACE
class Ui_OrvikWidget;
QT_END_NAMESPACE

namespace Hvd::Weft::Communication
{
class DeviceService;
}

namespace Hvd::Weft::Components
{
class DeviceConnector;
class DeviceContext;
class ExecuteCommandWidget;
class MeasurementsWidget;
class ReadParametersCommand;
} // namespace Hvd::Weft::Components

class ParameterizeOrvikCommand;

// The rescaler's whole user interface: port, pipe size and diameter, the
// "Parameterize" button with its progress, and the new values. A small state
// machine decides which controls are usable and when the sensor is released.
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

    OrvikWidget(Hvd::Weft::Components::DeviceContext& context,
                Hvd::Weft::Communication::DeviceService& service,
                Hvd::Weft::Components::DeviceConnector& connector, QWidget* parent);
    ~OrvikWidget() override;

    State getState() const { return state; }

    // Imports the shipped description into the context; shows why it failed.
    bool importDeviceFile();
    void enable() const;
    void changeState(State next);

private:
    void request();
    void checkSensor();
    void sizeChosen(int index);
    void diameterChanged(double value);
    void showValue(bool isDeviceParameter, const QString& name, double value, const QString& unit);
    void fail(const QString& message);
    Orvik currentOrvik() const;

    Ui_OrvikWidget* ui;
    Hvd::Weft::Components::DeviceContext& context;
    Hvd::Weft::Communication::DeviceService& service;
    Hvd::Weft::Components::DeviceConnector& connector;
    Hvd::Weft::Components::ReadParametersCommand* readCommand;
    ParameterizeOrvikCommand* parameterizeCommand;
    Hvd::Weft::Components::ExecuteCommandWidget* executeWidget;
    Hvd::Weft::Components::MeasurementsWidget* measurementsWidget;
    State state = State::Reset;
    unsigned failures = 0;
};
