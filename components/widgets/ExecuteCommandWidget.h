#pragma once

#include "components/commands/Command.h"

#include <QWidget>

#include <cstdint>

QT_BEGIN_NAMESPACE
class Ui_ExecuteCommandWidget;
QT_END_NAMESPACE

namespace Hvd::Weft::Components
{

// A button that runs one command and shows its progress and warnings. With
// the grant flag a click only requests the run; the owner starts it with
// grantExecution once it has checked what it needs to.
class ExecuteCommandWidget : public QWidget
{
    Q_OBJECT

public:
    ExecuteCommandWidget(const QString& buttonText, const QString& toolTip, Command* command, bool grant);
    ~ExecuteCommandWidget() override;

    void clear();
    void enable();
    void disable();
    void execute();
    Command* getCommand() const { return command; }
    void setExecuteButtonText(const QString& text);

    bool isPending() const { return pending; }

Q_SIGNALS:
    void executionRequested();
    void executionStarted();
    void finished();
    void errorOccurred(const QString& message, Hvd::Weft::Components::System system, bool disconnected);

public Q_SLOTS:
    void grantExecution();
    void updateProgress(std::uint8_t progress, const QString& message);

private:
    void request();
    void start();

    Ui_ExecuteCommandWidget* ui;
    Command* command;
    bool grant;
    bool pending = false;
};

} // namespace Hvd::Weft::Components
