#include "components/logging/LocalizedFileOpener.h"

#include "logging/Logger.h"

#include <QDesktopServices>
#include <QLocale>
#include <QUrl>

namespace Hvd::Weft::Components
{

bool LocalizedFileOpener::openFile(const QDir& directory, const QString& baseName,
                                   std::optional<char> separator, const QString& extension)
{
    filePath = baseName;
    if (separator)
        filePath += QChar::fromLatin1(*separator);
    filePath += QLocale::languageToCode(QLocale().language()) + extension;

    if (!directory.exists(filePath))
    {
        Logger::warn("File {} does not exist, trying fallback", filePath.toStdString());
        filePath = baseName + extension;
    }

    if (directory.exists(filePath))
    {
        filePath = directory.absoluteFilePath(filePath);
        if (doOpenFile(filePath))
            return true;
        Logger::error("Could not open file {}", QDir::toNativeSeparators(filePath).toStdString());
        return false;
    }

    filePath = directory.absoluteFilePath(filePath);
    Logger::warn("File {} does not exist", filePath.toStdString());
    return false;
}

bool DesktopLocalizedFileOpener::doOpenFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl("file:" + path));
}

} // namespace Hvd::Weft::Components
