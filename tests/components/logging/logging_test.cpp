// Logger, Qt message handler, application base and document opener. The
// executable has its own main because the Application object is the one
// QApplication of the process.
#include "components/logging/Application.h"
#include "components/logging/LocalizedFileOpener.h"
#include "logging/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <sstream>

using namespace Hvd::Weft::Components;

namespace
{

std::vector<std::string> capturedQtMessages;

void capturingHandler(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedQtMessages.push_back(message.toStdString());
}

// Configures the logger on a string stream and shuts it down on request, so
// that every queued line has been written when the text is read.
class LogCapture
{
public:
    LogCapture()
        : sink(std::make_shared<spdlog::sinks::ostream_sink_mt>(stream, true))
    {
        Logger::configureDefault({sink});
    }
    ~LogCapture() { Logger::shutdown(); }

    std::vector<std::string> lines()
    {
        Logger::shutdown();
        std::vector<std::string> result;
        std::istringstream in(stream.str());
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    std::ostringstream stream;
    std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink;
};

std::string messagePart(const std::string& line)
{
    // Everything after "[timestamp] [level] ".
    const auto second = line.find("] ", line.find("] ") + 2);
    return second == std::string::npos ? line : line.substr(second + 2);
}

} // namespace

TEST(Logger, RecordLayoutAndThreadName)
{
    LogCapture capture;
    Logger::info("Starting {}", "OrvikRescaler");
    Logger::error(std::string("plain text"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    const QRegularExpression layout(
        R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\] \[info\] \[main\] Starting OrvikRescaler$)");
    EXPECT_TRUE(layout.match(QString::fromStdString(lines[0])).hasMatch()) << lines[0];
    EXPECT_EQ(messagePart(lines[1]), "[main] plain text");
    EXPECT_NE(lines[1].find("[error]"), std::string::npos);
}

TEST(Logger, IndentationIsExactlyTheGivenWidth)
{
    LogCapture capture;
    Logger::info(0, "Executing {}", "A");
    Logger::info(3, "Executing {}", "B");
    Logger::warn(1, "x{}", 1);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(messagePart(lines[0]), "[main] Executing A");
    EXPECT_EQ(messagePart(lines[1]), "[main]    Executing B");
    EXPECT_EQ(messagePart(lines[2]), "[main]  x1");
}

TEST(Logger, EveryThreadIsNamedInItsLines)
{
    LogCapture capture;
    QThread worker;
    worker.setObjectName("DeviceThread");
    worker.start();
    QObject inWorker;
    inWorker.moveToThread(&worker);
    QMetaObject::invokeMethod(
        &inWorker, [] { Logger::debug("from {}", "worker"); }, Qt::BlockingQueuedConnection);
    Logger::debug("from {}", "gui");
    worker.quit();
    worker.wait();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(messagePart(lines[0]), "[DeviceThread] from worker");
    EXPECT_EQ(messagePart(lines[1]), "[main] from gui");
}

TEST(Logger, SilentWhenNotConfiguredAndAfterShutdown)
{
    EXPECT_FALSE(Logger::isInitialized());
    Logger::info("before {}", 1); // must neither fail nor appear anywhere
    LogCapture capture;
    Logger::info("inside");
    Logger::shutdown();
    EXPECT_FALSE(Logger::isInitialized());
    Logger::info("after");
    Logger::shutdown(); // a second shutdown does nothing
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(messagePart(lines[0]), "[main] inside");
}

TEST(Logger, SecondConfigurationIsIgnored)
{
    LogCapture first;
    std::ostringstream other;
    Logger::configureDefault({std::make_shared<spdlog::sinks::ostream_sink_mt>(other, true)});
    Logger::info("kept");
    const auto lines = first.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(other.str().empty());
}

TEST(Logger, BadFormatDoesNotReachTheCaller)
{
    LogCapture capture;
    EXPECT_NO_THROW(Logger::info("{} {}", 1)); // missing argument
    EXPECT_NO_THROW(Logger::info(std::string("literal { brace")));
    Logger::info("after");
    const auto lines = capture.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(messagePart(lines.back()), "[main] after");
}

TEST(MessageHandler, LogsAndChainsToThePreviousHandler)
{
    capturedQtMessages.clear();
    LogCapture capture;
    qWarning("qt says %d", 5);
    qDebug("debug text");
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("[warning] [main] qt says 5"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("[debug] [main] debug text"), std::string::npos) << lines[1];
    // The handler installed before the application still sees everything.
    qInfo("unlogged");
    ASSERT_EQ(capturedQtMessages.size(), 3u);
    EXPECT_EQ(capturedQtMessages[0], "qt says 5");
    EXPECT_EQ(capturedQtMessages[2], "unlogged");
}

TEST(Application, StartUpSettings)
{
    EXPECT_EQ(QCoreApplication::organizationName(), "Halvard GmbH");
    EXPECT_EQ(QCoreApplication::applicationName(), "LoggingTest");
    EXPECT_EQ(QThread::currentThread()->objectName(), "main");
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
}

TEST(Application, MissingTranslationIsLoggedAndHarmless)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LogCapture capture;
    auto* app = static_cast<Application*>(QCoreApplication::instance());
    app->setupTranslator("OrvikRescaler", "no-such-translations");
    EXPECT_EQ(Application::installEmbeddedTranslator("NoSuchCatalogue"), nullptr);
    const auto lines = capture.lines();
    QLocale::setDefault(QLocale::c());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(messagePart(lines[0]), "[main] Could not load translation files for locale de_DE");
    EXPECT_EQ(messagePart(lines[1]),
              "[main] Could not load the embedded translation NoSuchCatalogue for locale de_DE");

    // The libraries' own language needs no catalogue and no warning.
    for (const QLocale& english : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedKingdom)})
    {
        QLocale::setDefault(english);
        LogCapture quiet;
        EXPECT_EQ(Application::installEmbeddedTranslator("OrvikComponents"), nullptr);
        QLocale::setDefault(QLocale::c());
        EXPECT_TRUE(quiet.lines().empty()) << english.name().toStdString();
    }
}

