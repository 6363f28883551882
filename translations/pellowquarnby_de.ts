<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>BatchExport</name>
    <message>
        <source>Cannot read %1</source>
        <translation>%1 kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>Markup load failed: %1 is not a complete markup file</source>
        <translation>Markierungen nicht geladen: %1 ist keine vollständige Markierungsdatei</translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation>%1 kann nicht geschrieben werden</translation>
    </message>
</context>
<context>
    <name>ByteEditCommand</name>
    <message>
        <source>Edit Byte</source>
        <translation>Byte bearbeiten</translation>
    </message>
</context>
<context>
    <name>ByteSaver</name>
    <message>
        <source>Error opening file for writing.</source>
        <translation>Fehler beim Öffnen der Datei zum Schreiben.</translation>
    </message>
    <message>
        <source>Error seeking.</source>
        <translation>Fehler beim Positionieren in der Datei.</translation>
    </message>
    <message>
        <source>Error writing to file.</source>
        <translation>Fehler beim Schreiben in die Datei.</translation>
    </message>
    <message>
        <source>Error creating save file.</source>
        <translation>Fehler beim Anlegen der Sicherungsdatei.</translation>
    </message>
</context>
<context>
    <name>ClearMarksCommand</name>
    <message>
        <source>Clear Marks</source>
        <translation>Markierungen entfernen</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>A hex editor that annotates binary files with coloured, nested markups.</source>
        <translation>Ein Hex-Editor, der Binärdateien mit farbigen, verschachtelten Markierungen versieht.</translation>
    </message>
    <message>
        <source>Load the markup file &lt;file&gt; after FILE (instead of the markup linked to FILE).</source>
        <translation>Nach FILE die Markierungsdatei &lt;file&gt; laden (statt der mit FILE verknüpften Markierungen).</translation>
    </message>
    <message>
        <source>Write the markups of FILE to &lt;out&gt; (.json, .csv, .ksy, or .xml for a markup file) and exit, without a window.</source>
        <translation>Die Markierungen von FILE nach &lt;out&gt; schreiben (.json, .csv, .ksy oder .xml für eine Markierungsdatei) und ohne Fenster beenden.</translation>
    </message>
    <message>
        <source>The data file to open instead of the last one.</source>
        <translation>Die zu öffnende Datendatei statt der zuletzt geöffneten.</translation>
    </message>
    <message>
        <source>Only one FILE can be opened.</source>
        <translation>Es kann nur eine Datei (FILE) geöffnet werden.</translation>
    </message>
    <message>
        <source>--markup needs a file name.</source>
        <translation>--markup braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>--template needs a file name.</source>
        <translation>--template braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>--template needs FILE.</source>
        <translation>--template braucht FILE.</translation>
    </message>
    <message>
        <source>--export needs a file name.</source>
        <translation>--export braucht einen Dateinamen.</translation>
    </message>
    <message>
        <source>--export needs FILE.</source>
        <translation>--export braucht FILE.</translation>
    </message>
    <message>
        <source>--export needs --markup or --template.</source>
        <translation>--export braucht --markup oder --template.</translation>
    </message>
    <message>
        <source>--export needs a file name ending in .json, .csv, .ksy or .xml.</source>
        <translation>--export braucht einen Dateinamen mit der Endung .json, .csv, .ksy oder .xml.</translation>
    </message>
    <message>
        <source>Apply the Kaitai Struct template &lt;ksy&gt; to FILE, adding its markups; &quot;auto&quot;: the installed one that matches FILE&apos;s format.</source>
        <translation>Die Kaitai-Struct-Vorlage &lt;ksy&gt; auf FILE anwenden und ihre Markierungen hinzufügen; &quot;auto&quot;: die installierte, die zum Format von FILE passt.</translation>
    </message>
    <message>
        <source>Let the template read at most &lt;n&gt; fields (instead of the limit set in Preferences).</source>
        <translation>Die Vorlage höchstens &lt;n&gt; Felder lesen lassen (statt der in den Einstellungen festgelegten Grenze).</translation>
    </message>
    <message>
        <source>--max-fields needs a positive number.</source>
        <translation>--max-fields braucht eine positive Zahl.</translation>
    </message>
    <message>
        <source>--max-fields needs --template.</source>
        <translation>--max-fields braucht --template.</translation>
    </message>
</context>
<context>
    <name>DeleteMarkupCommand</name>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>EditedFile</name>
    <message>
        <source>The file was replaced or removed since it was opened. Save As can still write the edited bytes to another file.</source>
        <translation>Die Datei wurde seit dem Öffnen ersetzt oder entfernt. Mit „Speichern unter“ lassen sich die bearbeiteten Bytes noch in eine andere Datei schreiben.</translation>
    </message>
    <message>
        <source>Selections cannot overlap</source>
        <translation>Markierungen dürfen sich nicht überschneiden</translation>
    </message>
    <message>
        <source>Cannot mark past the end of the file</source>
        <translation>Über das Dateiende hinaus kann nicht markiert werden</translation>
    </message>
    <message>
        <source>A search is running: cancel it first.</source>
        <translation>Eine Suche läuft: Brechen Sie sie zuerst ab.</translation>
    </message>
    <message>
        <source>A markup file is being loaded: cancel it first.</source>
        <translation>Eine Markierungsdatei wird geladen: Brechen Sie das Laden zuerst ab.</translation>
    </message>
