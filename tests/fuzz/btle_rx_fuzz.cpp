// Bluetooth LE notifications into the link layer. A link layer connected to
// a radio in memory gets notifications cut anywhere, some of them from a
// characteristic other than the frame characteristic. What it hands up must
// be exactly what a serial link layer hands up for the frame
// characteristic's bytes alone, and every frame must have arrived whole.
// Input: path selector, request command, chunking seed, a mask byte that
// sends some notifications through the battery characteristic, then the bytes.

#include "LinkFuzzSupport.h"
#include "LinkReference.h"

#include "tests/protocol/btle_fakes.h"

#include <QDeadlineTimer>

namespace
{

const QString kRadioAddress = QStringLiteral("00:11:22:33:44:55");

struct Harness
{
    // Scan, pick the device, connect, discover: all through the event loop.
    Harness()
    {
        radio.link->btleStartScan();
        FUZZ_CHECK(air.agent, "the scan made a discovery agent");
        emit air.agent->deviceDiscovered(BtleFake::device(QStringLiteral("Orvik radio"), kRadioAddress));
        radio.link->btleConnectTo(kRadioAddress);
        const QDeadlineTimer deadline(5000);
        while (radio.link->getBtleConnectedDevice().isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        FUZZ_CHECK(!radio.link->getBtleConnectedDevice().isEmpty(), "the radio link connects");
        service = air.service(BtleFake::kService);
        FUZZ_CHECK(service, "the vendor service was discovered");
    }

    BtleFake::FakeRadio air;
    LinkFuzz::Side serial{LinkFuzz::serialLink()};
    LinkFuzz::Side radio{LinkFuzz::serialLink(VELTRIX_Session::VELTRIX_HW_BTLE, BtleFake::factory(&air))};
    BtleFake::Service* service = nullptr;
};

Harness& harness()
{
    static Harness* instance = (FuzzSupport::ensureApplication(), new Harness);
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::Input input(data, size);
    const LinkFuzz::Header header = LinkFuzz::readHeader(input);
    const std::uint8_t foreignMask = input.byte();
    const QByteArray stream = input.rest();

    Harness& h = harness();
    h.serial.start(header.setup);
    h.radio.start(header.setup);
    QByteArray frameBytes;
    int index = 0;
    for (const QByteArray& chunk : LinkFuzz::chunked(stream, header.seed))
    {
        // Notifications of another characteristic never reach the link layer.
        const bool foreign = (foreignMask >> (index++ % 8)) & 1;
        emit h.service->characteristicChanged(foreign ? BtleFake::kBatteryLevel : BtleFake::kFrame, chunk);
        if (!foreign)
            frameBytes.append(chunk);
    }
    LinkFuzz::feed(h.serial.link.get(), frameBytes);

    FUZZ_CHECK(h.radio.recorder.record == h.serial.recorder.record,
               "notifications hand up what the serial line does for the same frame bytes");
    LinkFuzz::Reference reference(header.setup);
    reference.feed(frameBytes);
    LinkFuzz::checkFrames(h.radio.recorder.record, frameBytes, header.setup, reference.addressUnchecked);
    return 0;
}
