#include "components/commands/CompositeCommand.h"
#include "components/widgets/ExecuteCommandWidget.h"
#include "components/widgets/MeasurementsWidget.h"
#include "components/widgets/ProgressBarWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace Hvd::Weft::Components;

namespace
{

class InstantCommand : public Command
{
    Q_OBJECT
public:
    explicit InstantCommand(QString text, bool fail = false)
        : Command(nullptr)
        , text(std::move(text))
        , fail(fail)
    {
    }
    QString getDescription() const override { return text; }
    int runs = 0;

protected:
    void doExecute() override
    {
        ++runs;
        if (fail)
            error("it broke", System::Application, true);
        else
            finish();
    }

private:
    QString text;
    bool fail;
};

ProgressBarWidget* progressOf(ExecuteCommandWidget& widget)
{
    return widget.findChild<ProgressBarWidget*>("progress");
}

QPushButton* buttonOf(ExecuteCommandWidget& widget)
{
    return widget.findChild<QPushButton*>("execute");
}

} // namespace

TEST(ExecuteCommandWidget, StepProgressOfACompositeReachesItsCount)
{
    std::vector<Command*> children;
    for (int i = 0; i < 5; ++i)
        children.push_back(new InstantCommand(QString("step %1").arg(i)));
    auto* composite = new CompositeCommand(children, false, nullptr);
    ExecuteCommandWidget widget("&Go", "Run it", composite, false);
    EXPECT_EQ(composite->parent(), &widget);
    EXPECT_EQ(progressOf(widget)->getMaximum(), 5u);
    QSignalSpy finished(&widget, &ExecuteCommandWidget::finished);
    QTest::mouseClick(buttonOf(widget), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(2000));
    EXPECT_EQ(progressOf(widget)->getValue(), 5);
    EXPECT_EQ(progressOf(widget)->getStatus(), "Success");
    EXPECT_TRUE(buttonOf(widget)->isEnabled());

    ExecuteCommandWidget detailed("x", "y", new CompositeCommand({}, true, nullptr), false);
    EXPECT_EQ(progressOf(detailed)->getMaximum(), 100u);
    detailed.updateProgress(250, "too far");
    EXPECT_EQ(progressOf(detailed)->getValue(), 100);
    EXPECT_EQ(progressOf(detailed)->getStatus(), "too far");
}

TEST(ExecuteCommandWidget, ErrorsAreHandedOnNotShown)
{
    auto* command = new InstantCommand("failing", true);
    ExecuteCommandWidget widget("&Go", "", command, false);
    QSignalSpy errors(&widget, &ExecuteCommandWidget::errorOccurred);
    QTest::mouseClick(buttonOf(widget), Qt::LeftButton);
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.front().at(0).toString(), "it broke");
    EXPECT_TRUE(errors.front().at(2).toBool());
    EXPECT_TRUE(buttonOf(widget)->isEnabled());
    EXPECT_TRUE(widget.findChild<QLabel*>("warning")->text().isEmpty());
}

TEST(ExecuteCommandWidget, GrantStartsOnlyAPendingRequest)
{
    auto* command = new InstantCommand("granted");
    ExecuteCommandWidget widget("&Go", "", command, true);
    QSignalSpy requested(&widget, &ExecuteCommandWidget::executionRequested);
    QSignalSpy started(&widget, &ExecuteCommandWidget::executionStarted);

    widget.grantExecution(); // nothing requested: only logs
    EXPECT_EQ(command->runs, 0);

    QTest::mouseClick(buttonOf(widget), Qt::LeftButton);
    EXPECT_EQ(requested.count(), 1);
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(buttonOf(widget)->isEnabled());
    EXPECT_EQ(command->runs, 0);

    widget.grantExecution();
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(command->runs, 1);

    // A grant that arrives after the owner reset the widget starts nothing.
    QTest::mouseClick(buttonOf(widget), Qt::LeftButton);
    widget.clear();
    widget.grantExecution();
    EXPECT_EQ(command->runs, 1);
}

TEST(MeasurementsWidget, ShowsValuesUnitsAndTheNotAvailableText)
{
    MeasurementsWidget widget("", false, 0, 0);
    EXPECT_FALSE(widget.findChild<QLabel*>("header")->isVisibleTo(&widget));
    widget.add("InnerDiameter", "Inner Diameter", "mm", MeasurementsWidget::Column::First);
    EXPECT_EQ(widget.text("InnerDiameter"), "    -"); // width 0 + "mm" + 1 is shorter than the text
    widget.setValue("InnerDiameter", 82.5, "mm");
    EXPECT_EQ(widget.text("InnerDiameter"), "82.5 mm");
    widget.setValue("InnerDiameter", std::nan(""), "mm");
    EXPECT_EQ(widget.text("InnerDiameter"), "    -");

    // A value for an unknown row creates it; rich-text units stay rich text.
    widget.setValue("FlowMeasEnd", 192.0, "m<sup>3</sup>/h");
    EXPECT_EQ(widget.text("FlowMeasEnd"), "192 m<sup>3</sup>/h");
    auto* label = widget.findChild<QLabel*>("FlowMeasEnd-value");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(Qt::mightBeRichText(label->text()));

    widget.clearMeasurements();
    EXPECT_EQ(widget.text("FlowMeasEnd"), QString("    -").leftJustified(0 + 15 + 1, ' '));
    EXPECT_EQ(widget.text("InnerDiameter"), "    -");
}

TEST(MeasurementsWidget, DecimalsAndFieldWidth)
{
    MeasurementsWidget widget("Values", true, 8, 2);
    widget.setValue("a", 3.14159, "V");
    EXPECT_EQ(widget.text("a"), "    3.14 V");
    widget.setValue("a", 0.001, "V"); // below the resolution: general notation
    EXPECT_EQ(widget.text("a"), "   0.001 V");
    widget.setValue("a", INFINITY, "");
    EXPECT_EQ(widget.text("a"), QString("    -").leftJustified(8 + 3 + 1, ' '));
}

#include "widgets_test.moc"
