// The rescaler widget against a scripted device service: the size list and
// the diameter field, the request with its import, the sensor check and the
// failures that must end in Reset with the sensor released; its texts under
// a German and an English locale.

#include "app/OrvikRescaler.h"
#include "app/OrvikWidget.h"
#include "app/RescaleFlow.h"
#include "app/message_boxes.h"
#include "app/rescaling_test_support.h"
#include "components/connectors/DeviceStack.h"
#include "components/widgets/MeasurementsWidget.h"
#include "tests/support/pace.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace RescalingTest;
using Hvd::Weft::Communication::ComPortScanner;
using Hvd::Weft::Components::DeviceConnector;
using Hvd::Weft::Components::MeasurementsWidget;
using State = OrvikWidget::State;

namespace
{

struct WidgetTest : ::testing::Test
{
    WidgetTest()
    {
        service.deviceToFind = sensor(orvikAddress, "V02.11", "V02.10");
        service.answerEveryParameter = true;
        service.readDeviceValues = {ParameterSetting("ProductVariantName", Value(std::string("Orvik 82.5")))};
        service.readSubdeviceValues = {ParameterSetting(kFactorV2, Value(2.5, DataType::DFLOAT32))};
        Comport port;
        port.number = "ttyFAKE0";
        connector.updatePorts({port});
    }

    QComboBox& sizes() { return *widget.findChild<QComboBox*>("size"); }
    QDoubleSpinBox& diameter() { return *widget.findChild<QDoubleSpinBox*>("innerDiameter"); }
    QPushButton& button() { return *widget.findChild<QPushButton*>("execute"); }
    MeasurementsWidget& measurements() { return *widget.findChild<MeasurementsWidget*>(); }
    void choose(const char* size) { sizes().setCurrentIndex(sizes().findText(size)); }

    // Presses "Parameterize" and waits until the run has settled: Done, or
    // Reset with the flow's release over, so that a next press is taken as a
    // new run (the connector stops before the flow has noticed it).
    bool press()
    {
        button().click();
        return QTest::qWaitFor(
            [this]
            {
                return widget.getState() == State::Done ||
                       (widget.getState() == State::Reset &&
                        widget.getFlow().getStage() == RescaleFlow::Stage::Idle && !connector.isRunning() &&
                        !connector.isTargetConnected());
            },
            3000);
    }

