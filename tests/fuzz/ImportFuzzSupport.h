#pragma once

// The importer the program uses (real schemas from Resources/) and the
// shipped description, built once per process for the import harnesses.

#include "FuzzSupport.h"

#include "device/Device.h"
#include "device/Exceptions.h"
#include "device/import/FileReader.h"
#include "device/import/Importer.h"
#include "device/import/JsonFormatImporter.h"

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <typeinfo>

namespace ImportFuzz
{

using namespace Hvd::Weft::Device;

inline const Importer& importer()
{
    static const Importer* instance = []
    {
        FuzzSupport::enterRuntimeDir();
        auto format =
            std::make_shared<JsonFormatImporter>(FileReader("Resources/DeviceDescription.schema.json"),
                                                 FileReader("Resources/DeviceSettings.schema.json"));
        return new Importer({{Format::DESC_JSON, format}, {Format::PARA_JSON, format}});
    }();
    return *instance;
}

inline const Device& shippedDescription()
{
    static const Device* instance = new Device(importer().importDevice(
        FileReader(FuzzSupport::sourcePath("resources/N5Q2-Orvik.desc.json").toStdString())));
    return *instance;
}

// Runs one import. An import failure of the documented kinds is an answer
// (false); any other exception is a finding.
template <typename Import> bool documentedOutcome(Import import)
{
    try
    {
        import();
        return true;
    }
    catch (const ValidationException& e)
    {
        FUZZ_CHECK(!e.getErrors().empty(), "a validation failure names at least one finding");
        FuzzSupport::note(e.what() + std::string(": ") + e.getErrors().front());
    }
    catch (const ImportException& e)
    {
        FuzzSupport::note(e.what());
    }
    // A version text the model cannot hold and an identity it does not know
    // are reported by the model's own exceptions, which the importer passes on.
    catch (const std::invalid_argument& e)
    {
        FuzzSupport::note(e.what());
    }
    catch (const std::bad_optional_access& e)
    {
        FuzzSupport::note(e.what());
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "undocumented %s from the importer: %s\n", typeid(e).name(), e.what());
        FUZZ_CHECK(false, "the importer throws only its documented exceptions");
    }
    return false;
}

} // namespace ImportFuzz
