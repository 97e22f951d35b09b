#pragma once

#include <QImage>
#include <QMap>
#include <QString>

// Prints the HTML manual `source`, styled by the CSS file `styleSheet`, as an
// A4 PDF at `target`, with page numbers; its pictures <img src="screenshot:NAME"> come from `shots`. The
// PDF is written under another name first and only then takes `target`'s
// place, so a failed run leaves no half document. False with the reason in
// `error`, also when the manual asks for a picture `shots` does not hold.
bool renderManual(const QString& source, const QString& styleSheet, const QMap<QString, QImage>& shots,
                  const QString& target, QString* error);
