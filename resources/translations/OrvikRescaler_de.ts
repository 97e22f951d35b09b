<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Hvd::Weft::Components::WriteParametersCommand</name>
    <message>
        <source>Writing parameters</source>
        <translation>Parameter werden geschrieben</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>Hauptfenster</translation>
    </message>
    <message>
        <source>toolBar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>About the application</source>
        <translation>Über die Anwendung</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Show help</source>
        <translation>Hilfe anzeigen</translation>
    </message>
    <message>
        <source>Could not open file %1.</source>
        <translation>Die Datei %1 konnte nicht geöffnet werden.</translation>
    </message>
</context>
<context>
    <name>OrvikWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Select a port:</source>
        <translation>Port wählen:</translation>
    </message>
    <message>
        <source>Select a size:</source>
        <translation>Nennweite:</translation>
    </message>
    <message>
        <source>Select size</source>
        <translation>Nennweite wählen</translation>
    </message>
    <message>
        <source>Inner diameter:</source>
        <translation>Innen-Ø:</translation>
    </message>
    <message>
        <source>The inner diameter of the pipe, can only be changed for Axx/Dxx sizes</source>
        <translation>Innendurchmesser des Rohrs, nur bei den Nennweiten Axx/Dxx änderbar</translation>
    </message>
    <message>
        <source>&amp;Parameterize</source>
        <translation>&amp;Parametrieren</translation>
    </message>
    <message>
        <source>Parameterize the device</source>
        <translation>Gerät parametrieren</translation>
    </message>
    <message>
        <source>New parameter values</source>
        <translation>Neue Parameterwerte</translation>
    </message>
    <message>
        <source>Inner Diameter</source>
        <translation>Innendurchmesser</translation>
    </message>
    <message>
        <source>Max. flow</source>
        <translation>Max. Durchfluss</translation>
    </message>
    <message>
        <source>Report: &lt;a href=&quot;%1&quot;&gt;%2&lt;/a&gt;</source>
        <translation>Bericht: &lt;a href=&quot;%1&quot;&gt;%2&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Could not load the N5Q2-Orvik device file. Please contact support. </source>
        <translation>Die Gerätedatei N5Q2-Orvik konnte nicht geladen werden. Bitte wenden Sie sich an den Support. </translation>
    </message>
    <message>
        <source>Reading calibrated diameter</source>
        <translation>Kalibrierter Durchmesser wird gelesen</translation>
    </message>
    <message>
        <source>Only Orvik devices are supported.</source>
        <translation>Es werden nur Orvik-Geräte unterstützt.</translation>
    </message>
    <message>
        <source>another sensor answered</source>
        <translation>ein anderer Sensor hat geantwortet</translation>
    </message>
    <message>
        <source>the adapter was disconnected</source>
        <translation>der Schnittstellenadapter wurde getrennt</translation>
    </message>
    <message>
        <source>The device is still being released. Please try again.</source>
        <translation>Das Gerät wird noch freigegeben. Bitte versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>No port has been selected.</source>
        <translation>Es wurde kein Port ausgewählt.</translation>
    </message>
    <message>
        <source>Parameter %1 not found for connected device version %2. Contact support.</source>
        <translation>Parameter %1 für die Version %2 des angeschlossenen Geräts nicht gefunden. Bitte wenden Sie sich an den Support.</translation>
    </message>
    <message>
        <source>The sensor may hold only part of the new parameters. Restore it from its backup %1 with: %2</source>
        <translation>Der Sensor enthält möglicherweise nur einen Teil der neuen Parameter. Stellen Sie ihn aus seiner Sicherung %1 wieder her mit: %2</translation>
    </message>
    <message>
        <source>Restoring previous parameters</source>
        <translation>Vorherige Parameter werden wiederhergestellt</translation>
    </message>
    <message>
        <source>the port is busy</source>
        <translation>der Port ist belegt</translation>
    </message>
    <message>
        <source>The sensor was restored to its previous parameters.</source>
        <translation>Die vorherigen Parameter des Sensors wurden wiederhergestellt.</translation>
    </message>
    <message>
        <source>The sensor was NOT restored to its previous parameters (%1). Its backup is %2; restore it with: %3</source>
        <translation>Die vorherigen Parameter des Sensors wurden NICHT wiederhergestellt (%1). Seine Sicherung ist %2; wiederherstellen mit: %3</translation>
    </message>
    <message>
        <source>The rescale succeeded, but its report could not be saved: %1</source>
        <translation>Die Umskalierung war erfolgreich, aber ihr Bericht konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Could not determine calibrated diameter from %1: %2.</source>
        <translation>Der kalibrierte Durchmesser konnte nicht aus %1 ermittelt werden: %2.</translation>
    </message>
</context>
<context>
    <name>ParameterizeOrvikCommand</name>
    <message>
        <source>Parameterizing Orvik device</source>
        <translation>Orvik-Gerät wird parametriert</translation>
    </message>
    <message>
        <source>No inner diameter reference was set</source>
        <translation>Es wurde kein Referenz-Innendurchmesser gesetzt</translation>
    </message>
    <message>
        <source>No Orvik was set</source>
        <translation>Es wurde keine Orvik-Nennweite gesetzt</translation>
    </message>
    <message>
        <source>No parameter with tag %1 found</source>
        <translation>Kein Parameter mit der Kennung %1 gefunden</translation>
    </message>
    <message>
        <source>Reading k-factor</source>
        <translation>K-Faktor wird gelesen</translation>
    </message>
    <message>
        <source>Could not save the backup of the sensor&apos;s parameters in %1: %2 Nothing was written to the sensor.</source>
        <translation>Die Sicherung der Sensorparameter konnte nicht in %1 gespeichert werden: %2 Es wurde nichts in den Sensor geschrieben.</translation>
    </message>
    <message>
        <source>No value read for k-factor %1</source>
        <translation>Für den K-Faktor %1 wurde kein Wert gelesen</translation>
    </message>
    <message>
        <source>No device parameters found for the connected device</source>
        <translation>Keine Geräteparameter für das angeschlossene Gerät gefunden</translation>
    </message>
    <message>
        <source>No subdevice parameters found for the connected device</source>
        <translation>Keine Untergeräteparameter für das angeschlossene Gerät gefunden</translation>
    </message>
    <message>
        <source>The calibrated diameter %1 mm leaves no free area beside the probe.</source>
        <translation>Der kalibrierte Durchmesser %1 mm lässt neben der Sonde keine freie Fläche.</translation>
    </message>
