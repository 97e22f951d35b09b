#include "protocol/serial/FQtSerialPortBackend.h"
#include "protocol/serial/FSerialPort.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// A pseudo-terminal whose slave side the port opens by path.
struct Pty
{
    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        ::close(master);
        ::close(slave);
    }
    int master = -1;
    int slave = -1;
    QString path;
};

bool open(FSerialPort& port, const QString& path)
{
    QSignalSpy result(&port, &FSerialPort::finishedOpenPort);
    port.openPort(path, 1200, FSerialPort::Data8, FSerialPort::OddParity, FSerialPort::OneStop,
                  FSerialPort::NoFlowControl);
    return result.count() == 1 && result.at(0).at(0).toBool();
}

} // namespace

TEST(SerialPortReopen, OnePortOpensAgainWithTheSameLineSettings)
{
    Pty first;
    Pty second;
    ASSERT_FALSE(first.path.isEmpty());
    FSerialPort port(nullptr,
                     [] {
                         return std::make_unique<FQtSerialPortBackend>(
                             FQtSerialPortBackend::ModemLines::TolerateMissing);
                     });
    ASSERT_TRUE(open(port, first.path));
    port.closePort();
    EXPECT_TRUE(open(port, first.path));
    port.closePort();
    EXPECT_TRUE(open(port, second.path));
    port.closePort();
}
