#include <gtest/gtest.h>

#include <random>

#include "protocol/VELTRIX_AppCodec.h"

namespace
{

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QMap<QString, QVariant> defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command)
{
    return VELTRIX_Session::standardLayoutForCommand(VELTRIX_Session::getCommandStringForCommandMap(command));
}

QMap<QString, QVariant> decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND command, const char* frame)
{
    return VELTRIX_AppCodec::decodeResponse(command, hex(frame), defaultsFor(command));
}

int universal(const QMap<QString, QVariant>& map)
{
    return map.value("Universal Error").toInt();
}

const VELTRIX_AppCodec::Address deviceAddress{0x01, 0x00, 0x2A, 0x00, 0x00};

} // namespace

// ---- Master requests -------------------------------------------------------

TEST(MasterRequest, ReadAskedOfTheDeviceAddress)
{
    auto values = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    values.insert("Address", 0x0123);
    values.insert("BytesToRead", 16);
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, deviceAddress,
                                             values),
              hex("82 01 00 2A 00 00 82 03 01 23 10"));
}

TEST(MasterRequest, AddressQueryGoesToTheAllZeroAddress)
{
    EXPECT_EQ(
        VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, deviceAddress, {}),
        hex("82 00 00 00 00 00 89 00"));
}

TEST(MasterRequest, WriteCountsItsDataNotDatabytesMaster)
{
    QMap<QString, QVariant> values;
    values.insert("Address", 0x0010);
    values.insert("BytesToWrite", 4);
    values.insert("Bytes", hex("DEADBEEF 77"));
    values.insert("Databytes Master", 9);
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, deviceAddress,
                                             values),
              hex("82 01 00 2A 00 00 83 06 00 10 DE AD BE EF"));

    // Too few bytes supplied: the frame still carries exactly BytesToWrite.
    values.insert("Bytes", hex("AA"));
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, deviceAddress,
                                             values),
              hex("82 01 00 2A 00 00 83 06 00 10 AA 00 00 00"));

    // The byte count has one byte: the data are capped so it cannot wrap.
    values.insert("BytesToWrite", 300);
    const QByteArray big = VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                                                          deviceAddress, values);
    EXPECT_EQ(static_cast<uchar>(big.at(7)), 255);
    EXPECT_EQ(big.size(), 8 + 255);
}

TEST(MasterRequest, BaudrateSystemCommandAndDiagnosticPayloads)
{
    QMap<QString, QVariant> baud;
    baud.insert("Baudrate", 19200);
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, deviceAddress,
                                             baud),
              hex("82 01 00 2A 00 00 81 03 00 4B 00"));

    QMap<QString, QVariant> system;
    system.insert("Systemcommand", 1);
    system.insert("Payload", 0x01020304u);
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143, deviceAddress,
                                             system),
              hex("82 01 00 2A 00 00 8F 05 01 01 02 03 04"));

    QMap<QString, QVariant> diag;
    diag.insert("DiagCode", 0x1FF);
    EXPECT_EQ(VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134, deviceAddress,
                                             diag),
              hex("82 01 00 2A 00 00 86 01 FF"));

    EXPECT_EQ(
        VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141, deviceAddress, {}),
        hex("82 01 00 2A 00 00 8D 00"));
}

TEST(MasterRequest, MissingKeysEncodeTheirDefaults)
{
    // A map without "Databytes Master" must not announce a payload of 0.
    EXPECT_EQ(
        VELTRIX_AppCodec::buildRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, deviceAddress, {}),
        hex("82 01 00 2A 00 00 82 03 00 00 00"));
}

// ---- Master responses ------------------------------------------------------

TEST(MasterResponse, AddressAnswerFillsTheThreeAddressKeys)
{
    const auto map =
        decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_137, "86 5A 00 07 00 00 89 02 00 00");
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Address Vendor ID").toInt(), 90);
    EXPECT_EQ(map.value("Address Slave").toInt(), 7);
    EXPECT_EQ(map.value("Address Subslave").toInt(), 0);
}

