<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
</TS>
