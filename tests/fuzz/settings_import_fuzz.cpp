// The settings importer with the program's schema and rules, on its own and
// against the shipped description. What it accepts must be written back by
// the settings writer to a file that imports again to the same text, and
// what passes against the description must pass on its own too.

#include "ImportFuzzSupport.h"

#include "device/import/JsonSettingsWriter.h"
#include "device/import/StringReader.h"

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ImportFuzz::shippedDescription();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ImportFuzz;
    const StringReader reader("fuzz.para.json", std::string(reinterpret_cast<const char*>(data), size));
    DeviceSettings alone;
    DeviceSettings matched;
    const bool aloneOk = documentedOutcome([&] { alone = importer().importDeviceSettings(reader); });
    const bool matchedOk = documentedOutcome(
        [&] { matched = importer().importDeviceSettingsForDevice(shippedDescription(), reader); });
    FUZZ_CHECK(aloneOk || !matchedOk, "settings that fit the description are valid on their own");
    if (!aloneOk)
        return 0;

    std::string written;
    try
    {
        written = writeDeviceSettings(alone);
    }
    catch (const std::invalid_argument& e)
    {
        // A value without an exact form in the file is refused by name.
        FuzzSupport::note(e.what());
        return 0;
    }
    const StringReader again("again.para.json", written);
    DeviceSettings reread;
    FUZZ_CHECK(documentedOutcome([&] { reread = importer().importDeviceSettings(again); }),
               "written settings import again");
    FUZZ_CHECK(writeDeviceSettings(reread) == written, "written settings read back to the same values");
    if (matchedOk)
        FUZZ_CHECK(
            documentedOutcome([&] { importer().importDeviceSettingsForDevice(shippedDescription(), again); }),
            "written settings still fit the description");
    return 0;
}
