// `scripts/demo --gui` against the built programs, with the window driver in
// place of the window: the fake USB adapter is listed by the system and in
// the window, a rescale through the window succeeds on the simulated sensor,
// and nothing of the set-up (test bed, simulator, temporary files) outlives
// the script, after the window closes or on Ctrl-C.

#include "tests/support/pace.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

namespace
{

// What the script returns when umockdev's preload cannot work here.
constexpr int iUnsupported = 77;

QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

// The script with its temporary files (test bed, state, logs) under tmp.
struct DemoRun
{
    explicit DemoRun(const QString& program)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVIK_BUILD_DIR", QDir(binDir() + "/..").absolutePath());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TMPDIR", tmp.path());
        // The simulator and the window at the suite's pace.
        env.insert("ORVIK_TIME_SCALE", QString::number(TestSupport::testPace));
        // Qt would make its runtime folder in TMPDIR otherwise.
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        script.setProcessEnvironment(env);
        script.setProcessChannelMode(QProcess::MergedChannels);
        // A process group of its own, as in a terminal, so that a Ctrl-C can
        // be sent to all of it.
        script.setChildProcessModifier([] { ::setpgid(0, 0); });
        script.start("bash", {QStringLiteral(ORVIK_SOURCE_DIR "/scripts/demo"), "--gui", "--no-build",
                              "--program", program});
    }

    bool finish(int timeoutMs)
    {
        const bool done = script.waitForFinished(timeoutMs);
        output += QString::fromLocal8Bit(script.readAll());
        return done;
    }

    // Processes still running with the temporary folder on their command line.
    QStringList leftovers() const
    {
        QStringList found;
        QDirIterator procs("/proc", {}, QDir::Dirs | QDir::NoDotAndDotDot);
        while (procs.hasNext())
        {
            QFile cmdline(procs.next() + "/cmdline");
            if (cmdline.open(QIODevice::ReadOnly))
            {
                const QByteArray line = cmdline.readAll().replace('\0', ' ');
                if (line.contains(tmp.path().toLocal8Bit()))
                    found << QString::fromLocal8Bit(line);
            }
        }
        return found;
    }

    QStringList leftFiles() const
    {
        return QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir tmp;
    QTemporaryDir runtime;
    QProcess script;
    QString output;
};

int count(const QString& text, const QString& pattern)
{
    const auto match = QRegularExpression(pattern).match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

TEST(DemoGui, RescalesThroughTheFakeUsbAdapterAndTearsDown)
{
    DemoRun run(binDir() + "/demo_window_driver");
    ASSERT_TRUE(run.finish(55000)) << run.output.toStdString();
    if (run.script.exitCode() == iUnsupported)
        GTEST_SKIP() << "umockdev's preload does not work on this machine:\n" << run.output.toStdString();
    const std::string out = run.output.toStdString();
    EXPECT_EQ(run.script.exitCode(), 0) << out;

    // The system lists the adapter as a real one, and the window shows it.
    EXPECT_TRUE(run.output.contains("driver: system port ttyUSB0: \"Single-Wire Line Adapter\" by \"Tarnwick "
                                    "Labs\", serial TW0001, fff0:0a01"))
        << out;
    EXPECT_TRUE(run.output.contains("driver: window port list: ttyUSB0\n")) << out;
    // Success in the window with the chosen size's diameter shown.
    EXPECT_TRUE(run.output.contains("driver: shown: Inner Diameter 107.1 mm, Max. flow ")) << out;
    EXPECT_TRUE(run.output.contains("driver: success")) << out;
    // And in the sensor: written, stored as factory defaults, restarted.
    EXPECT_TRUE(run.output.contains("system commands: SetCurrentAsFactoryDefaults")) << out;
    EXPECT_GT(count(run.output, R"(subDevice NVM: (\d+) bytes differ)"), 0) << out;
    EXPECT_TRUE(run.output.contains("The window exited with 0")) << out;

    EXPECT_TRUE(run.leftovers().isEmpty()) << run.leftovers().join('\n').toStdString();
    EXPECT_TRUE(run.leftFiles().isEmpty()) << run.leftFiles().join(' ').toStdString();
}

TEST(DemoGui, CtrlCStopsTheProgramTheSimulatorAndTheTestBed)
{
    // A program that waits to be stopped, in place of the window.
    QTemporaryDir bin;
    const QString waiting = bin.filePath("waiting");
    QFile file(waiting);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexec sleep 30\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    DemoRun run(waiting);
    ASSERT_TRUE(run.script.waitForStarted(5000));
    const auto started = [&]
    {
        run.output += QString::fromLocal8Bit(run.script.readAll());
        return run.output.contains("-> simulated Orvik sensor on");
    };
    while (!started() && run.script.state() == QProcess::Running)
        run.script.waitForReadyRead(100);
    if (run.script.state() != QProcess::Running && run.script.exitCode() == iUnsupported)
        GTEST_SKIP() << "umockdev's preload does not work on this machine:\n" << run.output.toStdString();
    ASSERT_TRUE(started()) << run.output.toStdString();
    const QStringList running = run.leftovers();
    EXPECT_TRUE(running.join('\n').contains("orvik-sim --fd")) << running.join('\n').toStdString();

    ::kill(-static_cast<pid_t>(run.script.processId()), SIGINT);
    ASSERT_TRUE(run.finish(20000)) << run.output.toStdString();
    EXPECT_EQ(run.script.exitCode(), 128 + SIGINT) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("Stopping on SIGINT")) << run.output.toStdString();
    EXPECT_TRUE(run.leftovers().isEmpty()) << run.leftovers().join('\n').toStdString();
    EXPECT_TRUE(run.leftFiles().isEmpty()) << run.leftFiles().join(' ').toStdString();
}
