// The backup a rescale takes before it writes, the restore after a failed
// write, and `orvik backup` / `orvik restore`, against the simulated sensor.

#include "rescale_test_support.h"

#include "tools/orvik/BackupArguments.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace RescaleTest;

namespace
{

// The write of the last device parameter a rescale writes (TemperatureUnit).
constexpr int lateNvmAddress = 705;

const Dev::Device& description()
{
    static const Dev::Device loaded = []
    {
        QString error;
        auto device = Sim::loadDescription(QString(), &error);
        EXPECT_TRUE(device.has_value()) << error.toStdString();
        return device.value_or(Dev::Device());
    }();
    return loaded;
}

struct Memories
{
    explicit Memories(const OrvikSimulatorFixture& sensor)
        : device(sensor.memory(Target::Device))
        , sub(sensor.memory(Target::SubDevice))
    {
    }
    Sim::PartMemory device;
    Sim::PartMemory sub;
};

::testing::AssertionResult sameMemories(const Memories& before, const Memories& after)
{
    const std::pair<const char*, std::pair<const Sim::PartMemory*, const Sim::PartMemory*>> parts[]{
        {"device", {&before.device, &after.device}}, {"sub device", {&before.sub, &after.sub}}};
    for (const auto& [name, memories] : parts)
    {
        const auto& [a, b] = memories;
        for (const auto& [image, x, y] :
             {std::tuple{"NVM", a->nvm, b->nvm}, std::tuple{"working memory", a->working, b->working},
              std::tuple{"factory defaults", a->factory, b->factory}})
        {
            if (x == y)
                continue;
            qsizetype at = 0;
            while (at < x.size() && at < y.size() && x[at] == y[at])
                ++at;
            return ::testing::AssertionFailure() << name << " " << image << " differs first at " << at;
        }
    }
    return ::testing::AssertionSuccess();
}

// Every setting of the backup holds exactly the bytes the sensor's NVM held.
::testing::AssertionResult matchesNvm(const QString& path, const Memories& memories, std::size_t deviceCount,
                                      std::size_t subdeviceCount)
{
    QString error;
    const auto backup = SensorBackup::load(path, description(), &error);
    if (!backup)
        return ::testing::AssertionFailure() << error.toStdString();
    if (backup->deviceSettings.size() != deviceCount || backup->subdeviceSettings.size() != subdeviceCount)
        return ::testing::AssertionFailure() << backup->deviceSettings.size() << " device and "
                                             << backup->subdeviceSettings.size() << " sub device settings";
    const auto& device = description().getDeviceParameterSets().at(Dev::Version("V02.11"));
    const auto& sub = description().getSubdeviceParameterSets().at(Dev::Version("V02.10"));
    for (const auto& [settings, set, nvm] :
         {std::tuple{&backup->deviceSettings, &device, &memories.device.nvm},
          std::tuple{&backup->subdeviceSettings, &sub, &memories.sub.nvm}})
    {
        for (const Dev::ParameterSetting& setting : *settings)
        {
            const Dev::Parameter& parameter = set->at(setting.getName());
            const auto bytes = setting.getValue().toBytes(parameter.getLength());
            const QByteArray held = nvm->mid(parameter.getAddress(), qsizetype(parameter.getByteSize()));
            if (QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())) != held)
                return ::testing::AssertionFailure() << setting.getName() << " is not what the sensor held";
        }
    }
    return ::testing::AssertionSuccess();
}

// A rescale in this process whose backup goes into `folder`; `afterBackup`
// runs once the backup is saved, before anything is written.
Outcome rescaleWithBackup(const OrvikSimulatorFixture& sensor, const QString& folder,
                          const std::function<void()>& afterBackup = {},
                          const VELTRIX_Timing& timing = TestSupport::testTiming())
{
    return runInProcess(sensor, size("D1H"), timing,
                        [&](RescaleRun& run)
                        {
                            run.setBackupFolder(folder);
                            QObject::connect(&run, &RescaleRun::progressed,
                                             [afterBackup](const QString& line)
                                             {
                                                 if (afterBackup &&
                                                     line.startsWith(QLatin1String("Backup saved")))
                                                     afterBackup();
                                             });
                        });
}