TEST(MasterResponse, WrongLengthsAreReportedAndLeaveThePayloadKeys)
{
    auto map =
        decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, "86 01 00 2A 00 00 87 05 00 00 03 07 09");
    EXPECT_EQ(universal(map), 2);
    EXPECT_EQ(map.value("Version").toInt(), 0);
    EXPECT_EQ(map.value("Subversion").toInt(), 0);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, "86 01 00 2A 00 00 87 03 00 00 03");
    EXPECT_EQ(universal(map), 1);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, "86 01 00 2A 00 00 87 04 00 00 03 07");
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Version").toInt(), 3);
    EXPECT_EQ(map.value("Subversion").toInt(), 7);
}

TEST(MasterResponse, StatusLowRefusesWhateverTheLength)
{
    for (const char* frame : {"86 01 00 2A 00 00 87 02 12 40", "86 01 00 2A 00 00 87 04 12 40 03 07",
                              "86 01 00 2A 00 00 87 07 12 40 03 07 00 00 00"})
    {
        const auto map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, frame);
        EXPECT_EQ(universal(map), 255) << frame;
        EXPECT_EQ(map.value("Status High").toInt(), 0x12);
        EXPECT_EQ(map.value("Status Low").toInt(), 0x40);
        EXPECT_EQ(map.value("Version").toInt(), 0);
    }
}

TEST(MasterResponse, DeviceVariablesFollowTheirCount)
{
    // N = 2: unit 0x20 value 1.0, unit 0x21 value -2.5.
    auto map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
                      "86 01 00 2A 00 00 8A 0D 00 00 02 20 3F 80 00 00 21 C0 20 00 00");
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Number of Devicevariables").toInt(), 2);
    EXPECT_EQ(map.value("Devicevariable 1 Unit").toInt(), 0x20);
    EXPECT_EQ(map.value("Devicevariable 1").typeId(), QMetaType::Float);
    EXPECT_FLOAT_EQ(map.value("Devicevariable 1").toFloat(), 1.0f);
    EXPECT_EQ(map.value("Devicevariable 2 Unit").toInt(), 0x21);
    EXPECT_FLOAT_EQ(map.value("Devicevariable 2").toFloat(), -2.5f);
    EXPECT_FLOAT_EQ(map.value("Devicevariable 3").toFloat(), 0.0f);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
                 "86 01 00 2A 00 00 8A 0C 00 00 02 20 3F 80 00 00 21 C0 20 00");
    EXPECT_EQ(universal(map), 1);
    EXPECT_EQ(map.value("Number of Devicevariables").toInt(), 0);

    // No room for the count itself.
    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139, "86 01 00 2A 00 00 8B 02 00 00");
    EXPECT_EQ(universal(map), 1);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_139,
                 "86 01 00 2A 00 00 8B 08 00 00 01 05 41 20 00 00");
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Burstvariable 1 Unit").toInt(), 5);
    EXPECT_FLOAT_EQ(map.value("Burstvariable 1").toFloat(), 10.0f);
}

TEST(MasterResponse, MoreThanEightVariablesKeepOnlyEight)
{
    QByteArray frame = hex("86 01 00 2A 00 00 8A");
    frame.append(char(3 + 5 * 9));
    frame.append(hex("00 00 09"));
    for (int i = 1; i <= 9; ++i)
    {
        frame.append(char(i));
        frame.append(hex("40 00 00 00")); // 2.0
    }
    const auto map =
        VELTRIX_AppCodec::decodeResponse(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138, frame,
                                         defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138));
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Number of Devicevariables").toInt(), 9);
    EXPECT_EQ(map.value("Devicevariable 8 Unit").toInt(), 8);
    EXPECT_FALSE(map.contains("Devicevariable 9"));
}

