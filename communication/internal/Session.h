#pragma once

#include "communication/LogLevel.h"
#include "protocol/VELTRIX_Session.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <array>
#include <cstdint>

class VELTRIX;
class VELTRIX_SessionInfo;

namespace Hvd::Weft::Communication::Internal
{

// Sends one VELTRIX session (one or several commands to one address) through
// the facade, guards every expected response with a timeout and hands each
// response on. Lives in the device thread like the facade.
class Session : public QObject
{
    Q_OBJECT

public:
    using Command = VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND;

    // One command of a session with its key/value map.
    struct Data
    {
        Command command = VELTRIX_Session::VELTRIX_ENUM_SESSION_NO_COMMAND;
        QMap<QString, QVariant> data;
    };

    // The session ends with an error when its answers stop for `timeoutMs`.
    Session(QObject* parent, VELTRIX* facade, int timeoutMs);

    // Refused with a trace entry while a response is awaited. `list` must not be empty.
    void startWith(const std::array<std::uint8_t, 5>& address, const QList<Data>& list, int delayMs);
    void stop();
    bool isRunning() const { return running; }

    // Every key of the session's current command, with the received values.
    static QMap<QString, QVariant> getCommandData(VELTRIX_Session& session);
    static QMap<QString, QVariant> getDefaultData(Command command);
    // The five bytes in decimal without separator.
    QString getAddressAsString(const std::array<std::uint8_t, 5>& address) const;

signals:
    void newInfo(VELTRIX_SessionInfo* info);
    void newData(VELTRIX_Session* data);
    void noResponse();
    void log(Hvd::Weft::Communication::LogLevel level, const QString& entry);
    // Wired to the facade only.
    void startSession(VELTRIX_Session* session);
    void stopSession();

private:
    void sendNow();
    void onResponse(VELTRIX_Session* data);
    void onTimeout();

    VELTRIX* facade;
    VELTRIX_Session* record;
    QTimer responseTimer;
    QTimer startTimer;
    bool running = false;
    int commandCount = 0;
    int pendingResponses = 0;
    // Changes with every start and stop, so that a receiver of newData that
    // stops or restarts the session is not overridden afterwards.
    unsigned generation = 0;
};

} // namespace Hvd::Weft::Communication::Internal
