#pragma once

#include "components/commands/Command.h"

#include <QTimer>

#include <vector>

namespace Hvd::Weft::Components
{

// Runs its children one after another, each started from the event loop;
// an error of any child ends the composite with that error.
class CompositeCommand : public Command
{
    Q_OBJECT

public:
    // Progress: the running child's own percent, or one step per finished child.
    static constexpr bool detailedProgressReports = true;
    static constexpr bool stepProgressReports = false;

    CompositeCommand(const std::vector<Command*>& commands, bool detailedProgress, QObject* parent);
    ~CompositeCommand() override;

    void addCommand(Command* command);
    const std::vector<Command*>& getCommands() const { return commands; }

    unsigned getCount() const override { return static_cast<unsigned>(commands.size()); }
    bool hasDetailedProgress() const override { return detailedProgress; }
    QString getDescription() const override;

public Q_SLOTS:
    void finish() override;

protected:
    void doConnect() override;
    void doDisconnect() override;
    void doExecute() override;
    void doStop() override;
    void doCancel() override;

private Q_SLOTS:
    void startNextCommand();

private:
    bool adopt(Command* command);

    std::vector<Command*> commands;
    unsigned char index = 0;
    bool detailedProgress;
    bool stopRequested = false;
    QTimer* timer;
};

} // namespace Hvd::Weft::Components
