#pragma once

#include "bootloader/Bootloader.h"
#include "bootloader/msp432/MSPCommands.h"
#include "tests/support/wait.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QObject>
#include <QTemporaryDir>

#include <functional>

namespace BootloaderTest
{

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// Short waits so that timeouts cost milliseconds.
inline BootloaderTiming fastTiming()
{
    BootloaderTiming timing;
    timing.tivaAnswerTimeoutMs = 300;
    timing.mspAnswerTimeoutMs = 300;
    timing.mspWakeUpRepeatMs = 2;
    timing.mspConnectDelayMs = 5;
    return timing;
}

// Image files in a folder of their own.
class Images
{
public:
    QString write(const QString& name, const QByteArray& content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }

    // Lines of 16 hex bytes, as TI-TXT writers put them.
    QString missing() const { return dir.filePath("missing.txt"); }

    static QByteArray hexLines(const QByteArray& data)
    {
        QByteArray text;
        for (qsizetype i = 0; i < data.size(); ++i)
        {
            text += data.mid(i, 1).toHex().toUpper();
            text += (i % 16 == 15 || i + 1 == data.size()) ? "\n" : " ";
        }
        return text;
    }

    static QByteArray pattern(int size, int seed = 0)
    {
        QByteArray data;
        for (int i = 0; i < size; ++i)
            data.append(static_cast<char>((i * 7 + seed) & 0xFF));
        return data;
    }

private:
    QTemporaryDir dir;
};

// What a family reported.
struct Reports
{
    explicit Reports(Bootloader* family)
    {
        QObject::connect(family, &Bootloader::state, [this](Bootloader::BLSTATE s) { states.append(s); });
        QObject::connect(family, &Bootloader::error, [this](Bootloader::BLERROR e) { errors.append(e); });
        QObject::connect(family, &Bootloader::progress, [this](uint8_t p) { progress.append(p); });
    }

    bool ended() const
    {
        return !states.isEmpty() && (states.last() == Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL ||
                                     states.last() == Bootloader::BLSTATE_ERROR);
    }
    bool waitForEnd(int timeoutMs = 5000) const
    {
        return TestWait::waitUntil([this] { return ended(); }, timeoutMs);
    }

    QList<Bootloader::BLSTATE> states;
    QList<Bootloader::BLERROR> errors;
    QList<int> progress;
};

// A device on the other end of the line: records every write, confirms it
// as the port does once it has left (unless told not to) and answers it
// through the event loop with what the script returns (nothing: silence).
class ScriptedDevice : public QObject
{
public:
    using Script = std::function<QByteArray(const QByteArray& packet)>;

    ScriptedDevice(Bootloader* family, Script script)
        : mFamily(family)
        , mScript(std::move(script))
    {
        connect(family, &Bootloader::writeDataToInterface, this,
                [this](QByteArray data, bool halfDuplex)
                {
                    writes.append(data);
                    halfDuplexFlags.append(halfDuplex);
                    if (confirmWrites)
                        QMetaObject::invokeMethod(
                            this, [this] { mFamily->dataWrittenToInterface(); }, Qt::QueuedConnection);
                    const QByteArray answer = mScript(data);
                    if (!answer.isEmpty())
                        answerLater(answer);
                });
    }

    void answerLater(const QByteArray& answer)
    {
        QMetaObject::invokeMethod(
            this, [this, answer] { mFamily->newDataReadyFromInterface(answer); }, Qt::QueuedConnection);
    }

    QList<QByteArray> writes;
    QList<bool> halfDuplexFlags;
    bool confirmWrites = true;

private:
    Bootloader* mFamily;
    Script mScript;
};

inline QByteArray msp432AnswerFrame(const QByteArray& core)
{
    const uint16_t crc = MSPCommands::getCRC_CCITT(core);
    return bytes({0x00, 0x80, static_cast<int>(core.size()), 0x00}) + core + bytes({crc & 0xFF, crc >> 8});
}

// An MSP432 loader: acknowledges the wake-up byte, keeps what it is asked to
// write and answers a CRC check with the CRC of what it holds. Every answer
// carries the extra byte a half-duplex line delivers.
class Msp432Loader
{
public:
    using Cmd = MSPCommands::MSPCMD;

    QByteArray answer(const QByteArray& packet)
    {
        if (!packet.isEmpty() && packet.count(static_cast<char>(0xFF)) == packet.size())
            return silent ? QByteArray() : bytes({0x00});
        const auto cmd = static_cast<Cmd>(static_cast<uint8_t>(packet.at(3)));
        commands.append(cmd);
        const QByteArray data = packet.mid(4, packet.size() - 6);
        QByteArray core = bytes({0x3B, message});
        if (cmd == Cmd::MSPCMD_REBOOT_RESET)
            return {};
        if (cmd == Cmd::MSPCMD_RX_DATA_BLOCK_32)
            flash[address(data)] = data.mid(4);
        if (cmd == Cmd::MSPCMD_CRC_CHECK_32)
        {
            QByteArray held = flash.value(address(data));
            if (corruptFlash)
                held[0] = static_cast<char>(held.at(0) ^ 1);
            const uint16_t crc = MSPCommands::getCRC_CCITT(held);
            core = bytes({0x3A, crc & 0xFF, crc >> 8});
        }
        return msp432AnswerFrame(core) + bytes({0x5A});
    }

    static uint32_t address(const QByteArray& data)
    {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<uint8_t>(data.at(i));
        return value;
    }

    QByteArray flashed() const
    {
        QByteArray all;
        for (const QByteArray& block : flash)
            all += block;
        return all;
    }

    bool silent = false;
    bool corruptFlash = false;
    int message = 0;
    QList<Cmd> commands;
    QMap<uint32_t, QByteArray> flash;
};

} // namespace BootloaderTest