bool rewrite(const QString& from, const QString& to, const std::function<void(QJsonObject&)>& edit)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QJsonObject document = QJsonDocument::fromJson(in.readAll()).object();
    edit(document);
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(document).toJson()) > 0;
}

} // namespace

// A read-back that keeps failing late in the write: the sensor ends with
// every memory as before, from a backup that holds exactly what it held.
TEST(RescaleBackup, AFailedWriteIsUndoneFromTheBackup)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const Memories before(sensor);
    const QTemporaryDir folder;

    // From the backup on: the rescale's four tries fail, the restore's passes.
    const Outcome outcome = rescaleWithBackup(
        sensor, folder.path(),
        [&sensor] { sensor.addFault(Sim::Fault::readbackMismatch(lateNvmAddress, 4, Target::Device)); });

    EXPECT_EQ(outcome.exitCode, RescaleArguments::RescaleFailed) << outcome.text();
    const QString failure = outcome.failures().join('\n');
    EXPECT_TRUE(failure.startsWith("Exceeded max retries: ")) << outcome.text();
    EXPECT_TRUE(failure.endsWith("\nThe sensor was restored to its previous parameters.")) << outcome.text();
    EXPECT_FALSE(outcome.printedSuccess());

    const Memories after(sensor);
    EXPECT_TRUE(sameMemories(before, after));
    const QString backup = outcome.backupPath();
    EXPECT_TRUE(backup.startsWith(folder.path() + "/19-0-4-0-2_")) << backup.toStdString();
    EXPECT_TRUE(matchesNvm(backup, before, 15, 2));
    // Restored means stored as factory defaults and restarted.
    const auto commands = sensor.systemCommands();
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[0].code, 0);
    EXPECT_EQ(commands[1].code, 3);
    // No report for a rescale that did not happen.
    EXPECT_EQ(QDir(folder.path()).entryList({"*.report.*"}), QStringList());
}

// The line goes silent in the middle of the write: the message says the
// sensor is not restored and names its backup, and `orvik restore` with that
// file later brings everything back.
TEST(RescaleBackup, ASensorLostMidWriteIsRestoredLaterWithOrvikRestore)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const Memories before(sensor);
    const QTemporaryDir folder;
    VELTRIX_Timing timing = TestSupport::testTiming();
    timing.sessionTimeoutMs = 1500;

    const Outcome outcome = rescaleWithBackup(
        sensor, folder.path(), [&sensor] { sensor.setDropAfter(sensor.answerCount() + 6); }, timing);

    EXPECT_EQ(outcome.exitCode, RescaleArguments::RescaleFailed) << outcome.text();
    const QString backup = outcome.backupPath();
    ASSERT_FALSE(backup.isEmpty()) << outcome.text();
    const QString failure = outcome.failures().join('\n');
    EXPECT_TRUE(failure.startsWith("Device didn`t respond -> timeout! !\nThe sensor was NOT restored to its "
                                   "previous parameters ("))
        << outcome.text();
    EXPECT_TRUE(failure.endsWith("). Its backup is " + backup + "; restore it with: " +
                                 SensorBackup::restoreCommand(sensor.devicePath(), backup)))
        << outcome.text();
    EXPECT_GT(sensor.requestCount(131), 0);
    EXPECT_FALSE(sameMemories(before, Memories(sensor)));

    sensor.setDropAfter(std::nullopt);
    const Outcome restore = runOrvik({"restore", "--port", sensor.devicePath(), "--file", backup});
    EXPECT_EQ(restore.exitCode, 0) << restore.text();
    EXPECT_EQ(restore.out, QStringList{"Restored " + backup}) << restore.text();
    EXPECT_TRUE(sameMemories(before, Memories(sensor)));
}

