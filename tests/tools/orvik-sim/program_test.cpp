// The orvik-sim program itself, started as a separate process.

#include "sim_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace SimTest;

namespace
{

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/orvik-sim");
}

QJsonObject readState(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

TEST(OrvikSimProgram, ListensOnItsLinkAndStopsCleanlyOnSigterm)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath("orvik");
    const QString stateFile = dir.filePath("state.json");
    // An old link is replaced.
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), link));

    QProcess program;
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(programPath(), {"--link", link, "--state", stateFile, "--variant", "Orvik 50", "--kfactor",
                                  "0.75", "--nak", "141:1"});
    ASSERT_TRUE(program.waitForStarted(5000)) << program.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return program.canReadLine(); }, 10000))
        << program.readAllStandardError().toStdString();
    const QString ready = QString::fromLocal8Bit(program.readLine()).trimmed();
    ASSERT_TRUE(ready.startsWith("READY /dev/")) << ready.toStdString();
    const QString device = ready.mid(6);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), device);

    {
        MasterLine master;
        ASSERT_TRUE(master.open(link));
        const Exchange address = master.ask(BusAddress{}, 137);
        ASSERT_TRUE(address.complete(1));
        EXPECT_EQ(address.answers[0].values.value("Address Slave").toInt(), 4);

        const Exchange name = master.ask(kDevice, 141);
        ASSERT_TRUE(name.complete(1));
        EXPECT_EQ(name.answers[0].values.value("Status Low").toInt(), 1) << "--nak 141:1";

        const Exchange variant = master.ask(kDevice, 130, {{"Address", 399}, {"BytesToRead", 8}});
        ASSERT_TRUE(variant.complete(1));
        EXPECT_EQ(variant.answers[0].values.value("Bytes").toByteArray(), QByteArray("Orvik 50"));

        ASSERT_TRUE(master.ask(kDevice, 143, {{"Systemcommand", 0}}).complete(1));
        master.close();
    }

    const QJsonObject state = readState(stateFile);
    const QJsonArray commands = state["systemCommands"].toArray();
    ASSERT_EQ(commands.size(), 1) << QJsonDocument(state).toJson().left(400).toStdString();
    EXPECT_EQ(commands[0].toObject()["name"].toString(), "SetCurrentAsFactoryDefaults");
    const QJsonArray subChanges = state["subDevice"].toObject()["nvmChanges"].toArray();
    // 0.75 and the default 1.0 as little-endian floats (00 00 40 3f, 00 00 80 3f)
    // differ in one byte only.
    ASSERT_EQ(subChanges.size(), 1) << QJsonDocument(subChanges).toJson().toStdString();
    EXPECT_EQ(subChanges[0].toObject()["address"].toInt(), 30);
    EXPECT_EQ(subChanges[0].toObject()["bytes"].toString(), "40");
    EXPECT_EQ(state["subDevice"].toObject()["nvm"].toString().mid(2 * 28, 8), "0000403f");

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the program";
    const QString log = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(log.contains("request 130 to 19 0 4 0 0: 01 8f 08")) << log.toStdString();
}

TEST(OrvikSimProgram, RefusesBadOptions)
{
    QProcess program;
    program.start(programPath(), {"--silent", "200"});
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("128 to 143"));
}

// A device test bed owns the emulated port's pseudo-terminal and hands its
// master end over: the sensor must serve it, line speed checks included,
// since the speed the program sets is seen on that same pair.
TEST(OrvikSimProgram, ServesAPseudoTerminalHandedOver)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    char name[128] = {};
    ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);

    QProcess program;
    program.setChildProcessModifier([master] { ::fcntl(master, F_SETFD, 0); });
    program.start(programPath(), {"--fd", QString::number(master)});
    ASSERT_TRUE(program.waitForStarted(5000)) << program.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return program.canReadLine(); }, 10000))
        << program.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromLocal8Bit(program.readLine()).trimmed(), QStringLiteral("READY ") + name);
    {
        MasterLine master;
        ASSERT_TRUE(master.open(name));
        const Exchange address = master.ask(BusAddress{}, 137);
        ASSERT_TRUE(address.complete(1));
        EXPECT_EQ(address.answers[0].values.value("Address Slave").toInt(), 4);
        master.close();
    }
    {
        // The sensor listens at 1200 baud after power-up: a master at 2400
        // is garbage to it.
        MasterLine master;
        ASSERT_TRUE(master.open(name, 2400));
        EXPECT_TRUE(master.ask(BusAddress{}, 137).answers.isEmpty());
        master.close();
    }
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    ::close(master);

    // Anything but a pseudo-terminal's master end is refused at start.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    QProcess wrong;
    wrong.setChildProcessModifier([&pipeEnds] { ::fcntl(pipeEnds[0], F_SETFD, 0); });
    wrong.start(programPath(), {"--fd", QString::number(pipeEnds[0])});
    ASSERT_TRUE(wrong.waitForFinished(5000));
    EXPECT_EQ(wrong.exitCode(), 1);
    EXPECT_TRUE(wrong.readAllStandardError().contains("not the master end of a pseudo-terminal"));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
