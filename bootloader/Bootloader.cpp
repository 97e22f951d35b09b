#include "bootloader/Bootloader.h"

#include <QCoreApplication>
#include <QMetaType>

Bootloader::Bootloader(QObject* parent)
    : QObject(parent)
{
    // The reports cross from the worker thread to the handler's thread.
    qRegisterMetaType<Bootloader::BLSTATE>("Bootloader::BLSTATE");
    qRegisterMetaType<Bootloader::BLERROR>("Bootloader::BLERROR");
    qRegisterMetaType<uint8_t>("uint8_t");
    FSerialPort::registerMetaTypes();
}

Bootloader::~Bootloader() = default;

QString Bootloader::stateText(BLSTATE state)
{
    switch (state)
    {
    case BLSTATE_CONNECTION_STARTED:
        return QStringLiteral("Connection started");
    case BLSTATE_CONNECTED:
        return QStringLiteral("Connected");
    case BLSTATE_UPLOAD_STARTED:
        return QStringLiteral("Upload started");
    case BLSTATE_UPLOAD_SUCCESSFULL:
        return QStringLiteral("Upload successful");
    case BLSTATE_DOWNLOAD_STARTED:
        return QStringLiteral("Download started");
    case BLSTATE_DOWNLOAD_SUCCESSFULL:
        return QStringLiteral("Download successful");
    case BLSTATE_ERROR:
        return QStringLiteral("Error occurred");
    case BLSTATE_UNDEF:
        break;
    }
    return {};
}

QString Bootloader::errorText(BLERROR error)
{
    const char* text = nullptr;
    switch (error)
    {
    case BLERROR_INTERFACE_CANT_OPEN:
        text = QT_TRANSLATE_NOOP("Bootloader", "Could not open interface");
        break;
    case BLERROR_INTERFACE_IS_NOT_OPEN:
        text = QT_TRANSLATE_NOOP("Bootloader", "Interface is not open");
        break;
    case BLERROR_INTERFACE_COM_ERROR:
        text = QT_TRANSLATE_NOOP("Bootloader", "Interface communication error");
        break;
    case BLERROR_INTERFACE_MISC:
        text = QT_TRANSLATE_NOOP("Bootloader", "Misc interface error");
        break;
    case BLERROR_CHECKSUM:
        text = QT_TRANSLATE_NOOP("Bootloader", "Checksum incorrect");
        break;
    case BLERROR_NO_RESPONSE_FROM_DEVICE:
        text = QT_TRANSLATE_NOOP("Bootloader", "No response from device");
        break;
    case BLERROR_TIMEOUT:
        text = QT_TRANSLATE_NOOP("Bootloader", "Device did not answer in time");
        break;
    case BLERROR_RX_BUFFER_EMPTY:
        text = QT_TRANSLATE_NOOP("Bootloader", "No data received from device");
        break;
    case BLERROR_CANT_PARSE_FILE:
        text = QT_TRANSLATE_NOOP("Bootloader", "File is invalid");
        break;
    case BLERROR_FILE_CONTAINS_BL:
        text = QT_TRANSLATE_NOOP("Bootloader", "File must not contain bootloader update");
        break;
    case BLERROR_RESET_NOT_SENT:
        text = QT_TRANSLATE_NOOP(
            "Bootloader", "The image was written, but the command that restarts the sensor could not be "
                          "sent: the sensor may still be in its bootloader. Repeat the update in rescue "
                          "mode (orvik flash --rescue)");
        break;
    case BLERROR_NOERROR:
        break;
    }
    return text ? QCoreApplication::translate("Bootloader", text) : QString();
}

Bootloader::BLERROR Bootloader::mapSerialPortError(QSerialPort::SerialPortError error)
{
    switch (error)
    {
    case QSerialPort::NoError:
        return BLERROR_NOERROR;
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return BLERROR_INTERFACE_CANT_OPEN;
    case QSerialPort::WriteError:
    case QSerialPort::ReadError:
        return BLERROR_INTERFACE_COM_ERROR;
    case QSerialPort::NotOpenError:
        return BLERROR_INTERFACE_IS_NOT_OPEN;
    default:
        return BLERROR_INTERFACE_MISC;
    }
}

Bootloader::InterfaceSettings Bootloader::singleWireUartSettings(int baudRate)
{
    InterfaceSettings settings;
    settings.flags = {true, true, true, false, true, true, false};
    settings.baudRate = baudRate;
    settings.dataBits = FSerialPort::Data8;
    settings.parity = FSerialPort::EvenParity;
    settings.stopBits = FSerialPort::OneStop;
    settings.flowControl = FSerialPort::NoFlowControl;
    settings.halfDuplex = true;
    settings.fileFilter = QStringLiteral("*.txt");
    return settings;
}

void Bootloader::errorOccurredOnInterface(QSerialPort::SerialPortError error)
{
    const BLERROR mapped = mapSerialPortError(error);
    if (mapped != BLERROR_NOERROR)
        setError(interfaceFailure(mapped));
}

void Bootloader::setState(BLSTATE newState)
{
    if (newState == mState)
        return;
    mState = newState;
    emit state(newState);
}

void Bootloader::setError(BLERROR newError)
{
    mError = newError;
    emit error(newError);
    setState(BLSTATE_ERROR);
    mRunning = false;
    mBusy = false;
    clearTransfer();
}

void Bootloader::cancel()
{
    if (!mBusy && !mRunning)
        return;
    mRunning = false;
    mBusy = false;
    clearTransfer();
    // The next transfer's first state is heard again.
    setState(BLSTATE_UNDEF);
}

bool Bootloader::refuseWhileBusy()
{
    if (!mBusy)
        return false;
    emit error(BLERROR_INTERFACE_IS_NOT_OPEN);
    return true;
}

void Bootloader::writeToInterface(const QByteArray& data)
{
    ++mWritesSent;
    emit writeDataToInterface(data, getInterfaceSettings().halfDuplex);
}
