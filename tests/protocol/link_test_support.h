#pragma once

#include "protocol/VELTRIX_Session.h"
#include "protocol/serial/FSerialPortBackend.h"
#include "tests/support/wait.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>
#include <memory>

namespace LinkTest
{

// The link tests wait less than the service tests.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 2000)
{
    return TestWait::waitUntil(condition, timeoutMs);
}
using TestWait::settle;

// A factory that makes one fake and tells the test where it is.
inline FSerialPortBackendFactory fakeFactory(FFakeSerialPortBackend** created)
{
    return [created]
    {
        auto fake = std::make_unique<FFakeSerialPortBackend>();
        fake->setAvailablePortNames({QStringLiteral("ttyFAKE0")});
        *created = fake.get();
        return std::unique_ptr<FSerialPortBackend>(std::move(fake));
    };
}

// Sets some of a command's values; the others keep their defaults.
inline void setValues(VELTRIX_Session& session, VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command,
                      const QMap<QString, QVariant>& values)
{
    QMap<QString, QVariant> map;
    session.getDefaultDataForCommand(command, &map);
    for (auto it = values.begin(); it != values.end(); ++it)
        map.insert(it.key(), it.value());
    session.setDataForCommand(command, map);
}

} // namespace LinkTest
