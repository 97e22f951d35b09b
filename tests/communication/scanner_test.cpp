#include "communication_test_support.h"

#include "communication/QtComPortScanner.h"

#include <QMutex>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Communication;
using CommTest::settle;
using CommTest::waitUntil;
using List = ComPortScanner::List;

namespace
{
const Comport ttyS0{"ttyS0", "", 0, 0, false, 0, 0};
const Comport usb0{"ttyUSB0", "FTDI", 0x6001, 0x0403, false, 0, 0};
} // namespace

TEST(ComPortScannerComparison, OnlyRealChangesCount)
{
    EXPECT_FALSE(ComPortScanner::isChange({}, {}));
    EXPECT_TRUE(ComPortScanner::isChange({}, {ttyS0}));
    EXPECT_TRUE(ComPortScanner::isChange({ttyS0}, {}));
    EXPECT_FALSE(ComPortScanner::isChange({ttyS0, usb0}, {usb0, ttyS0}));
    EXPECT_TRUE(ComPortScanner::isChange({ttyS0}, {ttyS0, usb0}));
    Comport reinstalled = usb0;
    reinstalled.manufacturer = "FTDI Ltd";
    EXPECT_TRUE(ComPortScanner::isChange({ttyS0, usb0}, {ttyS0, reinstalled}));
}

TEST(QtComPortScanner, ReportsFromItsOwnThreadOnlyWhenTheSetChanges)
{
    QMutex mutex;
    List present;
    QString scannedIn;
    QtComPortScanner scanner(10,
                             [&]
                             {
                                 QMutexLocker lock(&mutex);
                                 scannedIn = QThread::currentThread()->objectName();
                                 return present;
                             });
    QSignalSpy reported(&scanner, &ComPortScanner::foundNewPorts);

    // No ports at all: nothing to report.
    ASSERT_TRUE(waitUntil(
        [&]
        {
            QMutexLocker lock(&mutex);
            return !scannedIn.isEmpty();
        }));
    settle(50);
    EXPECT_EQ(reported.count(), 0);
    {
        QMutexLocker lock(&mutex);
        EXPECT_EQ(scannedIn, "ComPortScanner");
        present = {ttyS0, usb0};
    }
    ASSERT_TRUE(waitUntil([&] { return reported.count() == 1; }));
    EXPECT_EQ(reported.at(0).at(0).value<List>(), (List{ttyS0, usb0}));

    {
        QMutexLocker lock(&mutex);
        present = {usb0, ttyS0};
    }
    settle(60);
    EXPECT_EQ(reported.count(), 1);

    {
        QMutexLocker lock(&mutex);
        present.clear();
    }
    ASSERT_TRUE(waitUntil([&] { return reported.count() == 2; }));
    EXPECT_TRUE(reported.at(1).at(0).value<List>().isEmpty());
}
