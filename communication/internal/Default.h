#pragma once

#include "communication/ClosePortWhenFinished.h"
#include "communication/LogLevel.h"
#include "communication/internal/Port.h"
#include "communication/internal/Sequence.h"
#include "communication/internal/Session.h"
#include "protocol/VELTRIX_Timing.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <optional>

class VELTRIX;
class VELTRIX_Session;

namespace Hvd::Weft::Communication::Internal
{

// Base of every protocol sequence: the facade, the shared port, an own
// session, progress, a step timer and the common signals.
class Default : public QObject
{
    Q_OBJECT

public:
    Default(QObject* parent, VELTRIX* facade, Port* port, ClosePortWhenFinished close,
            const VELTRIX_Timing& timing);

    // If the sum stays within 100 it becomes the progress; emitted either way.
    void incProgress(unsigned step);
    // The value under `key` as text, one character padded with a leading "0".
    QString prependZero(const QMap<QString, QVariant>& map, const QString& key) const;

    // The port is gone: a run in progress ends with `text` at once.
    virtual void lineLost(const QString& text);

    unsigned getProgress() const { return progressPercent; }
    Session* getSession() const { return session; }

signals:
    void log(Hvd::Weft::Communication::LogLevel level, const QString& entry);
    void progress(unsigned percent);
    void error(const QString& err);

public slots:
    virtual void abort() = 0;
    // The sequence's handling of one answer; reached only while it runs.
    virtual void recieveStateMachine(VELTRIX_Session& response) = 0;

protected:
    // A failure text for the log and, translated, for the user.
    struct Message
    {
        QString log;
        QString user;
    };

    // `sourceText` must be marked with QT_TR_NOOP in the derived class so
    // that it is translated in that class's context.
    Message message(const char* sourceText, const QStringList& args = {}) const;
    // The same with an explicit translation context.
    static Message message(const char* context, const char* sourceText, const QStringList& args);
    // "Status Low" of a response not 0.
    std::optional<Message> statusError(const QMap<QString, QVariant>& map, Session::Command received) const;
    std::optional<Message> commandError(Session::Command expected, Session::Command received) const;

    // Whether a run is in progress; answers, timeouts and steps are ignored
    // otherwise.
    virtual bool isActive() const { return running; }
    // The user's text when the session's wait for an answer ran out.
    virtual QString noResponseText() const = 0;
    // The step timer has fired (only while a run is in progress).
    virtual void onStep() = 0;

    // The command check, then the status check of an answer to the item
    // `expected` of the running sequence: a failed check is logged and fails
    // the run. True when the answer was rejected.
    bool rejectAnswer(const QMap<QString, QVariant>& map, Session::Command expected,
                      Session::Command received);
    // The same for the item `sequence` awaits: the answer's map when it
    // passed both checks, nothing when the run has failed.
    std::optional<QMap<QString, QVariant>> acceptedAnswer(VELTRIX_Session& response,
                                                          const Sequence& sequence);

    void trace(const QString& text) { emit log(LogLevel::Trace, text); }
    void logError(const QString& text) { emit log(LogLevel::Error, text); }
    void setProgress(unsigned percent);
    void closePortIfWanted();

    // Clears the sequence's own run state (progress, session, timers).
    virtual void resetRun() = 0;
    // A failed run: the error, the reset, then the port closes.
    virtual void failRun(const QString& userText);
    // An aborted run: the log entry at `level`, the reset, then the port closes.
    void abortRun(LogLevel level = LogLevel::Info);

    const VELTRIX_Timing timing;
    VELTRIX* facade;
    Port* port;
    Session* session;
    ClosePortWhenFinished closePortWhenFinished;
    unsigned progressPercent = 0;
    QTimer stepTimer;
    bool running = false;
};

} // namespace Hvd::Weft::Communication::Internal