TEST(MasterResponse, StringFieldsStopAtNulOrAfterSixteenBytes)
{
    QByteArray frame = hex("86 01 00 2A 00 00 8C 82 00 00");
    frame.append("ABCDEFGHIJKLMNOP");                  // no NUL: all sixteen
    frame.append(QByteArray("OK\0xxxxxxxxxxxxx", 16)); // text ends at the NUL
    frame.append(QByteArray(16 * 5, '\0'));
    frame.append(QByteArray("\xC4nderung", 8) + QByteArray(8, '\0')); // Latin-1
    const auto map =
        VELTRIX_AppCodec::decodeResponse(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140, frame,
                                         defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140));
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Statusstring 1").toString(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(map.value("Statusstring 2").toString(), "OK");
    EXPECT_EQ(map.value("Statusstring 3").toString(), "");
    EXPECT_EQ(map.value("Statusstring 8").toString(), QString::fromUtf8("\xC3\x84nderung"));

    QByteArray type = hex("86 01 00 2A 00 00 8D 12 00 00");
    type.append(QByteArray("N5Q2-ORVIK", 10) + QByteArray(6, '\0'));
    const auto typeMap =
        VELTRIX_AppCodec::decodeResponse(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141, type,
                                         defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141));
    EXPECT_EQ(typeMap.value("Devicetypestring").toString(), "N5Q2-ORVIK");
}

TEST(MasterResponse, ReadAnswersBetweenNoDataAndNinetyEightBytes)
{
    auto map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, "86 01 00 2A 00 00 82 02 00 00");
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Bytes").toByteArray(), QByteArray());

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, "86 01 00 2A 00 00 82 05 00 00 0A 0B 0C");
    EXPECT_EQ(map.value("Bytes").toByteArray(), hex("0A 0B 0C"));

    QByteArray frame = hex("86 01 00 2A 00 00 82 65 00 00");
    frame.append(QByteArray(99, '\x11'));
    map = VELTRIX_AppCodec::decodeResponse(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, frame,
                                           defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130));
    EXPECT_EQ(universal(map), 2);
    EXPECT_TRUE(map.value("Bytes").toByteArray().isEmpty());

    frame = hex("86 01 00 2A 00 00 82 64 00 00");
    frame.append(QByteArray(98, '\x11'));
    map = VELTRIX_AppCodec::decodeResponse(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, frame,
                                           defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130));
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Bytes").toByteArray().size(), 98);
}

TEST(MasterResponse, NumericPayloadsAreBigEndian)
{
    auto map =
        decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_128, "86 01 00 2A 00 00 80 04 00 00 01 F0");
    EXPECT_EQ(map.value("BaudrateBitmask").toInt(), 0x01F0);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134,
                 "86 01 00 2A 00 00 86 06 00 00 F1 02 03 04");
    EXPECT_EQ(map.value("DiagValue").typeId(), QMetaType::UInt);
    EXPECT_EQ(map.value("DiagValue").toUInt(), 0xF1020304u);

    map = decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_136, "86 01 00 2A 00 00 88 05 00 00 17 08 15");
    EXPECT_EQ(map.value("Revision Year").toInt(), 23);
    EXPECT_EQ(map.value("Revision Month").toInt(), 8);
    EXPECT_EQ(map.value("Revision Day").toInt(), 21);
}

TEST(MasterResponse, TruncatedOrUnknownFramesEndInAnErrorCode)
{
    // Shorter than its status bytes.
    EXPECT_EQ(universal(decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, "86 01 00 2A 00 00 87")),
              1);
    EXPECT_EQ(
        universal(decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, "86 01 00 2A 00 00 87 04 00")),
        1);
    // Count announces more than the frame holds.
    EXPECT_EQ(universal(decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135,
                               "86 01 00 2A 00 00 87 04 00 00 03")),
              1);
    EXPECT_EQ(universal(decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138,
                               "86 01 00 2A 00 00 8A 0D 00 00 02 20")),
              1);
    // A byte count below the two status bytes.
    EXPECT_EQ(
        universal(decode(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131, "86 01 00 2A 00 00 83 01 00 00")),
        1);
    // A command outside 128..143 cannot be interpreted.
    const auto unknown =
        VELTRIX_AppCodec::decodeResponse(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(0x20),
                                         hex("86 01 00 2A 00 00 20 02 00 00"), {});
    EXPECT_EQ(universal(unknown), 255);
}

// ---- Slave requests and answers ---------------------------------------------

