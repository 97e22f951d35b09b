#pragma once

#include <QDir>
#include <QString>

#include <optional>

namespace Hvd::Weft::Components
{

// Opens a document in the system language ("name_de.pdf"), falling back to
// the language-neutral file ("name.pdf"). Remembers the last path it tried so
// the caller can name it when reporting a failure.
class LocalizedFileOpener
{
public:
    virtual ~LocalizedFileOpener() = default;

    bool openFile(const QDir& directory, const QString& baseName, std::optional<char> separator,
                  const QString& extension);

    QString getFilepath() const { return filePath; }

protected:
    virtual bool doOpenFile(const QString& path) = 0;

private:
    QString filePath;
};

// Hands the document to the desktop's default handler.
class DesktopLocalizedFileOpener : public LocalizedFileOpener
{
protected:
    bool doOpenFile(const QString& path) override;
};

} // namespace Hvd::Weft::Components