</context>
<context>
    <name>FileActions</name>
    <message>
        <source>Load File</source>
        <translation>Datei laden</translation>
    </message>
    <message>
        <source>File Loaded</source>
        <translation>Datei geladen</translation>
    </message>
    <message>
        <source>The last file no longer exists: %1</source>
        <translation>Die zuletzt geöffnete Datei gibt es nicht mehr: %1</translation>
    </message>
    <message>
        <source>File not found: %1</source>
        <translation>Datei nicht gefunden: %1</translation>
    </message>
    <message>
        <source>File not loaded: %1 could not be read</source>
        <translation>Datei nicht geladen: %1 konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>ein Ordner</translation>
    </message>
    <message>
        <source>a pipe</source>
        <translation>eine Pipe</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>ein Socket</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>ein Gerät</translation>
    </message>
    <message>
        <source>File not loaded: %1 is %2</source>
        <translation>Datei nicht geladen: %1 ist %2</translation>
    </message>
    <message>
        <source>File Has Changed</source>
        <translation>Datei geändert</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;The file being edited has been modified, and was replaced or removed on disk since it was opened. Save the changes to another file?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die bearbeitete Datei wurde geändert und seit dem Öffnen auf dem Datenträger ersetzt oder entfernt. Die Änderungen in eine andere Datei speichern?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;The file being edited has been modified. Save changes?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die bearbeitete Datei wurde geändert. Änderungen speichern?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Not closed: the file could not be saved</source>
        <translation>Nicht geschlossen: Die Datei konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Not closed: the markup was not saved</source>
        <translation>Nicht geschlossen: Die Markierungen wurden nicht gespeichert</translation>
    </message>
    <message>
        <source>No file is open</source>
        <translation>Keine Datei geöffnet</translation>
    </message>
    <message>
        <source>File Saved</source>
        <translation>Datei gespeichert</translation>
    </message>
    <message>
        <source>File not saved; the edits are kept</source>
        <translation>Datei nicht gespeichert; die Änderungen bleiben erhalten</translation>
    </message>
    <message>
        <source>Save File As</source>
        <translation>Datei speichern unter</translation>
    </message>
    <message>
        <source>Recent Files</source>
        <translation>Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(keine)</translation>
    </message>
    <message>
        <source>File not found, removed from Recent Files: %1</source>
        <translation>Datei nicht gefunden, aus „Zuletzt geöffnet“ entfernt: %1</translation>
    </message>
    <message numerus="yes">
        <source>%1 has changed since the unsaved work from %2 was recorded, so its byte edits cannot be replayed. Recover the markups alone (%n changes)?</source>
        <translation>
            <numerusform>%1 hat sich geändert, seit die ungesicherte Arbeit vom %2 aufgezeichnet wurde; die Byte-Änderungen können daher nicht wiederholt werden. Nur die Markierungen wiederherstellen (%n Änderung)?</numerusform>
            <numerusform>%1 hat sich geändert, seit die ungesicherte Arbeit vom %2 aufgezeichnet wurde; die Byte-Änderungen können daher nicht wiederholt werden. Nur die Markierungen wiederherstellen (%n Änderungen)?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Recover unsaved work on %1 from %2 (%n changes)?</source>
        <translation>
            <numerusform>Ungesicherte Arbeit an %1 vom %2 wiederherstellen (%n Änderung)?</numerusform>
            <numerusform>Ungesicherte Arbeit an %1 vom %2 wiederherstellen (%n Änderungen)?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The journal is damaged: %n records at its end will be left out.</source>
        <translation>
            <numerusform>Das Protokoll ist beschädigt: %n Eintrag an seinem Ende wird ausgelassen.</numerusform>
            <numerusform>Das Protokoll ist beschädigt: %n Einträge an seinem Ende werden ausgelassen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Unsaved Work</source>
        <translation>Ungesicherte Arbeit</translation>
    </message>
    <message>
        <source>Recover Markups</source>
        <translation>Markierungen wiederherstellen</translation>
    </message>
    <message>
        <source>Recover</source>
        <translation>Wiederherstellen</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message numerus="yes">
        <source>Unsaved work recovered: %n changes</source>
        <translation>
            <numerusform>Ungesicherte Arbeit wiederhergestellt: %n Änderung</numerusform>
            <numerusform>Ungesicherte Arbeit wiederhergestellt: %n Änderungen</numerusform>
        </translation>
    </message>
    <message>
        <source>Nothing could be recovered from the journal; it is kept</source>
        <translation>Aus dem Protokoll ließ sich nichts wiederherstellen; es bleibt erhalten</translation>
    </message>
    <message>
        <source>The journal of unsaved work on %1 is damaged and cannot be read. It was kept as %2.</source>
        <translation>Das Journal ungespeicherter Arbeit an %1 ist beschädigt und kann nicht gelesen werden. Es wurde als %2 aufbewahrt.</translation>
    </message>
    <message>
        <source>They come back as one state: Undo cannot take them back one by one.</source>
        <translation>Sie kommen als ein Zustand zurück: Rückgängig kann sie nicht einzeln zurücknehmen.</translation>
    </message>
    <message numerus="yes">
        <source>Undo takes back the last %n one by one; the earlier ones come back as one state (a template application, or work recovered before).</source>
        <translation>
            <numerusform>Rückgängig nimmt die letzte %n einzeln zurück; die früheren kommen als ein Zustand zurück (eine Vorlagenanwendung oder früher wiederhergestellte Arbeit).</numerusform>
            <numerusform>Rückgängig nimmt die letzten %n einzeln zurück; die früheren kommen als ein Zustand zurück (eine Vorlagenanwendung oder früher wiederhergestellte Arbeit).</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 is being edited in another window (process %2 on %3)</source>
        <translation>%1 wird in einem anderen Fenster bearbeitet (Prozess %2 auf %3)</translation>
    </message>
    <message>
        <source>the unsaved work left from before waits to be recovered or discarded; open the file again to answer</source>
        <translation>die zurückgelassene ungespeicherte Arbeit wartet darauf, wiederhergestellt oder verworfen zu werden; öffnen Sie die Datei erneut, um zu antworten</translation>
    </message>
    <message>
        <source>Unsaved changes are not being journaled: %1</source>
        <translation>Ungespeicherte Änderungen werden nicht protokolliert: %1</translation>
    </message>
    <message>
        <source>Journal</source>
        <translation>Journal</translation>
    </message>
    <message>
        <source>A crash now would lose the changes made since. Journaling resumes by itself with the next change once the journal can be written again; until then, save your work.</source>
        <translation>Ein Absturz jetzt verlöre die seitdem gemachten Änderungen. Das Protokollieren setzt mit der nächsten Änderung von selbst wieder ein, sobald das Journal wieder geschrieben werden kann; speichern Sie bis dahin Ihre Arbeit.</translation>
    </message>
    <message>
        <source>Unsaved changes are being journaled again</source>
        <translation>Ungespeicherte Änderungen werden wieder protokolliert</translation>
    </message>
    <message>
        <source>The markups cannot be recovered: the markup file %1 they started from is missing or has changed since. Only the byte edits can come back; the markups stay as they are now.</source>
        <translation>Die Markierungen können nicht wiederhergestellt werden: Die Markierungsdatei %1, von der sie ausgingen, fehlt oder wurde seitdem geändert. Nur die Byte-Änderungen können zurückkommen; die Markierungen bleiben, wie sie jetzt sind.</translation>
    </message>
    <message>
        <source>Recover Byte Edits</source>
        <translation>Byte-Änderungen wiederherstellen</translation>
    </message>
</context>
<context>
    <name>FileOverview</name>
    <message>
        <source>one repeated byte</source>
        <translation>ein wiederholtes Byte</translation>
    </message>
    <message>
        <source>text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>binary</source>
        <translation>binär</translation>
    </message>
    <message>
        <source>compressed or encrypted</source>
        <translation>komprimiert oder verschlüsselt</translation>
    </message>
    <message>
        <source>not read yet</source>
        <translation>noch nicht gelesen</translation>
    </message>
</context>
<context>
    <name>FindAllTool</name>
    <message>
        <source>Stopped at %1 hits</source>
        <translation>Bei %1 Treffern angehalten</translation>
    </message>
    <message>
        <source>1 hit</source>
        <translation>1 Treffer</translation>
    </message>
    <message>
        <source>%1 hits</source>
        <translation>%1 Treffer</translation>
    </message>
    <message>
        <source>No hits to mark: Find All first</source>
        <translation>Keine Treffer zum Markieren: zuerst „Alle finden“</translation>
    </message>
    <message>
        <source>hit %1 of %2: &quot;%3&quot;</source>
        <translation>Treffer %1 von %2: &quot;%3&quot;</translation>
    </message>
    <message>
        <source>1 hit marked</source>
        <translation>1 Treffer markiert</translation>
    </message>
    <message>
        <source>%1 hits marked</source>
        <translation>%1 Treffer markiert</translation>
    </message>
    <message>
        <source>; 1 overlapped a markup and was skipped</source>
        <translation>; 1 Treffer überlappte eine Markierung und wurde übersprungen</translation>
    </message>
    <message>
        <source>; %1 overlapped markups and were skipped</source>
        <translation>; %1 Treffer überlappten Markierungen und wurden übersprungen</translation>
    </message>
    <message>
        <source>; %1 empty matches cannot be marked</source>
        <translation>; %1 leere Treffer können nicht markiert werden</translation>
    </message>
    <message>
        <source>The file changed since this search; run Find All again to refresh the list.</source>
        <translation>Die Datei hat sich seit dieser Suche geändert; „Alle finden“ erneut ausführen, um die Liste zu aktualisieren.</translation>
    </message>
    <message>
        <source>; 1 coincided with a markup and was skipped</source>
        <translation>; 1 Treffer deckte sich mit einer Markierung und wurde übersprungen</translation>
    </message>
    <message>
        <source>; %1 coincided with markups and were skipped</source>
        <translation>; %1 Treffer deckten sich mit Markierungen und wurden übersprungen</translation>
    </message>
