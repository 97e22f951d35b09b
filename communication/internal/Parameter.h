#pragma once

#include "communication/Device.h"
#include "communication/internal/Chunks.h"
#include "communication/internal/Default.h"
#include "communication/internal/Sequence.h"

#include <QByteArray>

namespace Hvd::Weft::Communication::Internal
{

// Reads parameter bytes from the sensor's NVM (130) and writes them (131),
// optionally reading every written chunk back in the same session and
// retrying a chunk whose read-back differs; each group of chunks of one
// address type is taken into working memory with 132.
class Parameter : public Default
{
    Q_OBJECT

public:
    static constexpr unsigned maxRetries = 3;

    enum Mode
    {
        Idle = 0,
        Writing = 1,
        Reading = 2,
    };

    Parameter(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
              const VELTRIX_Timing& timing);

    bool isRunning() const { return mode != Idle; }

    // Both return false without any signal while a transfer runs (the caller
    // reports that); every other refusal is reported through error().
    bool startRead(const Chunks<50>& chunks);
    bool startWrite(const Chunks<50>& chunks, bool readBack);

    static Sequences readPlan(const Chunks<50>& chunks);
    static Sequences writePlan(const Chunks<50>& chunks, bool readBack);

signals:
    void success();
    void readValue(const QByteArray& value);

public slots:
    void abort() override;
    void failed(const QString& text);
    void recieveStateMachine(VELTRIX_Session& session) override;

protected:
    void resetRun() override;
    bool isActive() const override { return isRunning(); }

private:
    bool start(Mode newMode, const Chunks<50>& chunks, bool readBack);
    QString noResponseText() const override;
    void onStep() override;
    void sendRunning();
    void finish();
    // False when the run failed or waits for a retry.
    bool evaluate(Session::Command command, Sequence& sequence, const QMap<QString, QVariant>& map);
    bool evaluateReadBack(Sequence& sequence, const QMap<QString, QVariant>& map);
    bool evaluateRead(const Sequence& sequence, const QMap<QString, QVariant>& map);

    int mode = Idle;
    Sequences sequences;
    Device device;
    QByteArray readData;
    int remainingReads = 0;
    bool retryPending = false;
    unsigned retryCount = 0;
    Message lastError;
    unsigned totalCommands = 0;
    unsigned answeredCommands = 0;
};

} // namespace Hvd::Weft::Communication::Internal