</context>
<context>
    <name>RescaleReport</name>
    <message>
        <source>Cannot write the rescale report %1: %2</source>
        <translation>Der Umskalierungsbericht %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>the PDF needs a graphical application object</source>
        <translation>das PDF benötigt ein grafisches Anwendungsobjekt</translation>
    </message>
    <message>
        <source>the PDF could not be started</source>
        <translation>das PDF konnte nicht begonnen werden</translation>
    </message>
    <message>
        <source>the PDF could not be finished</source>
        <translation>das PDF konnte nicht abgeschlossen werden</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Revision</source>
        <translation>Revision</translation>
    </message>
    <message>
        <source>Vendor</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Sub-device</source>
        <translation>Untergerät</translation>
    </message>
    <message>
        <source>Sub-device version</source>
        <translation>Untergeräteversion</translation>
    </message>
    <message>
        <source>Sub-device revision</source>
        <translation>Untergeräterevision</translation>
    </message>
    <message>
        <source>Size before</source>
        <translation>Nennweite vorher</translation>
    </message>
    <message>
        <source>Size after</source>
        <translation>Nennweite nachher</translation>
    </message>
    <message>
        <source>Size code</source>
        <translation>Nennweitencode</translation>
    </message>
    <message>
        <source>Inner diameter</source>
        <translation>Innendurchmesser</translation>
    </message>
    <message>
        <source>K-factor before</source>
        <translation>K-Faktor vorher</translation>
    </message>
    <message>
        <source>K-factor after</source>
        <translation>K-Faktor nachher</translation>
    </message>
    <message>
        <source>Measuring range</source>
        <translation>Messbereich</translation>
    </message>
    <message>
        <source>Output unit</source>
        <translation>Ausgabeeinheit</translation>
    </message>
    <message>
        <source>Temperature unit</source>
        <translation>Temperatureinheit</translation>
    </message>
    <message>
        <source>Backup file</source>
        <translation>Sicherungsdatei</translation>
    </message>
    <message>
        <source>Orvik rescale report</source>
        <translation>Orvik-Umskalierungsbericht</translation>
    </message>
    <message>
        <source>No backup file was recorded for this change.</source>
        <translation>Für diese Änderung wurde keine Sicherungsdatei festgehalten.</translation>
    </message>
    <message>
        <source>The backup file undoes this change:</source>
        <translation>Die Sicherungsdatei macht diese Änderung rückgängig:</translation>
    </message>
    <message>
        <source>no file name was given</source>
        <translation>es wurde kein Dateiname angegeben</translation>
    </message>
    <message>
        <source>%1 is not an existing folder</source>
        <translation>%1 ist kein vorhandener Ordner</translation>
    </message>
</context>
<context>
    <name>SensorBackup</name>
    <message>
        <source>Checking the serial number</source>
        <translation>Seriennummer wird geprüft</translation>
    </message>
    <message>
        <source>Restoring previous parameters</source>
        <translation>Vorherige Parameter werden wiederhergestellt</translation>
    </message>
    <message>
        <source>The device description has no parameters for version %1.</source>
        <translation>Die Gerätebeschreibung enthält keine Parameter für die Version %1.</translation>
    </message>
    <message>
        <source>Parameter %1 is not known for version %2.</source>
        <translation>Der Parameter %1 ist für die Version %2 nicht bekannt.</translation>
    </message>
    <message>
        <source>The sensor sent %1 of %2 values.</source>
        <translation>Der Sensor hat %1 von %2 Werten gesendet.</translation>
    </message>
    <message>
        <source>The folder %1 cannot be created.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>The folder %1 holds too many backups of this second.</source>
        <translation>Der Ordner %1 enthält zu viele Sicherungen aus dieser Sekunde.</translation>
    </message>
    <message>
        <source>%1 already exists.</source>
        <translation>%1 existiert bereits.</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 is a settings file, not a backup: it does not say which sensor it was read from.</source>
        <translation>%1 ist eine Einstellungsdatei, keine Sicherung: Sie gibt nicht an, von welchem Sensor sie gelesen wurde.</translation>
    </message>
    <message>
        <source>%1 holds parameters of another firmware version than the sensor it was read from.</source>
        <translation>%1 enthält Parameter einer anderen Firmwareversion als der des Sensors, von dem sie gelesen wurde.</translation>
    </message>
    <message>
        <source>The backup is of another sensor: %1 %2 in the backup, %3 on the sensor.</source>
        <translation>Die Sicherung stammt von einem anderen Sensor: %1 %2 in der Sicherung, %3 am Sensor.</translation>
    </message>
    <message>
        <source>address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>firmware version</source>
        <translation>Firmwareversion</translation>
    </message>
    <message>
        <source>sub device firmware version</source>
        <translation>Firmwareversion des Untergeräts</translation>
    </message>
    <message>
        <source>serial number</source>
        <translation>Seriennummer</translation>
    </message>
</context>
</TS>
