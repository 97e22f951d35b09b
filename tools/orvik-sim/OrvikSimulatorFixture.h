#pragma once

#include "tools/orvik-sim/OrvikSimulatorHost.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace Hvd::Weft::Simulator
{

// A simulated Orvik sensor for tests: serves a pseudo-terminal from a thread
// of its own, so that the code under test opens devicePath() with its normal
// serial port. Every call is thread-safe; the destructor stops the sensor
// and waits for its threads (call it from any thread but the sensor's).
class OrvikSimulatorFixture
{
public:
    explicit OrvikSimulatorFixture(const OrvikSimulatorOptions& options = {});
    ~OrvikSimulatorFixture();
    OrvikSimulatorFixture(const OrvikSimulatorFixture&) = delete;
    OrvikSimulatorFixture& operator=(const OrvikSimulatorFixture&) = delete;

    // The sensor listens; otherwise errorString() says why not.
    bool isReady() const { return mReady; }
    QString errorString() const { return mError; }
    // The path the code under test opens, e.g. /dev/pts/7.
    QString devicePath() const;

    // --- faults (take effect with the next request) ---
    void addFault(const Fault& fault);
    void clearFaults();
    // Silent after this many answers; empty: never.
    void setDropAfter(std::optional<int> answers);
    // Status High of every answer (bits select the status strings of 140).
    void setStatus(std::uint8_t status);
    // Pulls the adapter now: the program's port is hung up for good.
    void hangUp();
    // Pulls it when the next request arrives (with this command, if given),
    // which goes unanswered.
    void hangUpAtNextRequest(std::optional<int> command = std::nullopt);
    bool hungUp() const { return mHungUp; }

    // --- what the sensor has seen and holds ---
    // Requests addressed to the sensor, per command and in all.
    int requestCount(int command) const;
    int requestCount() const;
    int answerCount() const;
    QList<SystemCommandRecord> systemCommands() const;
    PartMemory memory(Target target) const;
    // Test set-up: puts bytes into an NVM directly; false if they do not fit.
    bool writeNvm(Target target, int address, const QByteArray& bytes);
    // The rate the sensor switched to with command 129 (1200 at start and after a restart).
    std::uint32_t baudrate() const;
    int restartCount() const;
    // The rate the sensor listens at now: the switched rate, or the loader's.
    std::uint32_t lineBaudrate() const;

    // --- the loader (a bootloader family in the options) ---
    bool inBootloader() const;
    // Flash bytes as the loader holds them; unwritten ones read 0xFF.
    QByteArray flash(std::uint32_t address, int length) const;
    QList<FlashRegion> flashRegions() const;
    // The last transfer ended in a reset after all its data was written.
    bool transferCompleted() const;

    // The content of the state file (see README.md).
    QJsonObject state() const;

    // Anything else, under the sensor's lock.
    template <typename F> decltype(auto) withSensor(F&& f) const { return mSensor->with(std::forward<F>(f)); }

private:
    std::shared_ptr<SharedSensor> mSensor;
    std::shared_ptr<OrvikPseudoTerminal> mTerminal;
    QThread mThread;
    OrvikSimulatorHost* mHost = nullptr;
    bool mReady = false;
    std::atomic<bool> mHungUp = false;
    QString mError;
};

} // namespace Hvd::Weft::Simulator