</context>
<context>
    <name>FormatBar</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>This looks like: %1</source>
        <translation>Das sieht aus wie: %1</translation>
    </message>
    <message>
        <source>Apply %1</source>
        <translation>%1 anwenden</translation>
    </message>
</context>
<context>
    <name>GotoTool</name>
    <message>
        <source>Enter a Hexadecimal Number</source>
        <translation>Geben Sie eine Hexadezimalzahl ein</translation>
    </message>
    <message>
        <source>Addresses start at 0: -0x%1 is negative</source>
        <translation>Adressen beginnen bei 0: -0x%1 ist negativ</translation>
    </message>
    <message>
        <source>No file is open</source>
        <translation>Keine Datei geöffnet</translation>
    </message>
    <message>
        <source>Address 0x%1 is past the end of the file (the file is empty)</source>
        <translation>Adresse 0x%1 liegt hinter dem Dateiende (die Datei ist leer)</translation>
    </message>
    <message>
        <source>Address 0x%1 is past the end of the file (last address 0x%2)</source>
        <translation>Adresse 0x%1 liegt hinter dem Dateiende (letzte Adresse 0x%2)</translation>
    </message>
</context>
<context>
    <name>HelpActions</name>
    <message>
        <source>Pellow Quarnby&lt;br&gt;</source>
        <translation>Pellow Quarnby&lt;br&gt;</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>About Pellow Quarnby</source>
        <translation>Über Pellow Quarnby</translation>
    </message>
</context>
<context>
    <name>HelpClient</name>
    <message>
        <source>Help viewer not found: no Qt Assistant program (assistant) in %1</source>
        <translation>Hilfebetrachter nicht gefunden: kein Qt-Assistant-Programm (assistant) in %1</translation>
    </message>
    <message>
        <source>any directory</source>
        <translation>irgendeinem Verzeichnis</translation>
    </message>
    <message>
        <source>Help files not found: %1 is missing</source>
        <translation>Hilfedateien nicht gefunden: %1 fehlt</translation>
    </message>
    <message>
        <source>Help files not found: no %1 in %2</source>
        <translation>Hilfedateien nicht gefunden: kein %1 in %2</translation>
    </message>
    <message>
        <source>Help viewer did not start in time: %1</source>
        <translation>Hilfebetrachter startete nicht rechtzeitig: %1</translation>
    </message>
    <message>
        <source>Help page not found: %1</source>
        <translation>Hilfeseite nicht gefunden: %1</translation>
    </message>
    <message>
        <source>Help viewer crashed</source>
        <translation>Hilfebetrachter abgestürzt</translation>
    </message>
    <message>
        <source>Help viewer crashed: %1</source>
        <translation>Hilfebetrachter abgestürzt: %1</translation>
    </message>
    <message>
        <source>Help viewer ended with exit code %1</source>
        <translation>Hilfebetrachter endete mit Exit-Code %1</translation>
    </message>
    <message>
        <source>Help viewer ended with exit code %1: %2</source>
        <translation>Hilfebetrachter endete mit Exit-Code %1: %2</translation>
    </message>
    <message>
        <source>Help viewer could not be started: %1 (%2)</source>
        <translation>Hilfebetrachter konnte nicht gestartet werden: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>HexTreeView</name>
    <message>
        <source>Foreground Color</source>
        <translation>Vordergrundfarbe</translation>
    </message>
    <message>
        <source>Background Color</source>
        <translation>Hintergrundfarbe</translation>
    </message>
    <message>
        <source>Pick Random Colors</source>
        <translation>Zufällige Farben</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Prune</source>
        <translation>Zweig löschen</translation>
    </message>
</context>
<context>
    <name>HexWidget</name>
    <message>
        <source>Select some bytes first</source>
        <translation>Wählen Sie zuerst Bytes aus</translation>
    </message>
    <message>
        <source>Selection too large: at most 64 MiB can be copied</source>
        <translation>Auswahl zu groß: höchstens 64 MiB können kopiert werden</translation>
    </message>
    <message>
        <source>Jump selection maximum length is 8 bytes</source>
        <translation>Eine Sprungauswahl ist höchstens 8 Bytes lang</translation>
    </message>
    <message>
        <source>Jump target 0x%1 lies beyond the end of the file</source>
        <translation>Sprungziel 0x%1 liegt hinter dem Dateiende</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>Pick Random Colors</source>
        <translation>Zufällige Farben</translation>
    </message>
    <message>
        <source>Little Endian Jump</source>
        <translation>Sprung (Little-Endian)</translation>
    </message>
    <message>
        <source>Big Endian Jump</source>
        <translation>Sprung (Big-Endian)</translation>
    </message>
    <message>
        <source>Goto</source>
        <translation>Gehe zu</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>Copy to Clipboard</source>
        <translation>In die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>File Exists</source>
        <translation>Datei vorhanden</translation>
    </message>
    <message>
        <source>File Exists, Overwrite?</source>
        <translation>Die Datei ist bereits vorhanden. Überschreiben?</translation>
    </message>
    <message>
        <source>File Write Error</source>
        <translation>Fehler beim Schreiben der Datei</translation>
    </message>
</context>
<context>
    <name>HitListModel</name>
    <message>
        <source>Offset</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
</context>
<context>
    <name>InspectorWidget</name>
    <message>
        <source>&amp;Little-endian</source>
        <translation>&amp;Little-Endian</translation>
    </message>
    <message>
        <source>&amp;Big-endian</source>
        <translation>&amp;Big-Endian</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>Mark as %1</source>
        <translation>Als %1 markieren</translation>
    </message>
</context>
<context>
    <name>Journal</name>
    <message>
        <source>the folder %1 cannot be made</source>
        <translation>der Ordner %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>cannot be made</source>
        <translation>kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Copying the markups into the journal of unsaved work: %1 MB</source>
        <translation>Die Markierungen werden in das Journal ungespeicherter Arbeit kopiert: %1 MB</translation>
    </message>
    <message>
        <source>The markups are in the journal of unsaved work</source>
        <translation>Die Markierungen sind im Journal ungespeicherter Arbeit</translation>
    </message>
    <message>
        <source>The markups are being copied into the journal of unsaved work: wait until it is done.</source>
        <translation>Die Markierungen werden in das Journal ungespeicherter Arbeit kopiert: Bitte warten, bis das fertig ist.</translation>
    </message>