TEST(SlaveRequest, ValuesOfTheRequestsWithPayload)
{
    auto map = VELTRIX_AppCodec::decodeRequest(
        VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129, hex("82 01 00 2A 00 00 81 03 00 4B 00"),
        defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_129));
    EXPECT_EQ(universal(map), 0);
    EXPECT_EQ(map.value("Baudrate").toInt(), 19200);

    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130,
                                          hex("82 01 00 2A 00 00 82 03 01 23 10"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130));
    EXPECT_EQ(map.value("Address").toInt(), 0x0123);
    EXPECT_EQ(map.value("BytesToRead").toInt(), 16);

    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                                          hex("82 01 00 2A 00 00 83 06 00 10 DE AD BE EF"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131));
    EXPECT_EQ(map.value("BytesToWrite").toInt(), 4);
    EXPECT_EQ(map.value("Address").toInt(), 0x10);
    EXPECT_EQ(map.value("Bytes").toByteArray(), hex("DEADBEEF"));

    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143,
                                          hex("82 01 00 2A 00 00 8F 05 01 01 02 03 04"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143));
    EXPECT_EQ(map.value("Systemcommand").toInt(), 1);
    EXPECT_EQ(map.value("Payload").toUInt(), 0x01020304u);

    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134,
                                          hex("82 01 00 2A 00 00 86 01 07"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134));
    EXPECT_EQ(map.value("DiagCode").toInt(), 7);
}

TEST(SlaveRequest, MalformedRequestsKeepDefaultsAndCarryAnErrorCode)
{
    // 130 with two payload bytes only.
    auto map = VELTRIX_AppCodec::decodeRequest(
        VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, hex("82 01 00 2A 00 00 82 02 01 23"),
        defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130));
    EXPECT_EQ(universal(map), 1);
    EXPECT_EQ(map.value("Address").toInt(), 0);
    // 143 with one byte too many.
    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143,
                                          hex("82 01 00 2A 00 00 8F 06 01 01 02 03 04 05"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_143));
    EXPECT_EQ(universal(map), 2);
    EXPECT_EQ(map.value("Payload").toUInt(), 0u);
    // Count larger than the frame.
    map = VELTRIX_AppCodec::decodeRequest(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131,
                                          hex("82 01 00 2A 00 00 83 06 00 10"),
                                          defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_131));
    EXPECT_EQ(universal(map), 1);
    EXPECT_TRUE(map.value("Bytes").toByteArray().isEmpty());
    map = VELTRIX_AppCodec::decodeRequest(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(0x7F),
                                          hex("82 01 00 2A 00 00 7F 00"), {});
    EXPECT_EQ(universal(map), 255);
}

TEST(SlaveAnswer, ReadIsSizedByTheRequest)
{
    auto request = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    request.insert("BytesToRead", 4);
    auto answer = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    answer.insert("Bytes", hex("0A 0B"));
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, deviceAddress,
                                            answer, request),
              hex("86 01 00 2A 00 00 82 06 00 00 0A 0B 00 00"));

    request.insert("BytesToRead", 1);
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, deviceAddress,
                                            answer, request),
              hex("86 01 00 2A 00 00 82 03 00 00 0A"));
}

TEST(SlaveAnswer, StringsAreSixteenByteFields)
{
    auto answer = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140);
    answer.insert("Statusstring 1", "ABCDEFGHIJKLMNOPQRST");
    const QByteArray status =
        VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140, deviceAddress,
                                      answer, defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_140));
    ASSERT_EQ(status.size(), 10 + 128);
    EXPECT_EQ(static_cast<uchar>(status.at(7)), 130);
    EXPECT_EQ(status.mid(10, 16), QByteArray("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(status.mid(26, 16), QByteArray(" ") + QByteArray(15, '\0'));

    auto type = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141);
    type.insert("Devicetypestring", "ORVIK");
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141, deviceAddress,
                                            type,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_141)),
              hex("86 01 00 2A 00 00 8D 12 00 00 4F 52 56 49 4B 00 00 00 00 00 00 00 00 00 00 00"));
}

