#include "components/commands/CompositeCommand.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <sstream>

using namespace Hvd::Weft::Components;

namespace
{

// A command whose end the test decides: at once, later, or on stop.
class ScriptedCommand : public Command
{
    Q_OBJECT
public:
    enum class Ending
    {
        Manual,
        FinishAtOnce,
        ErrorAtOnce,
    };

    ScriptedCommand(QString description, Ending ending = Ending::FinishAtOnce, QObject* parent = nullptr)
        : Command(parent)
        , description(std::move(description))
        , ending(ending)
    {
    }
    ~ScriptedCommand() override { cancel(); }

    QString getDescription() const override { return description; }

    int executions = 0;
    int stops = 0;
    int cancels = 0;
    bool finishOnStop = false;
    bool failPreconditions = false;

protected:
    bool checkPreconditions() override
    {
        if (failPreconditions)
            Q_EMIT errorOccurred("precondition", System::Application, false);
        return !failPreconditions;
    }
    void doExecute() override
    {
        ++executions;
        if (ending == Ending::FinishAtOnce)
            finish();
        else if (ending == Ending::ErrorAtOnce)
            error(description + " failed", System::Application, true);
    }
    void doStop() override
    {
        ++stops;
        if (finishOnStop)
            finish();
    }
    void doCancel() override { ++cancels; }

private:
    QString description;
    Ending ending;
};

struct LogCapture
{
    LogCapture()
    {
        Logger::configureDefault({std::make_shared<spdlog::sinks::ostream_sink_mt>(stream, true)});
    }
    ~LogCapture() { Logger::shutdown(); }
    std::string text()
    {
        Logger::shutdown();
        return stream.str();
    }
    std::ostringstream stream;
};

struct Outcome
{
    explicit Outcome(Command& command)
        : finished(&command, &Command::finished)
        , errors(&command, &Command::errorOccurred)
        , progress(&command, &Command::progressUpdated)
    {
    }
    bool waitEnded(int ms = 2000)
    {
        return QTest::qWaitFor([&] { return finished.count() + errors.count() > 0; }, ms);
    }
    std::vector<std::uint32_t> steps() const
    {
        std::vector<std::uint32_t> result;
        for (const auto& args : progress)
            result.push_back(args.at(0).value<std::uint32_t>());
        return result;
    }
    QSignalSpy finished;
    QSignalSpy errors;
    QSignalSpy progress;
};

} // namespace

TEST(CompositeCommand, EmptyCompositeFinishesAtOnce)
{
    CompositeCommand composite({}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(outcome.steps(), std::vector<std::uint32_t>{0});
    EXPECT_FALSE(composite.isRunning());
}

TEST(CompositeCommand, DuplicateChildrenAreIgnoredWithAWarning)
{
    LogCapture log;
    auto* a = new ScriptedCommand("a");
    auto* b = new ScriptedCommand("b");
    CompositeCommand composite({a, b, a}, false, nullptr);
    EXPECT_EQ(composite.getCount(), 2u);
    EXPECT_EQ(a->parent(), &composite);
    EXPECT_EQ(a->getParentCommand(), &composite);
    composite.addCommand(b); // again: ignored
    EXPECT_EQ(composite.getCount(), 2u);
    const std::string text = log.text();
    EXPECT_NE(text.find("[warning] [main]  Duplicate command " + std::string(typeid(ScriptedCommand).name()) +
                        " is ignored"),
              std::string::npos)
        << text;
}

TEST(CompositeCommand, ProgressWithoutDetailCountsFinishedChildren)
{
    std::vector<Command*> children;
    for (int i = 0; i < 5; ++i)
        children.push_back(new ScriptedCommand(QString("step %1").arg(i)));
    CompositeCommand composite(children, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(outcome.waitEnded());
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(outcome.steps(), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5}));
    // The last step names the last child.
    EXPECT_EQ(outcome.progress.back().at(1).toString(), "step 4");
}

TEST(CompositeCommand, DetailedProgressIsForwarded)
{
    auto* child = new ScriptedCommand("child", ScriptedCommand::Ending::Manual);
    CompositeCommand composite({child}, true, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->executions == 1; }, 2000));
    Q_EMIT child->progressUpdated(40, "forty");
    child->finish();
    EXPECT_EQ(outcome.finished.count(), 1);
    // Composite's own 0, the child's 0 from execute, the child's 40.
    EXPECT_EQ(outcome.steps(), (std::vector<std::uint32_t>{0, 0, 40}));
}

TEST(CompositeCommand, ErrorOfTheSecondChildEndsTheComposite)
{
    auto* first = new ScriptedCommand("first");
    auto* second = new ScriptedCommand("second", ScriptedCommand::Ending::ErrorAtOnce);
    auto* third = new ScriptedCommand("third");
    CompositeCommand composite({first, second, third}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(outcome.waitEnded());
    QTest::qWait(20); // a wrongly started third child would run now
    ASSERT_EQ(outcome.errors.count(), 1);
    EXPECT_EQ(outcome.finished.count(), 0);
    EXPECT_EQ(outcome.errors.front().at(0).toString(), "second failed");
    EXPECT_EQ(outcome.errors.front().at(1).value<System>(), System::Application);
    EXPECT_TRUE(outcome.errors.front().at(2).toBool());
    EXPECT_EQ(third->executions, 0);
    EXPECT_FALSE(composite.isRunning());

    // It may run again, from the start.
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.errors.count() == 2; }, 2000));
    EXPECT_EQ(first->executions, 2);
}