</context>
<context>
    <name>JumpWidget</name>
    <message>
        <source>Go</source>
        <translation>Los</translation>
    </message>
    <message>
        <source>Goto Address</source>
        <translation>Gehe zu Adresse</translation>
    </message>
    <message>
        <source>hexadecimal, e.g. 1f00</source>
        <translation>hexadezimal, z. B. 1f00</translation>
    </message>
</context>
<context>
    <name>KsyEvaluator</name>
    <message>
        <source>unknown encoding &apos;%1&apos;</source>
        <translation>unbekannte Kodierung &apos;%1&apos;</translation>
    </message>
    <message>
        <source>bytes too long to compare</source>
        <translation>Bytes zu lang zum Vergleichen</translation>
    </message>
    <message>
        <source>cannot compare %1 with %2</source>
        <translation>%1 kann nicht mit %2 verglichen werden</translation>
    </message>
    <message>
        <source>index is not an integer</source>
        <translation>Index ist keine ganze Zahl</translation>
    </message>
    <message>
        <source>index %1 out of range (size %2)</source>
        <translation>Index %1 außerhalb des Bereichs (Größe %2)</translation>
    </message>
    <message>
        <source>cannot index %1</source>
        <translation>%1 kann nicht indiziert werden</translation>
    </message>
    <message>
        <source>&apos;not&apos; needs a boolean, not %1</source>
        <translation>&apos;not&apos; braucht einen Wahrheitswert, nicht %1</translation>
    </message>
    <message>
        <source>cannot apply &apos;%1&apos; to %2</source>
        <translation>&apos;%1&apos; kann nicht auf %2 angewendet werden</translation>
    </message>
    <message>
        <source>&apos;%1&apos; needs booleans, not %2</source>
        <translation>&apos;%1&apos; braucht Wahrheitswerte, nicht %2</translation>
    </message>
    <message>
        <source>condition is %1, not a boolean</source>
        <translation>Bedingung ist %1, kein Wahrheitswert</translation>
    </message>
    <message>
        <source>bad expression</source>
        <translation>fehlerhafter Ausdruck</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a number in base %2</source>
        <translation>&apos;%1&apos; ist keine Zahl zur Basis %2</translation>
    </message>
    <message>
        <source>to_s on bytes needs an encoding</source>
        <translation>to_s auf Bytes braucht eine Kodierung</translation>
    </message>
    <message>
        <source>substring needs two integers</source>
        <translation>substring braucht zwei ganze Zahlen</translation>
    </message>
    <message>
        <source>bytes too long to use</source>
        <translation>Bytes zu lang zur Verwendung</translation>
    </message>
    <message>
        <source>%1 of an empty %2</source>
        <translation>%1 eines leeren %2</translation>
    </message>
    <message>
        <source>%1 has no &apos;%2&apos;</source>
        <translation>%1 hat kein &apos;%2&apos;</translation>
    </message>
    <message>
        <source>cannot apply &apos;%1&apos; to %2 and %3</source>
        <translation>&apos;%1&apos; kann nicht auf %2 und %3 angewendet werden</translation>
    </message>
    <message>
        <source>shift by %1 out of range</source>
        <translation>Verschiebung um %1 außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>integer overflow</source>
        <translation>Ganzzahlüberlauf</translation>
    </message>
    <message>
        <source>division by zero</source>
        <translation>Division durch null</translation>
    </message>
    <message>
        <source>unknown operator &apos;%1&apos;</source>
        <translation>unbekannter Operator &apos;%1&apos;</translation>
    </message>
</context>
<context>
    <name>KsyExpression</name>
    <message>
        <source>bad number at column %1</source>
        <translation>fehlerhafte Zahl in Spalte %1</translation>
    </message>
    <message>
        <source>unterminated string at column %1</source>
        <translation>nicht abgeschlossene Zeichenkette in Spalte %1</translation>
    </message>
    <message>
        <source>unexpected &apos;%1&apos; at column %2</source>
        <translation>unerwartetes &apos;%1&apos; in Spalte %2</translation>
    </message>
    <message>
        <source>expected %1 at the end</source>
        <translation>%1 am Ende erwartet</translation>
    </message>
    <message>
        <source>expected %1 at column %2</source>
        <translation>%1 in Spalte %2 erwartet</translation>
    </message>
    <message>
        <source>expression nested deeper than the depth limit of %1</source>
        <translation>Ausdruck tiefer verschachtelt als die Tiefengrenze von %1</translation>
    </message>
</context>
<context>
    <name>KsyLoader</name>
    <message>
        <source>cannot read the file</source>
        <translation>die Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>a template must be a map</source>
        <translation>eine Vorlage muss eine Map sein</translation>
    </message>
    <message>
        <source>meta/id is missing</source>
        <translation>meta/id fehlt</translation>
    </message>
    <message>
        <source>imports nested too deeply</source>
        <translation>Importe zu tief verschachtelt</translation>
    </message>
    <message>
        <source>cannot import &apos;%1&apos;: no file %2</source>
        <translation>&apos;%1&apos; kann nicht importiert werden: keine Datei %2</translation>
    </message>
    <message>
        <source>expected a single value</source>
        <translation>ein einzelner Wert erwartet</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not an integer</source>
        <translation>&apos;%1&apos; ist keine ganze Zahl</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not true or false</source>
        <translation>&apos;%1&apos; ist weder true noch false</translation>
    </message>
    <message>
        <source>contents must be numbers and strings</source>
        <translation>contents muss aus Zahlen und Zeichenketten bestehen</translation>
    </message>
    <message>
        <source>contents byte %1 out of range</source>
        <translation>contents-Byte %1 außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>cases must be a map</source>
        <translation>cases muss eine Map sein</translation>
    </message>
    <message>
        <source>a switched type needs switch-on and cases</source>
        <translation>ein umgeschalteter Typ braucht switch-on und cases</translation>
    </message>
    <message>
        <source>valid must be a value or a map</source>
        <translation>valid muss ein Wert oder eine Map sein</translation>
    </message>
    <message>
        <source>any-of must be a list</source>
        <translation>any-of muss eine Liste sein</translation>
    </message>
    <message>
        <source>unknown key &apos;%1&apos; in valid</source>
        <translation>unbekannter Schlüssel &apos;%1&apos; in valid</translation>
    </message>
    <message>
        <source>a field must be a map</source>
        <translation>ein Feld muss eine Map sein</translation>
    </message>
    <message>
        <source>unknown repeat &apos;%1&apos;</source>
        <translation>unbekanntes repeat &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown key &apos;%1&apos;</source>
        <translation>unbekannter Schlüssel &apos;%1&apos;</translation>
    </message>
    <message>
        <source>repeat needs its expression</source>
        <translation>repeat braucht seinen Ausdruck</translation>
    </message>
    <message>
        <source>meta must be a map</source>
        <translation>meta muss eine Map sein</translation>
    </message>
    <message>
        <source>a switched endian needs switch-on and cases</source>
        <translation>eine umgeschaltete Bytereihenfolge braucht switch-on und cases</translation>
    </message>
    <message>
        <source>endian must be le or be</source>
        <translation>endian muss le oder be sein</translation>
    </message>
    <message>
        <source>bit-endian must be le or be</source>
        <translation>bit-endian muss le oder be sein</translation>
    </message>
    <message>
        <source>imports must be a list</source>
        <translation>imports muss eine Liste sein</translation>
    </message>
    <message>
        <source>enums must be a map</source>
        <translation>enums muss eine Map sein</translation>
    </message>
    <message>
        <source>an enum must be a map</source>
        <translation>eine Aufzählung muss eine Map sein</translation>
    </message>
    <message>
        <source>an enum entry needs an id</source>
        <translation>ein Aufzählungseintrag braucht eine id</translation>
    </message>
    <message>
        <source>types nested too deeply</source>
        <translation>Typen zu tief verschachtelt</translation>
    </message>
    <message>
        <source>a type must be a map</source>
        <translation>ein Typ muss eine Map sein</translation>
    </message>
    <message>
        <source>seq must be a list</source>
        <translation>seq muss eine Liste sein</translation>
    </message>
    <message>
        <source>instances must be a map</source>
        <translation>instances muss eine Map sein</translation>
    </message>
    <message>
        <source>params must be a list</source>
        <translation>params muss eine Liste sein</translation>
    </message>
    <message>
        <source>a parameter needs an id</source>
        <translation>ein Parameter braucht eine id</translation>
    </message>
    <message>
        <source>types must be a map</source>
        <translation>types muss eine Map sein</translation>
    </message>
