#include "tools/help-manual/ManualRenderer.h"

#include <QCoreApplication>
#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

namespace
{

constexpr const char* screenshotScheme = "screenshot";
constexpr int pdfResolution = 300;

// The manual names the program's messages as {{context|source text}}; they
// are printed as the program shows them, translated by the catalogues
// installed now, with the blanks it fills in ("%1") shown as "…".
QString withMessages(const QString& html)
{
    static const QRegularExpression quoted(QStringLiteral("\\{\\{([^|}]+)\\|([^}]+)\\}\\}"));
    static const QRegularExpression blank(QStringLiteral("%[1-9]"));
    // A button's shortcut marker ("&Parameterize") and a field label's colon
    // ("Select a port:") are the window's, not part of the name.
    static const QRegularExpression mnemonic(QStringLiteral("&(.)"));
    static const QRegularExpression labelColon(QStringLiteral(":$"));
    QString result;
    qsizetype from = 0;
    for (auto match = quoted.globalMatch(html); match.hasNext();)
    {
        const auto message = match.next();
        const QByteArray context = message.captured(1).toUtf8();
        const QByteArray sourceText = message.captured(2).toUtf8();
        QString shown = QCoreApplication::translate(context.constData(), sourceText.constData());
        shown = shown.replace(mnemonic, QStringLiteral("\\1"))
                    .remove(labelColon)
                    .toHtmlEscaped()
                    .replace(blank, QStringLiteral("\u2026"));
        result += html.mid(from, message.capturedStart() - from);
        result += shown;
        from = message.capturedEnd();
    }
    return result + html.mid(from);
}

bool readText(const QString& path, QString* text, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
    {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *text = QString::fromUtf8(file.readAll());
    return true;
}

} // namespace

bool renderManual(const QString& source, const QString& styleSheet, const QMap<QString, QImage>& shots,
                  const QString& target, QString* error)
{
    QString html;
    QString style;
    if (!readText(source, &html, error) || !readText(styleSheet, &style, error))
        return false;
    html = withMessages(html);

    // A picture the tour did not take would print as an empty frame.
    static const QRegularExpression picture(QStringLiteral("src=\"%1:([^\"]*)\"").arg(screenshotScheme));
    for (auto match = picture.globalMatch(html); match.hasNext();)
    {
        const QString name = match.next().captured(1);
        if (!shots.contains(name))
        {
            *error = QStringLiteral("%1 shows the screenshot \"%2\", which was not taken").arg(source, name);
            return false;
        }
    }

    QTextDocument document;
    document.setDefaultStyleSheet(style);
    for (auto shot = shots.begin(); shot != shots.end(); ++shot)
        document.addResource(QTextDocument::ImageResource,
                             QUrl(QLatin1String(screenshotScheme) + ':' + shot.key()), shot.value());
    document.setHtml(html);

    const QString partial = target + QStringLiteral(".part");
    QFile::remove(partial);
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(pdfResolution);
        writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
        writer.setCreator(QStringLiteral("OrvikRescaler"));
        // Breaks the text into pages with a margin and numbers them.
        document.print(&writer);
    }
    QFile::remove(target);
    if (!QFile::exists(partial) || !QFile::rename(partial, target))
    {
        *error = QStringLiteral("cannot write %1").arg(target);
        return false;
    }
    return true;
}