    MessageBoxes boxes;
    std::unique_ptr<RecordingService> made = std::make_unique<RecordingService>();
    RecordingService& service = *made;
    Hvd::Weft::Components::DeviceStack stack{
        {TestSupport::withoutPortScans(), [] { return ComPortScanner::List{}; }, std::move(made)}};
    DeviceContext& context = stack.getContext();
    DeviceConnector& connector = stack.getConnector();
    OrvikWidget widget{stack, nullptr};
};

TEST_F(WidgetTest, SizeListAndDiameterFieldFollowTheChosenSize)
{
    QStringList names;
    for (int i = 0; i < sizes().count(); ++i)
        names.append(sizes().itemText(i));
    EXPECT_EQ(names.join(' '),
              "A1F A1H A1Z A2F A2H A3F A3H A4H A80 Axx D1F D1H D1Z D2F D2H D3F D3H D4H D80 Dxx");
    EXPECT_EQ(sizes().currentText(), "A1F");
    EXPECT_EQ(widget.getState(), State::Reset);

    choose("Dxx");
    EXPECT_TRUE(diameter().isEnabled());
    EXPECT_NEAR(diameter().minimum(), 40.0, 1e-3);
    EXPECT_NEAR(diameter().maximum(), 450.0, 1e-3);
    EXPECT_DOUBLE_EQ(diameter().value(), 50.0);
    EXPECT_EQ(diameter().suffix(), " mm");

    choose("D80");
    EXPECT_FALSE(diameter().isEnabled());
    EXPECT_DOUBLE_EQ(diameter().value(), 82.5);

    choose("A3F");
    EXPECT_DOUBLE_EQ(diameter().value(), 13.25);
    EXPECT_EQ(diameter().suffix(), " in");
    // From a large imperial size to Dxx: the field's limits change first, yet
    // the record must keep its own 50 mm, not a clamped intermediate value.
    choose("Dxx");
    EXPECT_FLOAT_EQ(sizes().currentData().value<Orvik>().innerDiameter.value(), 0.05f);

    choose("Axx");
    diameter().setValue(2.5);
    EXPECT_FLOAT_EQ(sizes().currentData().value<Orvik>().innerDiameter.value(), 2.5f * 0.0254f);
    choose("D80");
    choose("Axx");
    EXPECT_DOUBLE_EQ(diameter().value(), 2.5);
}

TEST_F(WidgetTest, ARunRescalesReleasesAndShowsTheNewValues)
{
    choose("D1H");
    ASSERT_TRUE(press());
    EXPECT_EQ(widget.getState(), State::Done);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();
    EXPECT_EQ(service.slotNames(),
              (std::vector<std::string>{"start", "read", "read", "write", "setCurrentAsFactoryDefaults",
                                        "restartDevice", "abort"}));
    EXPECT_EQ(service.calls[1].deviceNames, std::vector<std::string>{"ProductVariantName"});
    EXPECT_EQ(measurements().text("InnerDiameter").trimmed(), "107.1 mm");
    EXPECT_EQ(measurements().text("FlowMeasEnd").trimmed(), "324 m<sup>3</sup>/h");
    EXPECT_TRUE(button().isEnabled());
    EXPECT_TRUE(sizes().isEnabled());

    // A second press imports and connects again and runs once more.
    service.calls.clear();
    ASSERT_TRUE(press());
    EXPECT_EQ(widget.getState(), State::Done);
    EXPECT_EQ(service.slotNames().front(), "start");
    EXPECT_EQ(service.slotNames().back(), "abort");
}

TEST_F(WidgetTest, ImperialMaximumFlowIsShownInWholeGallonsPerMinute)
{
    choose("A80");
    service.readDeviceValues = {ParameterSetting("ProductVariantName", Value(std::string("Orvik 3.068")))};
    ASSERT_TRUE(press());
    ASSERT_EQ(widget.getState(), State::Done);
    EXPECT_EQ(measurements().text("InnerDiameter").trimmed(), "3.068 in");
    EXPECT_EQ(measurements().text("FlowMeasEnd").trimmed(), "756 GPM");
}

struct Failure
{
    const char* name;
    std::function<void(WidgetTest&)> arrange;
    // The start of the message box's text.
    QString message;
    // Whether the write must not have been sent; otherwise it was sent, and
    // the restore from the backup tried once more.
    bool nothingWritten = true;
    // A failure the service reported has closed the port: released without
    // a restart, which could no longer reach the sensor.
    bool restarted = true;
};

TEST_F(WidgetTest, EveryFailureEndsInResetWithItsMessageAndTheSensorReleased)
{
    const std::vector<Failure> failures = {
        {"another address",
         [](WidgetTest& t) {
             t.service.deviceToFind.address.bytes = {19, 0, 4, 0, 3};
         },
         "Only Orvik devices are supported."},
        {"unknown firmware", [](WidgetTest& t) { t.service.deviceToFind.version = "V09.99"; },
         "Parameter ProductVariantName not found for connected device version V09.99. Contact support."},
        // A run that fails before it writes must not restore the backup of
        // this earlier one.
        {"write refused",
         [](WidgetTest& t) { t.service.errors["write"] = "Read-back of 16 bytes did not match"; },
         "Read-back of 16 bytes did not match\nThe sensor was NOT restored to its previous parameters "
         "(Read-back of 16 bytes did not match). Its backup is ",
         false, false},
        {"variant without a number",
         [](WidgetTest& t) {
             t.service.readDeviceValues = {
                 ParameterSetting("ProductVariantName", Value(std::string("Orvik x")))};
         },
         "Could not determine calibrated diameter from ProductVariantName: Orvik x."},
        {"old sub device",
         [](WidgetTest& t)
         {
             t.service.deviceToFind.subVersion = "V01.10";
             t.service.readSubdeviceValues = {ParameterSetting(kFactorV1, Value(2.5, DataType::DFLOAT32))};
         },
         "Parameter settings.range.fMeasEnd not found"},
    };
    for (const Failure& failure : failures)
    {
        SCOPED_TRACE(failure.name);
        service.calls.clear();
        service.errors.clear();
        service.deviceToFind = sensor(orvikAddress, "V02.11", "V02.10");
        service.readDeviceValues = {ParameterSetting("ProductVariantName", Value(std::string("Orvik 82.5")))};
        service.readSubdeviceValues = {ParameterSetting(kFactorV2, Value(2.5, DataType::DFLOAT32))};
        boxes.texts.clear();
        failure.arrange(*this);

        ASSERT_TRUE(press());
        QTest::qWait(20);
        EXPECT_EQ(widget.getState(), State::Reset);
        EXPECT_EQ(boxes.texts.size(), 1);
        EXPECT_TRUE(boxes.texts.join('|').startsWith(failure.message)) << boxes.texts.join('|').toStdString();
        const auto names = service.slotNames();
        EXPECT_EQ(std::count(names.begin(), names.end(), "write"), failure.nothingWritten ? 0 : 2);
        EXPECT_EQ(std::count(names.begin(), names.end(), "setCurrentAsFactoryDefaults"), 0);
        // Released: restarted if the line still works, then the port closed.
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[names.size() - 2], failure.restarted ? "restartDevice" : "write");
        EXPECT_EQ(names.back(), "abort");
        EXPECT_FALSE(connector.isTargetConnected());
        EXPECT_TRUE(button().isEnabled());
        EXPECT_EQ(measurements().text("InnerDiameter").trimmed(), "-");
    }
}