</context>
<context>
    <name>KsyMarkCommand</name>
    <message>
        <source>Apply Template</source>
        <translation>Vorlage anwenden</translation>
    </message>
</context>
<context>
    <name>KsyMarkupBuilder</name>
    <message>
        <source>%1 (decoded)</source>
        <translation>%1 (dekodiert)</translation>
    </message>
</context>
<context>
    <name>KsyParser</name>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>cannot read expression &apos;%1&apos;: %2</source>
        <translation>Ausdruck &apos;%1&apos; kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 in &apos;%2&apos;</source>
        <translation>%1 in &apos;%2&apos;</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is %2, not an integer</source>
        <translation>&apos;%1&apos; ist %2, keine ganze Zahl</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is too large</source>
        <translation>&apos;%1&apos; ist zu groß</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is %2, not a boolean</source>
        <translation>&apos;%1&apos; ist %2, kein Wahrheitswert</translation>
    </message>
    <message>
        <source>_index outside a repeated field</source>
        <translation>_index außerhalb eines wiederholten Felds</translation>
    </message>
    <message>
        <source>&apos;_&apos; outside repeat-until or valid</source>
        <translation>&apos;_&apos; außerhalb von repeat-until oder valid</translation>
    </message>
    <message>
        <source>unknown name &apos;%1&apos;</source>
        <translation>unbekannter Name &apos;%1&apos;</translation>
    </message>
    <message>
        <source>no struct for &apos;%1&apos;</source>
        <translation>keine Struktur für &apos;%1&apos;</translation>
    </message>
    <message>
        <source>_parent of the top level</source>
        <translation>_parent der obersten Ebene</translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no value</source>
        <translation>&apos;%1&apos; hat keinen Wert</translation>
    </message>
    <message>
        <source>instance &apos;%1&apos;: %2</source>
        <translation>Instanz &apos;%1&apos;: %2</translation>
    </message>
    <message>
        <source>no struct for &apos;%1._sizeof&apos;</source>
        <translation>keine Struktur für &apos;%1._sizeof&apos;</translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no size</source>
        <translation>&apos;%1&apos; hat keine Größe</translation>
    </message>
    <message>
        <source>bad enum reference &apos;%1&apos;</source>
        <translation>fehlerhafter Aufzählungsverweis &apos;%1&apos;</translation>
    </message>
    <message>
        <source>unknown enum &apos;%1&apos;</source>
        <translation>unbekannte Aufzählung &apos;%1&apos;</translation>
    </message>
    <message>
        <source>enum &apos;%1&apos; has no &apos;%2&apos;</source>
        <translation>Aufzählung &apos;%1&apos; hat kein &apos;%2&apos;</translation>
    </message>
    <message>
        <source>unknown type &apos;%1&apos;</source>
        <translation>unbekannter Typ &apos;%1&apos;</translation>
    </message>
    <message>
        <source>sizeof&lt;%1&gt; is not fixed</source>
        <translation>sizeof&lt;%1&gt; ist nicht fest</translation>
    </message>
    <message>
        <source>no endianness for %1</source>
        <translation>keine Bytereihenfolge für %1</translation>
    </message>
    <message>
        <source>instance &apos;%1&apos; depends on itself</source>
        <translation>Instanz &apos;%1&apos; hängt von sich selbst ab</translation>
    </message>
    <message>
        <source>instances nested deeper than %1</source>
        <translation>Instanzen tiefer als %1 verschachtelt</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a stream</source>
        <translation>&apos;%1&apos; ist kein Datenstrom</translation>
    </message>
    <message>
        <source>position %1 is outside the stream (size %2)</source>
        <translation>Position %1 liegt außerhalb des Datenstroms (Größe %2)</translation>
    </message>
    <message>
        <source>end of data: %1 bytes of contents needed, %2 left</source>
        <translation>Datenende: %1 Bytes contents nötig, %2 übrig</translation>
    </message>
    <message>
        <source>contents %1 expected, %2 found</source>
        <translation>contents %1 erwartet, %2 gefunden</translation>
    </message>
    <message>
        <source>no endianness for &apos;%1&apos;</source>
        <translation>keine Bytereihenfolge für &apos;%1&apos;</translation>
    </message>
    <message>
        <source>end of data: %1 needs %2 bytes, %3 left</source>
        <translation>Datenende: %1 braucht %2 Bytes, %3 übrig</translation>
    </message>
    <message>
        <source>end of data: %1 needs %2 bits</source>
        <translation>Datenende: %1 braucht %2 Bits</translation>
    </message>
    <message>
        <source>a processed field needs a size</source>
        <translation>ein verarbeitetes Feld braucht eine Größe</translation>
    </message>
    <message>
        <source>negative size %1</source>
        <translation>negative Größe %1</translation>
    </message>
    <message>
        <source>end of data: size %1 needed, %2 left</source>
        <translation>Datenende: Größe %1 nötig, %2 übrig</translation>
    </message>
    <message>
        <source>terminator 0x%1 not found before the end of data</source>
        <translation>Endezeichen 0x%1 vor dem Datenende nicht gefunden</translation>
    </message>
    <message>
        <source>field of %1 bytes is too large to read (limit %2)</source>
        <translation>Feld mit %1 Bytes ist zu groß zum Lesen (Grenze %2)</translation>
    </message>
    <message>
        <source>types nested deeper than %1</source>
        <translation>Typen tiefer als %1 verschachtelt</translation>
    </message>
    <message>
        <source>type &apos;%1&apos; takes %2 parameters, %3 given</source>
        <translation>Typ &apos;%1&apos; nimmt %2 Parameter, %3 angegeben</translation>
    </message>
    <message>
        <source>%1 is not valid: %2 %3 expected</source>
        <translation>%1 ist ungültig: %2 %3 erwartet</translation>
    </message>
    <message>
        <source>%1 is not valid: not one of %2</source>
        <translation>%1 ist ungültig: nicht eines von %2</translation>
    </message>
    <message>
        <source>%1 is not valid: %2 is false</source>
        <translation>%1 ist ungültig: %2 ist falsch</translation>
    </message>
    <message>
        <source>%1 is not valid: not in enum %2</source>
        <translation>%1 ist ungültig: nicht in Aufzählung %2</translation>
    </message>
    <message>
        <source>process &apos;%1&apos; is a custom routine, which templates cannot run</source>
        <translation>process &apos;%1&apos; ist eine eigene Routine, die Vorlagen nicht ausführen können</translation>
    </message>
    <message>
        <source>process &apos;%1&apos; needs one argument</source>
        <translation>process &apos;%1&apos; braucht ein Argument</translation>
    </message>
    <message>
        <source>type &apos;%1&apos; is an opaque (external) type, which templates cannot read</source>
        <translation>Typ &apos;%1&apos; ist ein opaker (externer) Typ, den Vorlagen nicht lesen können</translation>
    </message>
    <message>
        <source>parent &apos;%1&apos; is %2, not a struct</source>
        <translation>parent &apos;%1&apos; ist %2, keine Struktur</translation>
    </message>
    <message>
        <source>more than %1 fields, the field limit (Preferences, --max-fields)</source>
        <translation>mehr als %1 Felder, die Feldgrenze (Einstellungen, --max-fields)</translation>
    </message>
    <message>
        <source>n/a: %1</source>
        <translation>n. v.: %1</translation>
    </message>
