// Master receive path of the link layer fed with valid response frames:
// bytes per second, and heap allocations per delivered frame. Allocations are
// counted by the replaced global operator new below and, since Qt's
// containers allocate with malloc directly, by wrappers of the C allocator
// (glibc only; not under the sanitizers, which replace the allocator).

#include "protocol/VELTRIX_Frame.h"
#include "protocol/VELTRIX_LinkLayer.h"
#include "protocol/VELTRIX_Session.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long long> gAllocations{0};
} // namespace

#if defined(__GLIBC__) && !defined(ORVIK_NO_MALLOC_COUNT)
extern "C"
{
    void* __libc_malloc(std::size_t size);
    void* __libc_calloc(std::size_t count, std::size_t size);
    void* __libc_realloc(void* p, std::size_t size);

    void* malloc(std::size_t size)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_malloc(size);
    }
    void* calloc(std::size_t count, std::size_t size)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_calloc(count, size);
    }
    void* realloc(void* p, std::size_t size)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_realloc(p, size);
    }
}
#define ORVIK_COUNTING_MALLOC 1
#endif

void* operator new(std::size_t size)
{
#ifndef ORVIK_COUNTING_MALLOC
    gAllocations.fetch_add(1, std::memory_order_relaxed);
#endif
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
#ifndef ORVIK_COUNTING_MALLOC
    gAllocations.fetch_add(1, std::memory_order_relaxed);
#endif
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace
{

constexpr double kLineBytesPerSecond = 460800.0 / 11.0;

// A response to command 130 carrying `payload` data bytes, as on the wire.
QByteArray responseFrame(int payload)
{
    QByteArray body = QByteArray::fromHex("86 01002A0000 82");
    body.append(static_cast<char>(payload + 2));
    body.append(2, '\0');
    for (int i = 0; i < payload; ++i)
        body.append(static_cast<char>(i * 7));
    QByteArray frame(5, '\xFF');
    frame.append(body);
    frame.append(static_cast<char>(VELTRIX_Frame::checksum(body)));
    return frame;
}

void MasterReceive(benchmark::State& state)
{
    VELTRIX_LinkLayer link(nullptr, VELTRIX_Session::VELTRIX_HW_UART, {},
                           [] { return std::make_unique<FFakeSerialPortBackend>(); });
    VELTRIX_Session session;
    session.setType(VELTRIX_Session::VELTRIX_ENUM_SESSION_TYPE_MASTER);
    const uchar address[5] = {0x01, 0x00, 0x2A, 0x00, 0x00};
    session.setAddress(address);
    session.setCommand(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    long long delivered = 0;
    QObject::connect(&link, &VELTRIX_LinkLayer::sessionDataRxBufferReady,
                     [&delivered](const QByteArray& frame)
                     {
                         benchmark::DoNotOptimize(frame.constData());
                         ++delivered;
                     });
    const QByteArray frame = responseFrame(static_cast<int>(state.range(0)));
    FSerialPort* port = link.getSerialPort();

    long long allocations = 0;
    for (auto _ : state)
    {
        // A new session, as for each request, so the next frame is hunted.
        link.sessionStart(&session);
        const long long before = gAllocations.load(std::memory_order_relaxed);
        // Emitted from this thread, the port's signal reaches the link layer directly.
        emit port->newDataReadyFromPort(frame);
        allocations += gAllocations.load(std::memory_order_relaxed) - before;
    }
    link.sessionStop();

    if (delivered != static_cast<long long>(state.iterations()))
        state.SkipWithError("not every frame was delivered");
    const double bytes = static_cast<double>(state.iterations()) * frame.size();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["frame_bytes"] = frame.size();
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(delivered);
    state.counters["x_line_rate_460800"] =
        benchmark::Counter(bytes / kLineBytesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(MasterReceive)->Arg(0)->Arg(16)->Arg(100)->Arg(245);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
