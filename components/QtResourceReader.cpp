#include "components/QtResourceReader.h"

#include "device/Exceptions.h"

#include <QFile>

namespace Hvd::Weft::Components
{

QtResourceReader::QtResourceReader(const std::filesystem::path& sourcePath)
    : path(sourcePath.string())
{
}

std::string QtResourceReader::read() const
{
    QFile file(QString::fromLatin1(path.c_str()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Hvd::Weft::Device::IoException("Could not open " + path);
    return file.readAll().toStdString();
}

std::string QtResourceReader::getSourceName() const
{
    return path;
}

} // namespace Hvd::Weft::Components