</context>
<context>
    <name>KsyProcessRegistry</name>
    <message>
        <source>zlib cannot start</source>
        <translation>zlib kann nicht starten</translation>
    </message>
    <message>
        <source>zlib data is damaged (%1)</source>
        <translation>zlib-Daten sind beschädigt (%1)</translation>
    </message>
    <message>
        <source>zlib data expands beyond %1 bytes</source>
        <translation>zlib-Daten entpacken sich auf mehr als %1 Bytes</translation>
    </message>
    <message>
        <source>zlib data ends early</source>
        <translation>zlib-Daten enden zu früh</translation>
    </message>
    <message>
        <source>xor with an empty key</source>
        <translation>xor mit leerem Schlüssel</translation>
    </message>
    <message>
        <source>%1 needs an integer</source>
        <translation>%1 braucht eine ganze Zahl</translation>
    </message>
</context>
<context>
    <name>KsyResult</name>
    <message>
        <source>Template stopped at %1: %2</source>
        <translation>Vorlage angehalten bei %1: %2</translation>
    </message>
</context>
<context>
    <name>KsyValue</name>
    <message>
        <source>integer overflow</source>
        <translation>Ganzzahlüberlauf</translation>
    </message>
    <message numerus="yes">
        <source>[%n item(s)]</source>
        <translation>
            <numerusform>[%n Element]</numerusform>
            <numerusform>[%n Elemente]</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>No File</source>
        <translation>Keine Datei</translation>
    </message>
    <message>
        <source>Pellow Quarnby Status</source>
        <translation>Pellow-Quarnby-Status</translation>
    </message>
    <message>
        <source>Markup Tree</source>
        <translation>Markierungsbaum</translation>
    </message>
    <message>
        <source>Toolbox</source>
        <translation>Werkzeuge</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>Goto</source>
        <translation>Gehe zu</translation>
    </message>
    <message>
        <source>Inspector</source>
        <translation>Inspektor</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>No file is open.

Open one with File › Open (%1)
or drop a file on this window.</source>
        <translation>Keine Datei geöffnet.

Öffnen Sie eine mit Datei › Öffnen (%1)
oder ziehen Sie eine Datei auf dieses Fenster.</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>Load Markup</source>
        <translation>Markierungen laden</translation>
    </message>
    <message>
        <source>Save Markup</source>
        <translation>Markierungen speichern</translation>
    </message>
    <message>
        <source>Save Markup As</source>
        <translation>Markierungen speichern unter</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <comment>File|Exit</comment>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Copy to Clipboard</source>
        <translation>In die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Go to Address</source>
        <translation>Gehe zu Adresse</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Ansicht</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Choose Fonts</source>
        <translation>Schriftart wählen</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Markup</source>
        <translation>Markierung</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>Ctrl+M</source>
        <comment>Markup|Mark</comment>
        <translation>Ctrl+M</translation>
    </message>
    <message>
        <source>Clear Marks</source>
        <translation>Markierungen entfernen</translation>
    </message>
    <message>
        <source>Foreground Color</source>
        <translation>Vordergrundfarbe</translation>
    </message>
    <message>
        <source>Background Color</source>
        <translation>Hintergrundfarbe</translation>
    </message>
    <message>
        <source>Pick Random Colors</source>
        <translation>Zufällige Farben</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Prune</source>
        <translation>Zweig löschen</translation>
    </message>
    <message>
        <source>Manual Selection</source>
        <translation>Manuelle Auswahl</translation>
    </message>
    <message>
        <source>Apply Template…</source>
        <translation>Vorlage anwenden…</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportieren…</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Help Topics</source>
        <translation>Hilfethemen</translation>
    </message>
    <message>
        <source>F1</source>
        <comment>Help|Help Topics</comment>
        <translation>F1</translation>
    </message>
    <message>
        <source>About Pellow Quarnby</source>
        <translation>Über Pellow Quarnby</translation>
    </message>
    <message>
        <source>Markup Toolbar</source>
        <translation>Markierungsleiste</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Datei öffnen</translation>
    </message>
    <message>
        <source>Open Markup</source>
        <translation>Markierungen öffnen</translation>
    </message>
    <message>
        <source>Foreground</source>
        <translation>Vordergrund</translation>
    </message>
    <message>
        <source>Background</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <source>Random</source>
        <translation>Zufällig</translation>
    </message>
    <message>
        <source>Search Results</source>
        <translation>Suchergebnisse</translation>
    </message>
    <message>
        <source>Overview Strip</source>
        <translation>Übersichtsleiste</translation>
    </message>
</context>
<context>
    <name>ManualMarkupDialog</name>
    <message>
        <source>Specify Markup Manually</source>
        <translation>Markierung von Hand festlegen</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Start Position</source>
        <translation>Anfangsposition</translation>
    </message>
    <message>
        <source>End Position</source>
        <translation>Endposition</translation>
    </message>
    <message>
        <source>0x… hexadecimal, 0… octal, otherwise decimal</source>
        <translation>0x… hexadezimal, 0… oktal, sonst dezimal</translation>
    </message>
</context>
<context>
    <name>MarkAllCommand</name>
    <message>
        <source>Mark All</source>
        <translation>Alle markieren</translation>
    </message>
</context>
<context>
    <name>MarkCommand</name>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