namespace
{

std::vector<std::string> runCrashHelper(const QString& kind, int& exitCode, QProcess::ExitStatus& status)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath("crash.log");
    QProcess process;
    process.setProgram(QCoreApplication::applicationDirPath() + "/notify_crash_helper");
    process.setArguments({logPath, kind});
    process.start();
    EXPECT_TRUE(process.waitForFinished(30000));
    exitCode = process.exitCode();
    status = process.exitStatus();
    QFile file(logPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<std::string> lines;
    for (const auto& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            lines.push_back(line.toStdString());
    return lines;
}

} // namespace

TEST(Application, ExceptionFromAnEventHandlerIsLoggedInFullAndEndsTheProgram)
{
    int code = 0;
    QProcess::ExitStatus status{};
    auto lines = runCrashHelper("std", code, status);
    EXPECT_TRUE(status == QProcess::CrashExit || code != 0);
    ASSERT_EQ(lines.size(), 201u); // 200 filler lines, none lost, then the closing line
    EXPECT_EQ(messagePart(lines.back()), "[main] Closing application, exception sending event "
                                         "14QMetaCallEvent to object crashTarget (7QObject): "
                                         "sensor exploded");
    EXPECT_NE(lines.back().find("[error]"), std::string::npos);

    lines = runCrashHelper("other", code, status);
    EXPECT_TRUE(status == QProcess::CrashExit || code != 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(messagePart(lines.back()), "[main] Closing application, unknown error sending event "
                                         "14QMetaCallEvent to object crashTarget (7QObject)");
}

namespace
{

class RecordingOpener : public LocalizedFileOpener
{
public:
    bool result = true;
    QStringList opened;

protected:
    bool doOpenFile(const QString& path) override
    {
        opened << path;
        return result;
    }
};

struct OpenerFixture : ::testing::Test
{
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    void touch(const QString& name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir;
    RecordingOpener opener;
};

} // namespace

TEST_F(OpenerFixture, PrefersTheLocalizedDocument)
{
    touch("OrvikRescaler_de.pdf");
    touch("OrvikRescaler.pdf");
    EXPECT_TRUE(opener.openFile(QDir(dir.path()), "OrvikRescaler", '_', ".pdf"));
    EXPECT_EQ(opener.opened, QStringList{dir.filePath("OrvikRescaler_de.pdf")});
}

TEST_F(OpenerFixture, FallsBackToTheNeutralDocument)
{
    touch("OrvikRescaler.pdf");
    LogCapture capture;
    EXPECT_TRUE(opener.openFile(QDir(dir.path()), "OrvikRescaler", '_', ".pdf"));
    EXPECT_EQ(opener.opened, QStringList{dir.filePath("OrvikRescaler.pdf")});
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(messagePart(lines[0]), "[main] File OrvikRescaler_de.pdf does not exist, trying fallback");
}

TEST_F(OpenerFixture, ReportsMissingAndUnopenableDocuments)
{
    LogCapture capture;
    EXPECT_FALSE(opener.openFile(QDir(dir.path()), "OrvikRescaler", '_', ".pdf"));
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_EQ(opener.getFilepath(), dir.filePath("OrvikRescaler.pdf"));

    touch("Manual.pdf");
    opener.result = false;
    EXPECT_FALSE(opener.openFile(QDir(dir.path()), "Manual", std::nullopt, ".pdf"));
    EXPECT_EQ(opener.getFilepath(), dir.filePath("Manual.pdf"));

    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(messagePart(lines[0]), "[main] File OrvikRescaler_de.pdf does not exist, trying fallback");
    EXPECT_EQ(messagePart(lines[1]),
              "[main] File " + dir.filePath("OrvikRescaler.pdf").toStdString() + " does not exist");
    EXPECT_EQ(messagePart(lines[2]), "[main] File Manualde.pdf does not exist, trying fallback");
    EXPECT_EQ(messagePart(lines[3]), "[main] Could not open file " +
                                         QDir::toNativeSeparators(dir.filePath("Manual.pdf")).toStdString());
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(capturingHandler);
    Application app(argc, argv, "LoggingTest");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
