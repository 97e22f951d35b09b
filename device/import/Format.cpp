#include "device/import/Format.h"

namespace Hvd::Weft::Device
{

const Format Format::DESC_JSON("descjson", ".desc.json");
const Format Format::PARA_JSON("parajson", ".para.json");

} // namespace Hvd::Weft::Device
