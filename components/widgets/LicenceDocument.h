#pragma once

#include <QString>

namespace Hvd::Weft::Components
{

// The licences of the components the program links: one section per
// component, each the Debian copyright file of its packages. Generated while
// building (cmake/GenerateLicenceDocument.cmake) from the build machine's
// /usr/share/doc, so it names what the program was really built against.
QString licenceDocument();

} // namespace Hvd::Weft::Components