TEST(SlaveAnswer, VariablesAndOtherPayloads)
{
    auto vars = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138);
    vars.insert("Number of Devicevariables", 1);
    vars.insert("Devicevariable 1 Unit", 0x20);
    vars.insert("Devicevariable 1", 1.0f);
    vars.insert("Devicevariable 2", 5.0f); // beyond the count: not sent
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138, deviceAddress,
                                            vars,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_138)),
              hex("86 01 00 2A 00 00 8A 08 00 00 01 20 3F 80 00 00"));

    auto version = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135);
    version.insert("Version", 3);
    version.insert("Subversion", 7);
    version.insert("Status High", 0x10);
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, deviceAddress,
                                            version,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135)),
              hex("86 01 00 2A 00 00 87 04 10 00 03 07"));

    auto diag = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134);
    diag.insert("DiagValue", 0xF1020304u);
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134, deviceAddress,
                                            diag,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_134)),
              hex("86 01 00 2A 00 00 86 06 00 00 F1 02 03 04"));

    // A device simulating a wrong length: the frame still matches its count.
    version.insert("Databytes Slave", 5);
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135, deviceAddress,
                                            version,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_135)),
              hex("86 01 00 2A 00 00 87 05 10 00 03 07 00"));
}

TEST(SlaveAnswer, RefusedRequestsGetNoPayload)
{
    auto request = defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130);
    request.insert("Universal Error", 1);
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130, deviceAddress,
                                            defaultsFor(VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND_130),
                                            request),
              hex("86 01 00 2A 00 00 82 02 00 01"));
    EXPECT_EQ(VELTRIX_AppCodec::buildAnswer(static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(0x7F),
                                            deviceAddress, {}, {}),
              hex("86 01 00 2A 00 00 7F 02 00 FF"));
}

TEST(SlaveAnswer, BurstFrameCountsItsVariables)
{
    QMap<QString, QVariant> burst;
    burst.insert("Number of Burstvariables", 2);
    burst.insert("Burstvariable 1 Unit", 0x20);
    burst.insert("Burstvariable 1", 1.0f);
    burst.insert("Burstvariable 2 Unit", 0x21);
    burst.insert("Burstvariable 2", -2.5f);
    EXPECT_EQ(VELTRIX_AppCodec::buildBurstFrame({0x5A, 0x00, 0x07, 0x00, 0x00}, burst),
              hex("86 5A 00 07 00 00 8B 0D 00 00 02 20 3F 80 00 00 21 C0 20 00 00"));
}

TEST(Codec, FloatsAreBigEndianSingles)
{
    QByteArray bytes;
    VELTRIX_AppCodec::appendFloat(bytes, 1.0f);
    VELTRIX_AppCodec::appendFloat(bytes, -2.5f);
    EXPECT_EQ(bytes, hex("3F800000 C0200000"));
    EXPECT_FLOAT_EQ(VELTRIX_AppCodec::readFloat(hex("42 F6 E9 79"), 0), 123.456f);
}

// Arbitrary bytes must never make a decoder or encoder read outside the frame
// (the sanitizer build turns any such read into a failure).
TEST(Codec, ArbitraryFramesAreDecodedWithinBounds)
{
    std::mt19937 random(4711);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 60);
    for (int round = 0; round < 4000; ++round)
    {
        QByteArray frame(length(random), '\0');
        for (char& c : frame)
            c = static_cast<char>(byte(random));
        if (frame.size() > 7 && round % 2 == 0)
            frame[7] = static_cast<char>(frame.size() - 8 + (round % 5) - 2);
        const auto command = static_cast<VELTRIX_Session::VELTRIX_ENUM_SESSION_COMMAND>(127 + round % 18);
        const auto response = VELTRIX_AppCodec::decodeResponse(command, frame, defaultsFor(command));
        const auto request = VELTRIX_AppCodec::decodeRequest(command, frame, defaultsFor(command));
        const int code = universal(response);
        EXPECT_TRUE(code == 0 || code == 1 || code == 2 || code == 255);
        const QByteArray answer = VELTRIX_AppCodec::buildAnswer(command, deviceAddress, response, request);
        ASSERT_GE(answer.size(), 10);
        EXPECT_EQ(answer.size(), 8 + static_cast<uchar>(answer.at(7)));
    }
}