</context>
<context>
    <name>MarkupActions</name>
    <message>
        <source>No File</source>
        <translation>Keine Datei</translation>
    </message>
    <message>
        <source>Select a region to mark</source>
        <translation>Wählen Sie einen Bereich zum Markieren aus</translation>
    </message>
    <message>
        <source>Position out of range</source>
        <translation>Position außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>Select a row from the markup tree</source>
        <translation>Wählen Sie eine Zeile im Markierungsbaum aus</translation>
    </message>
    <message>
        <source>Foreground Color</source>
        <translation>Vordergrundfarbe</translation>
    </message>
    <message>
        <source>Background Color</source>
        <translation>Hintergrundfarbe</translation>
    </message>
    <message>
        <source>Select some bytes first</source>
        <translation>Wählen Sie zuerst Bytes aus</translation>
    </message>
    <message>
        <source>No markup under the selection</source>
        <translation>Keine Markierung unter der Auswahl</translation>
    </message>
    <message>
        <source>Random Colors</source>
        <translation>Zufällige Farben</translation>
    </message>
    <message>
        <source>Clear All markup</source>
        <translation>Alle Markierungen entfernen</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;This operation will clear all markups. Is this what you really want to do?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Dies entfernt alle Markierungen. Wollen Sie das wirklich?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Anfang</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Wiederholung</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>%1 bearbeiten</translation>
    </message>
    <message>
        <source>Undo %1</source>
        <translation>Rückgängig: %1</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>Wiederholen: %1</translation>
    </message>
</context>
<context>
    <name>MarkupFileActions</name>
    <message>
        <source>&lt;font size =4&gt;Could not open XML file for output.&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die XML-Datei konnte nicht zum Schreiben geöffnet werden.&lt;/font&gt;</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;Could not open XML file for input.&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die XML-Datei konnte nicht zum Lesen geöffnet werden.&lt;/font&gt;</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;Could not open export file for output.&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die Exportdatei konnte nicht zum Schreiben geöffnet werden.&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Save Markup XML File</source>
        <translation>Markierungen als XML-Datei speichern</translation>
    </message>
    <message>
        <source>File Exists</source>
        <translation>Datei vorhanden</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;XML File Exists, Overwrite?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die XML-Datei ist bereits vorhanden. Überschreiben?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>File Error</source>
        <translation>Dateifehler</translation>
    </message>
    <message>
        <source>Markup Saved</source>
        <translation>Markierungen gespeichert</translation>
    </message>
    <message>
        <source>Markup Has Changed</source>
        <translation>Markierungen geändert</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;Markup has been changed. Save XML file?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die Markierungen wurden geändert. XML-Datei speichern?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Loading markup...</source>
        <translation>Markierungen werden geladen …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Markup Loaded</source>
        <translation>Markierungen geladen</translation>
    </message>
    <message>
        <source>Load XML Markup File</source>
        <translation>XML-Markierungsdatei laden</translation>
    </message>
    <message>
        <source>XML Markup (*.xml)</source>
        <translation>XML-Markierungen (*.xml)</translation>
    </message>
    <message>
        <source>No markup to export</source>
        <translation>Keine Markierungen zum Exportieren</translation>
    </message>
    <message>
        <source>Export Markup</source>
        <translation>Markierungen exportieren</translation>
    </message>
    <message>
        <source>Export needs a file name ending in .json, .csv or .ksy</source>
        <translation>Der Export braucht einen Dateinamen mit der Endung .json, .csv oder .ksy</translation>
    </message>
    <message>
        <source>&lt;font size =4&gt;Export File Exists, Overwrite?&lt;/font&gt;</source>
        <translation>&lt;font size =4&gt;Die Exportdatei ist bereits vorhanden. Überschreiben?&lt;/font&gt;</translation>
    </message>
    <message>
        <source>Markup Exported</source>
        <translation>Markierungen exportiert</translation>
    </message>
</context>
<context>
    <name>MarkupModel</name>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Anfang</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Wdh.</translation>
    </message>
</context>
<context>
    <name>MarkupTree</name>
    <message>
        <source>Markup loaded successfully</source>
        <translation>Markierungen erfolgreich geladen</translation>
    </message>
    <message>
        <source>Markup load cancelled</source>
        <translation>Laden der Markierungen abgebrochen</translation>
    </message>
    <message>
        <source>Read %1 markup, stopped at line %2, column %3: %4</source>
        <translation>%1 Markierung gelesen, angehalten in Zeile %2, Spalte %3: %4</translation>
    </message>
    <message>
        <source>Read %1 markups, stopped at line %2, column %3: %4</source>
        <translation>%1 Markierungen gelesen, angehalten in Zeile %2, Spalte %3: %4</translation>
    </message>
    <message>
        <source>Markup load failed</source>
        <translation>Markierungen nicht geladen</translation>
    </message>
    <message>
        <source>Markup file too large for the memory available</source>
        <translation>Markierungsdatei zu groß für den verfügbaren Speicher</translation>
    </message>
    <message>
        <source>Loading it needs about %1 MiB, %2 MiB are available</source>
        <translation>Das Laden braucht etwa %1 MiB, verfügbar sind %2 MiB</translation>
    </message>
</context>
<context>
    <name>MarkupXMLHandler</name>
    <message>
        <source>entity declarations are not accepted</source>
        <translation>Entity-Deklarationen werden nicht akzeptiert</translation>
    </message>
    <message>
        <source>unknown element %1</source>
        <translation>unbekanntes Element %1</translation>
    </message>
</context>
<context>
    <name>OverviewStrip</name>
    <message>
        <source>Offsets %1 to %2</source>
        <translation>Offsets %1 bis %2</translation>
    </message>
    <message>
        <source>%1 bits per byte</source>
        <translation>%1 Bit pro Byte</translation>
    </message>
    <message>
        <source>(from a sample; counting every byte)</source>
        <translation>(aus einer Stichprobe; jedes Byte wird gezählt)</translation>
    </message>
</context>
<context>
    <name>PreferencesDialog</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Icon Only</source>
        <translation>Nur Symbole</translation>
    </message>
    <message>
        <source>Text Only</source>
        <translation>Nur Text</translation>
    </message>
    <message>
        <source>Text Beside</source>
        <translation>Text neben Symbolen</translation>
    </message>
    <message>
        <source>Text Under</source>
        <translation>Text unter Symbolen</translation>
    </message>
    <message>
        <source>Link Markup to Files</source>
        <translation>Markierungen mit Dateien verknüpfen</translation>
    </message>
    <message>
        <source>Splash Screen at Startup</source>
        <translation>Startbild beim Programmstart</translation>
    </message>
    <message>
        <source>Display Markup Positions in hexadecimal</source>
        <translation>Markierungspositionen hexadezimal anzeigen</translation>
    </message>
    <message>
        <source>Default Markup Save Directory</source>
        <translation>Standardordner für Markierungsdateien</translation>
    </message>
    <message>
        <source>Toolbar Style</source>
        <translation>Werkzeugleistenstil</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Keep a journal of unsaved changes</source>
        <translation>Protokoll ungesicherter Änderungen führen</translation>
    </message>
    <message>
        <source>Show the overview strip beside the hex view</source>
        <translation>Übersichtsleiste neben der Hex-Ansicht zeigen</translation>
    </message>
    <message>
        <source>Offer a template for the format of a file opened</source>
        <translation>Für das Format einer geöffneten Datei eine Vorlage anbieten</translation>
    </message>
    <message>
        <source>Template Field Limit</source>
        <translation>Feldgrenze für Vorlagen</translation>
    </message>
</context>
<context>
    <name>PruneCommand</name>
    <message>
        <source>Prune</source>
        <translation>Zweig löschen</translation>
    </message>
