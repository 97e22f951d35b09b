#include "communication_test_support.h"

#include "communication/internal/Parameter.h"
#include "protocol/VELTRIX.h"
#include "tools/support/FFakeSerialPortBackend.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Hvd::Weft::Communication;
using Internal::Chunks;
using Internal::Session;

// Answers the stack could parse only in part, handed to the transfer directly.
class TransferAnswers : public ::testing::Test
{
protected:
    TransferAnswers()
    {
        VELTRIX_Options options;
        options.backendFactory = [] { return std::make_unique<FFakeSerialPortBackend>(); };
        facade = std::make_unique<VELTRIX>(nullptr, VELTRIX_Session::VELTRIX_HW_UART, options);
        port = std::make_unique<Internal::Port>(nullptr, facade.get(), VELTRIX_Timing());
        transfer = std::make_unique<Internal::Parameter>(nullptr, facade.get(), port.get(),
                                                         ClosePortWhenFinished::No, VELTRIX_Timing());
        chunks.device.address.bytes = {19, 0, 4, 0, 0};
        chunks.chunks = {{Address::Type::Device, 0, QByteArray("\x01\x02\x03\x04", 4)},
                         {Address::Type::Device, 10, QByteArray("\x05\x06", 2)}};
    }

    ~TransferAnswers() override { transfer->abort(); }

    // The response record of one answer.
    void answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, const QMap<QString, QVariant>& values)
    {
        QMap<QString, QVariant> map = Session::getDefaultData(command);
        for (auto it = values.begin(); it != values.end(); ++it)
            map.insert(it.key(), it.value());
        VELTRIX_Session response;
        response.setCommand(command);
        response.setDataForCommand(command, map);
        transfer->recieveStateMachine(response);
    }

    std::unique_ptr<VELTRIX> facade;
    std::unique_ptr<Internal::Port> port;
    std::unique_ptr<Internal::Parameter> transfer;
    Chunks<50> chunks;
};

TEST_F(TransferAnswers, AReadAnswerWithoutItsBytesFailsInsteadOfShiftingTheRest)
{
    struct Case
    {
        const char* name;
        QMap<QString, QVariant> values;
        int received;
    };
    const QList<Case> cases{
        {"too few payload bytes", {{"Universal Error", 1}}, 0},
        {"too many payload bytes", {{"Universal Error", 2}}, 0},
        {"short but well-formed", {{"Bytes", QByteArray("\x01\x02", 2)}}, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QSignalSpy errors(transfer.get(), &Internal::Parameter::error);
        QSignalSpy values(transfer.get(), &Internal::Parameter::readValue);
        ASSERT_TRUE(transfer->startRead(chunks));
        answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, c.values);
        ASSERT_EQ(errors.count(), 1);
        EXPECT_EQ(
            errors.at(0).at(0).toString(),
            QString("Device responded to command 130 without the requested data: NVM address: 0 requested "
                    "bytes: 4 received bytes: %1")
                .arg(c.received));
        EXPECT_FALSE(transfer->isRunning());
        EXPECT_EQ(values.count(), 0);
    }
}

TEST_F(TransferAnswers, AReadBackTheStackCouldNotDecodeCountsAsMismatch)
{
    QSignalSpy errors(transfer.get(), &Internal::Parameter::error);
    QSignalSpy log(transfer.get(), &Internal::Parameter::log);
    ASSERT_TRUE(transfer->startWrite(chunks, true));
    answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, {});
    // Same bytes as written, but flagged as not executed.
    answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
           {{"Universal Error", 255}, {"Bytes", QByteArray("\x01\x02\x03\x04", 4)}});
    EXPECT_EQ(errors.count(), 0);
    EXPECT_TRUE(transfer->isRunning());
    bool mismatchLogged = false;
    for (const auto& entry : log)
        mismatchLogged |=
            entry.at(1).toString().contains("Sent value didn't correspond to read value: NVM address: 0");
    EXPECT_TRUE(mismatchLogged);
}

TEST_F(TransferAnswers, AWrongCommandOrARefusalFails)
{
    QSignalSpy errors(transfer.get(), &Internal::Parameter::error);
    ASSERT_TRUE(transfer->startWrite(chunks, false));
    answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, {});
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(),
              "Device responded with wrong command. Expected: 131 Received: 130");

    ASSERT_TRUE(transfer->startWrite(chunks, false));
    answer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, {{"Status Low", 0x40}});
    ASSERT_EQ(errors.count(), 2);
    EXPECT_EQ(errors.at(1).at(0).toString(), "Device didn`t acknowledge command 131");
    EXPECT_FALSE(transfer->isRunning());
}