// The restore itself is refused by the sensor (its factory-default store):
// reported as not restored, with the backup.
TEST(RescaleBackup, ARefusedRestoreIsReportedWithTheBackup)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const QTemporaryDir folder;
    const Outcome outcome = rescaleWithBackup(
        sensor, folder.path(),
        [&sensor]
        {
            sensor.addFault(Sim::Fault::readbackMismatch(lateNvmAddress, 4, Target::Device));
            sensor.addFault(Sim::Fault::nak(143, 1));
        });
    EXPECT_EQ(outcome.exitCode, RescaleArguments::RescaleFailed) << outcome.text();
    const QString failure = outcome.failures().join('\n');
    EXPECT_TRUE(failure.contains("Exceeded max retries")) << outcome.text();
    EXPECT_TRUE(failure.contains("NOT restored")) << outcome.text();
    EXPECT_TRUE(failure.contains(outcome.backupPath())) << outcome.text();
}

// Without a backup nothing is written.
TEST(RescaleBackup, AnUnwritableBackupFolderStopsBeforeTheSensorIsTouched)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const QString folder = dir.filePath("file/backups");

    const Outcome outcome = rescaleWithBackup(sensor, folder);
    EXPECT_EQ(outcome.exitCode, RescaleArguments::RescaleFailed) << outcome.text();
    EXPECT_EQ(outcome.failures(), QStringList{"Could not save the backup of the sensor's parameters in " +
                                              folder + ": The folder " + folder +
                                              " cannot be created. Nothing was written to the sensor."})
        << outcome.text();
    EXPECT_EQ(sensor.requestCount(131), 0);
    EXPECT_TRUE(sensor.systemCommands().size() == 1 && sensor.systemCommands()[0].code == 3)
        << "only the release's restart";
}

