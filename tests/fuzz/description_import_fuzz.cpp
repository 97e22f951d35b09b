// The description importer with the program's schema and rules: any text as
// a ".desc.json" file either becomes a device that passes every rule, or
// fails with one of the importer's documented exceptions.

#include "ImportFuzzSupport.h"

#include "device/import/StringReader.h"
#include "device/validation/Validator.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ImportFuzz::importer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ImportFuzz;
    static const Validator validator;
    const StringReader reader("fuzz.desc.json", std::string(reinterpret_cast<const char*>(data), size));
    Device device;
    if (!documentedOutcome([&] { device = importer().importDevice(reader); }))
        return 0;
    FUZZ_CHECK(validator.validate(device).getErrors().empty(), "an imported description passes every rule");
    return 0;
}
