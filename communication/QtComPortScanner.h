#pragma once

#include "communication/ComPortScanner.h"

#include <QThread>
#include <QTimer>

#include <functional>

namespace Hvd::Weft::Communication
{

// Polls the operating system's serial ports in a thread of its own
// ("ComPortScanner"); the first scan happens one interval after construction.
class QtComPortScanner : public ComPortScanner
{
    Q_OBJECT

public:
    using Lister = std::function<List()>;

    explicit QtComPortScanner(int intervalMs);
    // `lister` replaces the system's port list; it runs in the scanner thread.
    QtComPortScanner(int intervalMs, Lister lister);
    ~QtComPortScanner() override;

    // The ports the system reports now, with default line properties.
    static List systemPorts();

private:
    void scan();

    List ports;
    QTimer timer;
    QThread thread;
    Lister lister;
};

} // namespace Hvd::Weft::Communication
