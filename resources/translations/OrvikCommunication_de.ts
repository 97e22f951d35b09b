<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Bootloader</name>
    <message>
        <source>Could not open interface</source>
        <translation>Schnittstelle konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Interface is not open</source>
        <translation>Schnittstelle ist nicht geöffnet</translation>
    </message>
    <message>
        <source>Interface communication error</source>
        <translation>Kommunikationsfehler der Schnittstelle</translation>
    </message>
    <message>
        <source>Misc interface error</source>
        <translation>Sonstiger Schnittstellenfehler</translation>
    </message>
    <message>
        <source>Checksum incorrect</source>
        <translation>Prüfsumme falsch</translation>
    </message>
    <message>
        <source>No response from device</source>
        <translation>Keine Antwort vom Gerät</translation>
    </message>
    <message>
        <source>Device did not answer in time</source>
        <translation>Gerät hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>No data received from device</source>
        <translation>Keine Daten vom Gerät empfangen</translation>
    </message>
    <message>
        <source>File is invalid</source>
        <translation>Datei ist ungültig</translation>
    </message>
    <message>
        <source>File must not contain bootloader update</source>
        <translation>Datei darf kein Bootloader-Update enthalten</translation>
    </message>
    <message>
        <source>The image was written, but the command that restarts the sensor could not be sent: the sensor may still be in its bootloader. Repeat the update in rescue mode (orvik flash --rescue)</source>
        <translation>Das Abbild wurde geschrieben, aber der Befehl, der den Sensor neu startet, konnte nicht gesendet werden: Der Sensor ist möglicherweise noch in seinem Bootloader. Wiederholen Sie das Update im Rettungsmodus (orvik flash --rescue)</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::Bootloader</name>
    <message>
        <source>Bootloader: </source>
        <translation>Bootloader: </translation>
    </message>
    <message>
        <source>Device didn`t respond -&gt; timeout! !</source>
        <translation>Gerät antwortet nicht -&gt; Zeitüberschreitung!</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::Default</name>
    <message>
        <source>Device didn`t acknowledge command %1</source>
        <translation>Gerät hat Befehl %1 nicht bestätigt</translation>
    </message>
    <message>
        <source>Device responded with wrong command. Expected: %1 Received: %2</source>
        <translation>Gerät hat mit falschem Befehl geantwortet. Erwartet: %1 Empfangen: %2</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::FirstContact</name>
    <message>
        <source>Could not open com port!</source>
        <translation>COM-Port konnte nicht geöffnet werden!</translation>
    </message>
    <message>
        <source>Could not find the device -&gt; timeout!</source>
        <translation>Gerät nicht gefunden -&gt; Zeitüberschreitung!</translation>
    </message>
    <message>
        <source> Baud: </source>
        <translation> Baud: </translation>
    </message>
    <message>
        <source>y</source>
        <translation>j</translation>
    </message>
    <message>
        <source>n</source>
        <translation>n</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::Parameter</name>
    <message>
        <source>Read: the amount of addresses is different than the amount of parameters</source>
        <translation>Lesen: Die Anzahl der Adressen weicht von der Anzahl der Parameter ab</translation>
    </message>
    <message>
        <source>Write: the amount of addresses is different than the amount of parameters</source>
        <translation>Schreiben: Die Anzahl der Adressen weicht von der Anzahl der Parameter ab</translation>
    </message>
    <message>
        <source>Didn`t find any data to read!</source>
        <translation>Keine Daten zum Lesen gefunden!</translation>
    </message>
    <message>
        <source>Didn`t find any data to write!</source>
        <translation>Keine Daten zum Schreiben gefunden!</translation>
    </message>
    <message>
        <source>Device responded to command 130: Sent value didn&apos;t correspond to read value: NVM address: %1 written: %2 read: %3</source>
        <translation>Gerät hat auf Befehl 130 geantwortet: Gesendeter Wert entspricht nicht dem gelesenen Wert: NVM-Adresse: %1 geschrieben: %2 gelesen: %3</translation>
    </message>
    <message>
        <source>Device responded to command 130 without the requested data: NVM address: %1 requested bytes: %2 received bytes: %3</source>
        <translation>Gerät hat auf Befehl 130 ohne die angeforderten Daten geantwortet: NVM-Adresse: %1 angeforderte Bytes: %2 empfangene Bytes: %3</translation>
    </message>
    <message>
        <source>Exceeded max retries: </source>
        <translation>Maximale Anzahl an Wiederholungen überschritten: </translation>
    </message>
    <message>
        <source>Device didn`t respond -&gt; timeout! !</source>
        <translation>Gerät antwortet nicht -&gt; Zeitüberschreitung!</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::Session</name>
    <message>
        <source>Device didn&apos;t answer in time!</source>
        <translation>Gerät hat nicht rechtzeitig geantwortet!</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::SysCommand</name>
    <message>
        <source>Current operation not finished!</source>
        <translation>Aktueller Vorgang ist noch nicht abgeschlossen!</translation>
    </message>
    <message>
        <source>Device didn`t respond -&gt; timeout! !</source>
        <translation>Gerät antwortet nicht -&gt; Zeitüberschreitung!</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::Internal::Values</name>
    <message>
        <source>Current operation not finished!</source>
        <translation>Aktueller Vorgang ist noch nicht abgeschlossen!</translation>
    </message>
    <message>
        <source>Didn`t find any data points in device value read out!</source>
        <translation>Keine Datenpunkte in den ausgelesenen Gerätewerten gefunden!</translation>
    </message>
    <message>
        <source>Device didn`t respond -&gt; timeout! !</source>
        <translation>Gerät antwortet nicht -&gt; Zeitüberschreitung!</translation>
    </message>
</context>
<context>
    <name>Hvd::Weft::Communication::VeltrixDeviceService</name>
    <message>
        <source>Current operation not finished!</source>
        <translation>Aktueller Vorgang ist noch nicht abgeschlossen!</translation>
    </message>
    <message>
        <source>The parameters are empty.</source>
        <translation>Die Parameterliste ist leer.</translation>
    </message>
    <message>
        <source>given Filename is empty!</source>
        <translation>Angegebener Dateiname ist leer!</translation>
    </message>
    <message>
        <source>given Bootloadertype is undefined!</source>
        <translation>Angegebener Bootloader-Typ ist undefiniert!</translation>
    </message>
    <message>
        <source>Device status: 0x%1 (%2)</source>
        <translation>Gerätestatus: 0x%1 (%2)</translation>
    </message>
    <message>
        <source>The connection to the adapter was lost. Please check the adapter, its cable and its USB plug.</source>
        <translation>Die Verbindung zum Adapter ist verloren gegangen. Bitte prüfen Sie den Adapter, sein Kabel und seinen USB-Stecker.</translation>
    </message>
</context>
</TS>