</context>
<context>
    <name>SearchEngine</name>
    <message>
        <source>Invalid regular expression at position %1: %2</source>
        <translation>Ungültiger regulärer Ausdruck an Position %1: %2</translation>
    </message>
    <message>
        <source>No Match Found</source>
        <translation>Kein Treffer gefunden</translation>
    </message>
    <message>
        <source>Search Operation Cancelled</source>
        <translation>Suche abgebrochen</translation>
    </message>
    <message>
        <source>Search Runtime Error</source>
        <translation>Laufzeitfehler bei der Suche</translation>
    </message>
    <message>
        <source>The file changed during the search</source>
        <translation>Die Datei hat sich während der Suche geändert</translation>
    </message>
    <message>
        <source>Search String is Empty</source>
        <translation>Suchtext ist leer</translation>
    </message>
    <message>
        <source>Hex string must have an even number of characters</source>
        <translation>Eine Hex-Zeichenfolge muss eine gerade Anzahl Zeichen haben</translation>
    </message>
    <message>
        <source>No file is open</source>
        <translation>Keine Datei geöffnet</translation>
    </message>
</context>
<context>
    <name>SearchResultsWidget</name>
    <message>
        <source>Mark All</source>
        <translation>Alle markieren</translation>
    </message>
    <message>
        <source>No search yet</source>
        <translation>Noch keine Suche</translation>
    </message>
</context>
<context>
    <name>SearchWidget</name>
    <message>
        <source>Expression</source>
        <translation>Ausdruck</translation>
    </message>
    <message>
        <source>Progress: %p%</source>
        <translation>Fortschritt: %p%</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>&amp;Alpha</source>
        <translation>&amp;Text</translation>
    </message>
    <message>
        <source>&amp;Hexadecimal</source>
        <translation>&amp;Hexadezimal</translation>
    </message>
    <message>
        <source>&amp;Regex</source>
        <translation>&amp;Regex</translation>
    </message>
    <message>
        <source>&amp;Simple</source>
        <translation>&amp;Einfach</translation>
    </message>
    <message>
        <source>Empty match at 0x%1</source>
        <translation>Leerer Treffer bei 0x%1</translation>
    </message>
    <message>
        <source>Find All</source>
        <translation>Alle finden</translation>
    </message>
</context>
<context>
    <name>StatusFields</name>
    <message>
        <source>Selection: 0x%1-0x%2, %3 %4</source>
        <translation>Auswahl: 0x%1-0x%2, %3 %4</translation>
    </message>
    <message>
        <source>byte</source>
        <translation>Byte</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Offset: -</source>
        <translation>Offset: -</translation>
    </message>
    <message>
        <source>Size: -</source>
        <translation>Größe: -</translation>
    </message>
    <message>
        <source>Offset: %1</source>
        <translation>Offset: %1</translation>
    </message>
    <message>
        <source>Size: %1</source>
        <translation>Größe: %1</translation>
    </message>
</context>
<context>
    <name>TemplateActions</name>
    <message>
        <source>No File</source>
        <translation>Keine Datei</translation>
    </message>
    <message>
        <source>Apply Template</source>
        <translation>Vorlage anwenden</translation>
    </message>
    <message>
        <source>Kaitai Struct templates (*.ksy);;All files (*)</source>
        <translation>Kaitai-Struct-Vorlagen (*.ksy);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Applying %1…</source>
        <translation>%1 wird angewendet …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TemplateGalleryDialog</name>
    <message>
        <source>Apply Template</source>
        <translation>Vorlage anwenden</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Template</source>
        <translation>Vorlage</translation>
    </message>
    <message>
        <source>(top)</source>
        <translation>(oberste Ebene)</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Anwenden</translation>
    </message>
    <message>
        <source>Other File…</source>
        <translation>Andere Datei…</translation>
    </message>
</context>
<context>
    <name>TemplateRun</name>
    <message>
        <source>A template is being applied: cancel it first.</source>
        <translation>Eine Vorlage wird gerade angewendet: Brechen Sie sie zuerst ab.</translation>
    </message>
    <message>
        <source>Template cancelled: no markups added</source>
        <translation>Vorlage abgebrochen: keine Markierungen hinzugefügt</translation>
    </message>
    <message>
        <source>no markups read</source>
        <translation>keine Markierungen gelesen</translation>
    </message>
    <message>
        <source>1 markup added from %1</source>
        <translation>1 Markierung aus %1 hinzugefügt</translation>
    </message>
    <message>
        <source>%1 markups added from %2</source>
        <translation>%1 Markierungen aus %2 hinzugefügt</translation>
    </message>
    <message>
        <source>%1 did not fit the markups already there</source>
        <translation>%1 passten nicht zu den vorhandenen Markierungen</translation>
    </message>
    <message>
        <source>%1 overlapped other markups and were left out</source>
        <translation>%1 überlappten andere Markierungen und wurden ausgelassen</translation>
    </message>
    <message>
        <source>%1 nested deeper than %2 and were left out</source>
        <translation>%1 lagen tiefer als %2 Ebenen und wurden ausgelassen</translation>
    </message>
    <message>
        <source>%1 does not match this file: %2 at %3</source>
        <translation>%1 passt nicht zu dieser Datei: %2 bei %3</translation>
    </message>
    <message>
        <source>%1 instances could not be computed, the first at %2</source>
        <translation>%1 Instanzen konnten nicht berechnet werden, die erste bei %2</translation>
    </message>
    <message>
        <source>no template matches</source>
        <translation>keine Vorlage passt</translation>
    </message>
</context>
<context>
    <name>TreeViewDelegate</name>
    <message>
        <source>Start must lie after the end of the markup before it</source>
        <translation>Der Anfang muss hinter dem Ende der vorigen Markierung liegen</translation>
    </message>
    <message>
        <source>Start must not be before the start of the markup it lies in</source>
        <translation>Der Anfang darf nicht vor dem Anfang der umgebenden Markierung liegen</translation>
    </message>
    <message>
        <source>End must not be after the end of the markup it lies in</source>
        <translation>Das Ende darf nicht hinter dem Ende der umgebenden Markierung liegen</translation>
    </message>
    <message>
        <source>Start must not be after the start of the first markup inside it</source>
        <translation>Der Anfang darf nicht hinter dem Anfang der ersten enthaltenen Markierung liegen</translation>
    </message>
    <message>
        <source>Start must not be after End</source>
        <translation>Der Anfang darf nicht hinter dem Ende liegen</translation>
    </message>
    <message>
        <source>End must not be before Start</source>
        <translation>Das Ende darf nicht vor dem Anfang liegen</translation>
    </message>
    <message>
        <source>End must not be before the end of the last markup inside it</source>
        <translation>Das Ende darf nicht vor dem Ende der letzten enthaltenen Markierung liegen</translation>
    </message>
    <message>
        <source>End must lie before the start of the markup after it</source>
        <translation>Das Ende muss vor dem Anfang der nächsten Markierung liegen</translation>
    </message>
    <message>
        <source>Start lies beyond the end of the file</source>
        <translation>Der Anfang liegt hinter dem Dateiende</translation>
    </message>
    <message>
        <source>End lies beyond the end of the file</source>
        <translation>Das Ende liegt hinter dem Dateiende</translation>
    </message>
    <message>
        <source>Start must not be negative</source>
        <translation>Der Anfang darf nicht negativ sein</translation>
    </message>
    <message>
        <source>End must not be negative</source>
        <translation>Das Ende darf nicht negativ sein</translation>
    </message>
</context>
</TS>