TEST_F(WidgetTest, WithoutSchemaFilesNothingIsSentAndTheSettingsSchemaIsNamed)
{
    QTemporaryDir empty;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(empty.path()));
    button().click();
    QTest::qWait(50);
    QDir::setCurrent(previous);

    EXPECT_EQ(widget.getState(), State::Reset);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0],
              "Could not load the N5Q2-Orvik device file. Please contact support. Import error: "
              "Could not read schema file: Resources/DeviceSettings.schema.json does not exist");
    EXPECT_TRUE(service.calls.empty());
    EXPECT_TRUE(button().isEnabled());
}

// The catalogues the program installs, for one locale: the window's file
// beside the executable and the ones the libraries embed.
struct Catalogues
{
    explicit Catalogues(const QLocale& locale)
    {
        QLocale::setDefault(locale);
        if (window.load(locale, OrvikRescaler::applicationNameText, "_",
                        QCoreApplication::applicationDirPath() + '/' + OrvikRescaler::translationDirectory,
                        ".qm"))
            QCoreApplication::installTranslator(&window);
        for (const char* name : OrvikRescaler::libraryCatalogues)
            if (QTranslator* translator = Hvd::Weft::Components::Application::installEmbeddedTranslator(name))
                libraries.push_back(translator);
    }
    ~Catalogues()
    {
        QCoreApplication::removeTranslator(&window);
        for (QTranslator* translator : libraries)
        {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(previous);
    }
    QLocale previous;
    QTranslator window;
    std::vector<QTranslator*> libraries;
};

// What the widget shows in one language.
struct Language
{
    const char* name;
    QLocale locale;
    QStringList labels;
    QString button;
    QString toolTip;
    QString waiting;
    QString writing;
    QString success;
    QString wrongSensor;
};

void PrintTo(const Language& language, std::ostream* out)
{
    *out << language.name;
}

struct LocalizedWidgetTest : Catalogues, WidgetTest, ::testing::WithParamInterface<Language>
{
    LocalizedWidgetTest()
        : Catalogues(GetParam().locale)
    {
    }
    QString status() { return widget.findChild<QLabel*>("status")->text(); }
    QStringList labels()
    {
        QStringList texts;
        for (const QLabel* label : widget.findChildren<QLabel*>())
            texts.append(label->text());
        return texts;
    }
};

TEST_P(LocalizedWidgetTest, LabelsButtonStatesAndFailuresSpeakTheLocalesLanguage)
{
    const Language& language = GetParam();
    for (const QString& label : language.labels)
        EXPECT_TRUE(labels().contains(label))
            << label.toStdString() << " not in " << labels().join(" | ").toStdString();
    EXPECT_EQ(button().text(), language.button);
    EXPECT_EQ(button().toolTip(), language.toolTip);
    EXPECT_EQ(status(), language.waiting);

    choose("D1H");
    ASSERT_TRUE(press());
    EXPECT_EQ(widget.getState(), State::Done);
    EXPECT_EQ(status(), language.success);

    service.deviceToFind.address.bytes = {19, 0, 4, 0, 3};
    ASSERT_TRUE(press());
    EXPECT_EQ(boxes.texts, QStringList{language.wrongSensor});
    EXPECT_EQ(status(), language.waiting);

    // Held in the middle of the write, with the step's own status shown.
    service.deviceToFind = sensor(orvikAddress, "V02.11", "V02.10");
    service.silent = {"write"};
    button().click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return status() == language.writing; }, 3000))
        << status().toStdString();
    EXPECT_EQ(widget.getState(), State::Parameterizing);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LocalizedWidgetTest,
    ::testing::Values(Language{"German",
                               QLocale(QLocale::German, QLocale::Germany),
                               {"Port wählen:", "Nennweite:", "Innen-Ø:", "Neue Parameterwerte",
                                "Innendurchmesser:", "Max. Durchfluss (Q<sub>max</sub>):"},
                               "&Parametrieren",
                               "Gerät parametrieren",
                               "Warten auf Benutzer",
                               "Parameter werden geschrieben",
                               "Erfolgreich",
                               "Es werden nur Orvik-Geräte unterstützt."},
                      Language{"English",
                               QLocale(QLocale::English, QLocale::UnitedStates),
                               {"Select a port:", "Select a size:", "Inner diameter:", "New parameter values",
                                "Inner Diameter:", "Max. flow (Q<sub>max</sub>):"},
                               "&Parameterize",
                               "Parameterize the device",
                               "Waiting for user",
                               "Writing parameters",
                               "Success",
                               "Only Orvik devices are supported."}),
    [](const ::testing::TestParamInfo<Language>& info) { return std::string(info.param.name); });