// `orvik backup` saves every parameter; `orvik restore` refuses a file of
// another sensor, version or family, or one edited out of range, before it
// writes anything.
TEST(OrvikBackup, SavesEverythingAndRestoreRefusesWhatDoesNotFit)
{
    OrvikSimulatorFixture sensor;
    ASSERT_TRUE(sensor.isReady()) << sensor.errorString().toStdString();
    const QString port = sensor.devicePath();
    const QTemporaryDir dir;
    const QString file = dir.filePath("sensor.para.json");

    const Outcome backup = runOrvik({"backup", "--port", port, "--file", file});
    ASSERT_EQ(backup.exitCode, 0) << backup.text();
    EXPECT_EQ(backup.out, QStringList{file});
    EXPECT_EQ(sensor.requestCount(131), 0);
    EXPECT_EQ(sensor.restartCount(), 0);
    const auto& sets = description();
    EXPECT_TRUE(
        matchesNvm(file, Memories(sensor),
                   sets.getDeviceParameterSets().at(Dev::Version("V02.11")).getParameters().size(),
                   sets.getSubdeviceParameterSets().at(Dev::Version("V02.10")).getParameters().size()));
    EXPECT_EQ(runOrvik({"backup", "--port", port, "--file", file}).exitCode, 2) << "never over a file";
    const Outcome defaultFolder = runOrvik({"backup", "--port", port});
    EXPECT_EQ(defaultFolder.exitCode, 0) << defaultFolder.text();
    EXPECT_TRUE(defaultFolder.out.value(0).startsWith(programBackupFolder() + "/19-0-4-0-2_"))
        << defaultFolder.text();

    const std::pair<const char*, std::function<void(QJsonObject&)>> edits[]{
        {"address 19.0.4.0.3 in the backup, 19.0.4.0.2 on the sensor",
         [](QJsonObject& document)
         {
             QJsonObject meta = document["Backup"].toObject();
             meta["Address"] = QJsonArray{19, 0, 4, 0, 3};
             document["Backup"] = meta;
         }},
        // The description has no device set of that version.
        {"Version V02.10: No parameter set of this version",
         [](QJsonObject& document)
         {
             QJsonObject meta = document["Backup"].toObject();
             meta["Version"] = "V02.10";
             document["Backup"] = meta;
             QJsonArray sets = document["DeviceParameterSets"].toArray();
             QJsonObject set = sets[0].toObject();
             set["Version"] = "V02.10";
             sets[0] = set;
             document["DeviceParameterSets"] = sets;
         }},
        {"Identity does not match", [](QJsonObject& document) { document["Identity"] = "B1F4-Brenna"; }},
        {"Value must be between MinValue and MaxValue",
         [](QJsonObject& document)
         {
             QJsonArray sets = document["DeviceParameterSets"].toArray();
             QJsonObject set = sets[0].toObject();
             QJsonArray parameters = set["Parameters"].toArray();
             for (auto parameter : parameters)
             {
                 QJsonObject object = parameter.toObject();
                 if (object["Name"] == "FlowCutOff")
                     object["Value"] = 10000;
                 parameter = object;
             }
             set["Parameters"] = parameters;
             sets[0] = set;
             document["DeviceParameterSets"] = sets;
         }},
    };
    const int opened = sensor.requestCount();
    for (const auto& [reason, edit] : edits)
    {
        const QString edited = dir.filePath(QStringLiteral("edited.para.json"));
        QFile::remove(edited);
        ASSERT_TRUE(rewrite(file, edited, edit));
        const Outcome refused = runOrvik({"restore", "--port", port, "--file", edited});
        EXPECT_EQ(refused.exitCode, 1) << refused.text();
        const QString failure = refused.failures().join('\n');
        EXPECT_TRUE(failure.startsWith("The backup cannot be restored: ")) << refused.text();
        EXPECT_TRUE(failure.contains(QLatin1String(reason))) << reason << "\n" << refused.text();
        EXPECT_TRUE(refused.out.isEmpty());
    }
    // Only the file of another sensor reached the line (to learn who is
    // there); nothing was written.
    EXPECT_EQ(sensor.requestCount(131), 0);
    EXPECT_EQ(sensor.restartCount(), 0);
    EXPECT_GT(sensor.requestCount(), opened);

    // Units of one kind share their address: the serial number tells them apart.
    const SensorImage image(sensor, Target::Device, "V02.11");
    const Dev::Parameter& serial = image.parameter("IndividualProductionNumber");
    const QByteArray original = sensor.memory(Target::Device).nvm.mid(serial.getAddress(), 16);
    ASSERT_TRUE(
        sensor.writeNvm(Target::Device, serial.getAddress(), QByteArray("B-2").leftJustified(16, '\0')));
    const Outcome otherUnit = runOrvik({"restore", "--port", port, "--file", file});
    EXPECT_EQ(otherUnit.exitCode, 1) << otherUnit.text();
    EXPECT_TRUE(otherUnit.failures().join('\n').contains(
        "serial number " + QString::fromLatin1(original.constData()) + " in the backup, B-2 on the sensor"))
        << otherUnit.text();
    EXPECT_EQ(sensor.requestCount(131), 0);

    ASSERT_TRUE(sensor.writeNvm(Target::Device, serial.getAddress(), original));
    const Outcome restored = runOrvik({"restore", "--port", port, "--file", file});
    EXPECT_EQ(restored.exitCode, 0) << restored.text();
    EXPECT_EQ(sensor.restartCount(), 1);
}

TEST(BackupArguments, RefusesFilesThatCannotBeUsed)
{
    const QTemporaryDir dir;
    const auto parse = [](QStringList arguments, bool restore)
    {
        arguments.prepend(restore ? "orvik restore" : "orvik backup");
        return restore ? BackupArguments::parseRestore(arguments) : BackupArguments::parseBackup(arguments);
    };
    using Outcome = BackupArguments::Parsed::Outcome;
    EXPECT_EQ(parse({"--port", "p"}, false).outcome, Outcome::Run);
    EXPECT_TRUE(parse({"--port", "p", "--file", "x.json"}, false).text.contains(".para.json"));
    EXPECT_TRUE(parse({"--port", "p"}, true).text.contains("--file FILE is required"));
    EXPECT_TRUE(parse({"--port", "p", "--file", dir.filePath("none.para.json")}, true)
                    .text.contains("Cannot read the backup"));
    EXPECT_TRUE(parse({"--file", "a.para.json"}, false).text.contains("--port PORT is required"));
    EXPECT_EQ(parse({"--help"}, true).outcome, Outcome::Help);
}
