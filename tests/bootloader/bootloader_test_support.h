#pragma once

#include "bootloader/Bootloader.h"
#include "tests/support/wait.h"

#include <QByteArray>
#include <QFile>
#include <QList>
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

// A device on the other end of the line: records every write and answers it
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

private:
    Bootloader* mFamily;
    Script mScript;
};

} // namespace BootloaderTest
