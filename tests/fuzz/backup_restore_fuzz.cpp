// Reading a backup file for a restore: any bytes as a ".para.json" file
// either give a backup or an explanation, never an exception, and a backup
// read is saved again to a file that reads back to the same backup.

#include "ImportFuzzSupport.h"

#include "app/SensorBackup.h"

#include <QFile>

#include <stdexcept>

namespace
{

void checkSame(const SensorBackup& a, const SensorBackup& b)
{
    FUZZ_CHECK(a.sensor.address.bytes == b.sensor.address.bytes, "the address survives a save");
    FUZZ_CHECK(a.sensor.name == b.sensor.name && a.sensor.version == b.sensor.version &&
                   a.sensor.revision == b.sensor.revision && a.sensor.vendor == b.sensor.vendor,
               "the device's identification survives a save");
    FUZZ_CHECK(a.sensor.subName == b.sensor.subName && a.sensor.subVersion == b.sensor.subVersion &&
                   a.sensor.subRevision == b.sensor.subRevision,
               "the sub device's identification survives a save");
    FUZZ_CHECK(a.serialNumber == b.serialNumber && a.port == b.port && a.identity == b.identity,
               "serial number, port and identity survive a save");
    FUZZ_CHECK(a.deviceSettings.size() == b.deviceSettings.size() &&
                   a.subdeviceSettings.size() == b.subdeviceSettings.size(),
               "every setting survives a save");
    for (std::size_t i = 0; i < a.deviceSettings.size(); ++i)
        FUZZ_CHECK(a.deviceSettings.at(i) == b.deviceSettings.at(i), "a device setting survives a save");
    for (std::size_t i = 0; i < a.subdeviceSettings.size(); ++i)
        FUZZ_CHECK(a.subdeviceSettings.at(i) == b.subdeviceSettings.at(i),
                   "a sub device setting survives a save");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::ensureApplication();
    ImportFuzz::shippedDescription();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path =
        FuzzSupport::scratchFile(QStringLiteral("restore.para.json"), FuzzSupport::whole(data, size));
    QString error;
    std::optional<SensorBackup> backup;
    try
    {
        backup = SensorBackup::load(path, ImportFuzz::shippedDescription(), &error);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "%s\n", e.what());
        FUZZ_CHECK(false, "reading a backup reports failures, it does not throw");
    }
    if (!backup)
    {
        FUZZ_CHECK(!error.isEmpty(), "a backup that cannot be read says why");
        FuzzSupport::note(error.toStdString());
        return 0;
    }

    std::string text;
    try
    {
        text = backup->toText();
    }
    catch (const std::invalid_argument& e)
    {
        FuzzSupport::note(e.what());
        return 0;
    }
    const QString again =
        FuzzSupport::scratchFile(QStringLiteral("again.para.json"), QByteArray::fromStdString(text));
    const auto reread = SensorBackup::load(again, ImportFuzz::shippedDescription(), &error);
    FUZZ_CHECK(reread.has_value(), "a saved backup reads back");
    checkSame(*backup, *reread);
    return 0;
}
