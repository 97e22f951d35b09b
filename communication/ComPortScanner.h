#pragma once

#include "communication/Comport.h"

#include <QList>
#include <QObject>

namespace Hvd::Weft::Communication
{

// Tells the user interface which serial ports exist, and again whenever
// that set changes.
class ComPortScanner : public QObject
{
    Q_OBJECT

public:
    using List = QList<Comport>;

    explicit ComPortScanner(QObject* parent = nullptr)
        : QObject(parent)
    {
    }

    // True when `current` is worth reporting after `reported`: not both
    // empty, and not merely the same ports in another order.
    static bool isChange(const List& reported, const List& current);

signals:
    // The complete current list, only when it differs from the last one.
    void foundNewPorts(const Hvd::Weft::Communication::ComPortScanner::List& ports);
};

} // namespace Hvd::Weft::Communication
