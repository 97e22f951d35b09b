#include "bootloader/Bootloader.h"

#include <gtest/gtest.h>

namespace
{

TEST(BootloaderTexts, SerialErrorsMapToTheCallersTexts)
{
    EXPECT_EQ(Bootloader::errorText(Bootloader::mapSerialPortError(QSerialPort::PermissionError)),
              "Could not open interface");
    EXPECT_EQ(Bootloader::mapSerialPortError(QSerialPort::DeviceNotFoundError),
              Bootloader::BLERROR_INTERFACE_CANT_OPEN);
    EXPECT_EQ(Bootloader::mapSerialPortError(QSerialPort::ReadError),
              Bootloader::BLERROR_INTERFACE_COM_ERROR);
    EXPECT_EQ(Bootloader::mapSerialPortError(QSerialPort::NotOpenError),
              Bootloader::BLERROR_INTERFACE_IS_NOT_OPEN);
    EXPECT_EQ(Bootloader::errorText(Bootloader::mapSerialPortError(QSerialPort::TimeoutError)),
              "Misc interface error");
    EXPECT_EQ(Bootloader::mapSerialPortError(QSerialPort::NoError), Bootloader::BLERROR_NOERROR);
}

TEST(BootloaderTexts, NoTextForTheEmptyStateAndError)
{
    EXPECT_TRUE(Bootloader::stateText(Bootloader::BLSTATE_UNDEF).isEmpty());
    EXPECT_TRUE(Bootloader::errorText(Bootloader::BLERROR_NOERROR).isEmpty());
    EXPECT_TRUE(Bootloader::errorText(static_cast<Bootloader::BLERROR>(42)).isEmpty());
    EXPECT_EQ(Bootloader::stateText(Bootloader::BLSTATE_DOWNLOAD_SUCCESSFULL), "Download successful");
    EXPECT_EQ(Bootloader::stateText(Bootloader::BLSTATE_ERROR), "Error occurred");
}

} // namespace