TEST(CompositeCommand, ExecuteWhileRunningChangesNothing)
{
    auto* child = new ScriptedCommand("child", ScriptedCommand::Ending::Manual);
    CompositeCommand composite({child}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->executions == 1; }, 2000));
    composite.execute();
    child->execute();
    QTest::qWait(10);
    EXPECT_EQ(child->executions, 1);
    EXPECT_EQ(outcome.progress.count(), 1);
    child->finish();
    EXPECT_EQ(outcome.finished.count(), 1);
}

TEST(CompositeCommand, StopBetweenChildrenDoesNotStartTheNext)
{
    auto* first = new ScriptedCommand("first", ScriptedCommand::Ending::Manual);
    auto* second = new ScriptedCommand("second");
    CompositeCommand composite({first, second}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->executions == 1; }, 2000));
    first->finish(); // the timer for the second child is now pending
    composite.stop();
    QTest::qWait(20);
    EXPECT_EQ(second->executions, 0);
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(outcome.errors.count(), 0);
}

TEST(CompositeCommand, StopOfARunningChild)
{
    // A child that ends inside its stop: the composite ends exactly once.
    auto* quick = new ScriptedCommand("quick", ScriptedCommand::Ending::Manual);
    quick->finishOnStop = true;
    auto* never = new ScriptedCommand("never");
    CompositeCommand composite({quick, never}, false, nullptr);
    Outcome outcome(composite);
    composite.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return quick->executions == 1; }, 2000));
    composite.stop();
    QTest::qWait(20);
    EXPECT_EQ(quick->stops, 1);
    EXPECT_EQ(outcome.finished.count(), 1);
    EXPECT_EQ(never->executions, 0);

    // A child that keeps running after its stop ends the composite later.
    auto* slow = new ScriptedCommand("slow", ScriptedCommand::Ending::Manual);
    auto* after = new ScriptedCommand("after");
    CompositeCommand second({slow, after}, false, nullptr);
    Outcome secondOutcome(second);
    second.execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow->executions == 1; }, 2000));
    second.stop();
    EXPECT_TRUE(second.isRunning());
    EXPECT_EQ(secondOutcome.finished.count(), 0);
    slow->finish();
    QTest::qWait(20);
    EXPECT_EQ(secondOutcome.finished.count(), 1);
    EXPECT_EQ(after->executions, 0);
}

TEST(CompositeCommand, CancelAndDestructionAreSilent)
{
    auto* child = new ScriptedCommand("child", ScriptedCommand::Ending::Manual);
    auto composite = std::make_unique<CompositeCommand>(std::vector<Command*>{child}, false, nullptr);
    Outcome outcome(*composite);
    composite->execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->executions == 1; }, 2000));
    composite->cancel();
    EXPECT_FALSE(composite->isRunning());
    EXPECT_FALSE(child->isRunning());
    EXPECT_EQ(child->cancels, 1);
    child->finish(); // a late answer must not reach the composite any more
    EXPECT_EQ(outcome.finished.count(), 0);

    LogCapture log;
    composite->execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->executions == 2; }, 2000));
    QSignalSpy childFinished(child, &Command::finished);
    composite.reset();
    EXPECT_EQ(outcome.finished.count() + outcome.errors.count(), 0);
    const std::string text = log.text();
    EXPECT_NE(text.find("Canceling " + std::string(typeid(CompositeCommand).name())), std::string::npos)
        << text;
    EXPECT_NE(text.find("Canceling " + std::string(typeid(ScriptedCommand).name())), std::string::npos)
        << text;
}

TEST(Command, FailedPreconditionsReportProgressZeroAndDoNotRun)
{
    ScriptedCommand command("checked");
    command.failPreconditions = true;
    Outcome outcome(command);
    command.execute();
    EXPECT_EQ(command.executions, 0);
    EXPECT_FALSE(command.isRunning());
    EXPECT_EQ(outcome.steps(), std::vector<std::uint32_t>{0});
    EXPECT_EQ(outcome.errors.count(), 1);
}

TEST(Command, DepthIndentsTheLogLines)
{
    LogCapture log;
    auto* leaf = new ScriptedCommand("leaf");
    auto* inner = new CompositeCommand({leaf}, false, nullptr);
    CompositeCommand root({inner}, false, nullptr);
    EXPECT_EQ(root.getDepth(true), 1);
    EXPECT_EQ(inner->getDepth(true), 3);
    EXPECT_EQ(leaf->getDepth(true), 5);
    Outcome outcome(root);
    root.execute();
    ASSERT_TRUE(outcome.waitEnded());
    const std::string text = log.text();
    const std::string leafName = typeid(ScriptedCommand).name();
    EXPECT_NE(text.find("[main] Executing " + std::string(typeid(CompositeCommand).name()) + " (leaf)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[main]     Executing " + leafName + " (leaf)"), std::string::npos) << text;
    EXPECT_NE(text.find("[main]  Executing command 0"), std::string::npos) << text;   // root's own work
    EXPECT_NE(text.find("[main]    Executing command 0"), std::string::npos) << text; // inner's own work
    EXPECT_NE(text.find("[main]     Finished " + leafName), std::string::npos) << text;
}

#include "command_test.moc"