TEST(Orvik, CalibratedDiameterFromTheProductVariantName)
{
    const auto calibratedDiameter = &Orvik::calibratedDiameter;
    EXPECT_NEAR(calibratedDiameter("Orvik 82.5").value_or(0), 0.0825, 1e-12);
    EXPECT_NEAR(calibratedDiameter("Orvik 3.068").value_or(0), 0.0779272, 1e-9);
    EXPECT_NEAR(calibratedDiameter("Orvik  107.1 ").value_or(0), 0.1071, 1e-12);
    for (const char* text : {"Orvik x", "Orvik", "", "Orvik 1,5", "Orvik nan", "Orvik inf"})
        EXPECT_FALSE(calibratedDiameter(text).has_value()) << text;

    // Whatever the tool writes as the size text must read back as the same
    // diameter, the extremes of both editable sizes included.
    const auto sizeText = [](const Orvik& orvik)
    {
        const float shown = orvik.innerDiameter.value() /
                            (orvik.lengthUnit == Hvd::Unit::LengthType::MilliMeter ? 0.001f : 0.0254f);
        return Orvik::variantName(static_cast<double>(shown));
    };
    std::vector<Orvik> sizes(Orvik::getOrviks().begin(), Orvik::getOrviks().end());
    for (const auto& [name, metres] : std::vector<std::pair<const char*, float>>{
             {"Dxx", 0.04f}, {"Dxx", 0.45f}, {"Axx", 0.04f}, {"Axx", 0.45f}, {"Dxx", 0.0599f}})
    {
        Orvik edited(name, Orvik::Diameter(metres));
        sizes.push_back(edited);
    }
    for (const Orvik& orvik : sizes)
    {
        const QString text = sizeText(orvik);
        const auto read = calibratedDiameter(text);
        ASSERT_TRUE(read.has_value()) << text.toStdString();
        EXPECT_NEAR(*read, orvik.innerDiameter.value(), 1e-5) << text.toStdString();
    }
}

} // namespace
