<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ExecuteCommandWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>&amp;Execute</source>
        <translation>&amp;Ausführen</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::ConnectCommand</name>
    <message>
        <source>Connecting to device</source>
        <translation>Verbindung zum Gerät wird hergestellt</translation>
    </message>
    <message>
        <source>Device already connected</source>
        <translation>Gerät ist bereits verbunden</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::ConnectedDeviceCommand</name>
    <message>
        <source>No device connected</source>
        <translation>Kein Gerät verbunden</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::CopyrightDialog</name>
    <message>
        <source>About </source>
        <translation>Über </translation>
    </message>
    <message>
        <source>Copyright © %1</source>
        <translation>Copyright © %1</translation>
    </message>
    <message>
        <source>This software uses the following open-source components:</source>
        <translation>Diese Software verwendet die folgenden Open-Source-Komponenten:</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::DeviceConnector</name>
    <message>
        <source>No device has been selected</source>
        <translation>Es wurde kein Gerät ausgewählt</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::DisconnectCommand</name>
    <message>
        <source>Disconnecting from device</source>
        <translation>Verbindung zum Gerät wird getrennt</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::ExecuteCommandWidget</name>
    <message>
        <source>Success</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <source>Waiting for user</source>
        <translation>Warten auf Benutzer</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::ReadParametersCommand</name>
    <message>
        <source>Reading parameters</source>
        <translation>Parameter werden gelesen</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::ReadValuesCommand</name>
    <message>
        <source>Reading measured values</source>
        <translation>Messwerte werden gelesen</translation>
    </message>
    <message>
        <source>Device and burst values cannot be averaged together.</source>
        <translation>Geräte- und Burst-Werte können nicht gemeinsam gemittelt werden.</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::RestartDeviceCommand</name>
    <message>
        <source>Restarting device</source>
        <translation>Gerät wird neu gestartet</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::SetAsFactoryDefaultsCommand</name>
    <message>
        <source>Setting parameters as factory defaults</source>
        <translation>Parameter werden als Werkseinstellungen gespeichert</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::SimpleConnectedDeviceCommand</name>
    <message>
        <source>The parameters are empty.</source>
        <translation>Die Parameterliste ist leer.</translation>
    </message>
    <message>
        <source>No device is connected but parameters are not empty.</source>
        <translation>Kein Gerät verbunden, aber die Parameterliste ist nicht leer.</translation>
    </message>
    <message>
        <source>No subdevice is connected but parameters are not empty.</source>
        <translation>Kein Untergerät verbunden, aber die Parameterliste ist nicht leer.</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Components::UploadFirmwareCommand</name>
    <message>
        <source>Uploading firmware</source>
        <translation>Firmware wird übertragen</translation>
    </message>
</context>
<context>
    <name>MeasurementsWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
</context>
<context>
    <name>ProgressBarWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Waiting for user</source>
        <translation>Warten auf Benutzer</translation>
    </message>
</context>
<context>
    <name>SerialPortWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Select a port</source>
        <translation>Port wählen</translation>
    </message>
    <message>
        <source>Connect device</source>
        <translation>Gerät verbinden</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
</context>
</TS>
