<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AboutWindow</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Home page</source>
        <translation>Homepage</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Hilfe und Support</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>ConversionWindow</name>
    <message>
        <source>Converting</source>
        <translation>Konvertierung läuft</translation>
    </message>
    <message>
        <source>Show Preview</source>
        <translation>Vorschau zeigen</translation>
    </message>
    <message>
        <source>Shut down computer when conversion completed</source>
        <translation>Computer nach der Konvertierung herunterfahren</translation>
    </message>
    <message>
        <source>Open output folder when conversion completed</source>
        <translation>Ausgabeordner nach der Konvertierung öffnen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Preview hidden</source>
        <translation>Vorschau ausgeblendet</translation>
    </message>
    <message>
        <source>Current file:</source>
        <translation>Datei:</translation>
    </message>
    <message>
        <source>All files:</source>
        <translation>Gesamt:</translation>
    </message>
    <message>
        <source>Elapsed time:</source>
        <translation>Laufzeit:</translation>
    </message>
    <message>
        <source>Remaining time:</source>
        <translation>Restzeit:</translation>
    </message>
    <message>
        <source>Converted length of the current file:</source>
        <translation>Bisher konvertiert:</translation>
    </message>
    <message>
        <source>%1 (%2 of %3)</source>
        <translation>%1 (%2 von %3)</translation>
    </message>
</context>
<context>
    <name>CustomSettingsWindow</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>Format PreSet:</source>
        <translation>Formatvorlage:</translation>
    </message>
    <message>
        <source>Save as...</source>
        <translation>Speichern unter...</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Save as</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>Name of the new profile:</source>
        <translation>Name des neuen Profils:</translation>
    </message>
    <message>
        <source>Delete the profile "%1"?</source>
        <translation>Das Profil „%1“ löschen?</translation>
    </message>
    <message>
        <source>Resolution:</source>
        <translation>Auflösung:</translation>
    </message>
    <message>
        <source>Frame Rate:</source>
        <translation>Bildrate:</translation>
    </message>
    <message>
        <source>Encoder:</source>
        <translation>Encoder:</translation>
    </message>
    <message>
        <source>Bitrate:</source>
        <translation>Bitrate:</translation>
    </message>
    <message>
        <source>Sample Rate:</source>
        <translation>Abtastrate:</translation>
    </message>
    <message>
        <source>Channels:</source>
        <translation>Kanäle:</translation>
    </message>
    <message>
        <source>Quality:</source>
        <translation>Qualität:</translation>
    </message>
    <message>
        <source>Speed:</source>
        <translation>Geschwindigkeit:</translation>
    </message>
    <message>
        <source>A deleted profile cannot be brought back.</source>
        <translation>Ein gelöschtes Profil lässt sich nicht wiederherstellen.</translation>
    </message>
</context>
<context>
    <name>EditorWindow</name>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>%1 bearbeiten</translation>
    </message>
    <message>
        <source>Loading the preview…</source>
        <translation>Die Vorschau wird geladen…</translation>
    </message>
    <message>
        <source>No preview for this source</source>
        <translation>Keine Vorschau für diese Quelle</translation>
    </message>
    <message>
        <source>Source: drag the frame to crop</source>
        <translation>Quelle: zum Zuschneiden den Rahmen ziehen</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Go to the start of the range</source>
        <translation>Zum Anfang des Bereichs</translation>
    </message>
    <message>
        <source>Mark in: the slider's start mark at the range's start</source>
        <translation>Anfang setzen: die Startmarke des Schiebereglers an den Anfang des Bereichs</translation>
    </message>
    <message>
        <source>Mark out: the slider's end mark at the range's end</source>
        <translation>Ende setzen: die Endmarke des Schiebereglers an das Ende des Bereichs</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Crop</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <source>Trim</source>
        <translation>Kürzen</translation>
    </message>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Watermark</source>
        <translation>Wasserzeichen</translation>
    </message>
    <message>
        <source>hh:mm:ss</source>
        <translation>hh:mm:ss</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Start Time:</source>
        <translation>Startzeit:</translation>
    </message>
    <message>
        <source>End Time:</source>
        <translation>Endzeit:</translation>
    </message>
    <message>
        <source>Select Length:</source>
        <translation>Gewählte Länge:</translation>
    </message>
    <message>
        <source>Drag the pointers under the time line, or type a time and apply it.</source>
        <translation>Ziehen Sie die Zeiger unter der Zeitleiste oder geben Sie eine Zeit ein und übernehmen Sie sie.</translation>
    </message>
    <message>
        <source>Zoom Mode</source>
        <translation>Zoom-Modus</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Links</translation>
    </message>
    <message>
        <source>Top</source>
        <translation>Oben</translation>
    </message>
    <message>
        <source>Right</source>
        <translation>Rechts</translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation>Unten</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Crop the black borders of the title</source>
        <translation>Die schwarzen Ränder des Titels abschneiden</translation>
    </message>
    <message>
        <source>Source pixels of the %1 × %2 picture.</source>
        <translation>Quellpixel des Bildes mit %1 × %2 Pixeln.</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Kontrast</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Sättigung</translation>
    </message>
    <message>
        <source>No watermark</source>
        <translation>Kein Wasserzeichen</translation>
    </message>
    <message>
        <source>Colour</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>Text:</source>
        <translation>Text:</translation>
    </message>
    <message>
        <source>Font:</source>
        <translation>Schrift:</translation>
    </message>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>x:</source>
        <translation>x:</translation>
    </message>
    <message>
        <source>y:</source>
        <translation>y:</translation>
    </message>
    <message>
        <source>Opacity:</source>
        <translation>Deckkraft:</translation>
    </message>
    <message>
        <source>%1, %2 px</source>
        <translation>%1, %2 px</translation>
    </message>
    <message>
        <source>Auto: the crop keeps the picture inside the black borders.</source>
        <translation>Automatisch: Der Zuschnitt behält das Bild innerhalb der schwarzen Ränder.</translation>
    </message>
    <message>
        <source>Auto: the title could not be measured; the crop is kept.</source>
        <translation>Automatisch: Der Titel konnte nicht vermessen werden; der Zuschnitt bleibt.</translation>
    </message>
    <message>
        <source>Watermark Font</source>
        <translation>Schrift des Wasserzeichens</translation>
    </message>
    <message>
        <source>Watermark Colour</source>
        <translation>Farbe des Wasserzeichens</translation>
    </message>
    <message>
        <source>No preview: the title cannot be played</source>
        <translation>Keine Vorschau: Der Titel kann nicht abgespielt werden</translation>
    </message>
    <message>
        <source>The values can still be edited and saved</source>
        <translation>Die Werte können trotzdem bearbeitet und gespeichert werden</translation>
    </message>
</context>
<context>
    <name>FinishedWindow</name>
    <message>
        <source>Conversion finished</source>
        <translation>Konvertierung beendet</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>LogWindow</name>
    <message>
        <source>Activity Log</source>
        <translation>Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Activity log</source>
        <translation>Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Disc</source>
        <translation>Disc</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Meldung</translation>
    </message>
    <message>
        <source>Nothing has been logged yet.</source>
        <translation>Noch wurde nichts protokolliert.</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Datei öffnen</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Load DVD</source>
        <translation>DVD laden</translation>
    </message>
    <message>
        <source>Load DVD Folder</source>
        <translation>DVD-Ordner laden</translation>
    </message>
    <message>
        <source>Load ISO File</source>
        <translation>ISO-Datei laden</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Check All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>UnCheck All</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>Clip</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>Trim</source>
        <translation>Kürzen</translation>
    </message>
    <message>
        <source>Crop</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Conversion Options</source>
        <translation>Konvertierungsoptionen</translation>
    </message>
    <message>
        <source>Add to Queue</source>
        <translation>Zur Warteschlange</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Help Content</source>
        <translation>Hilfethemen</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Hilfe und Support</translation>
    </message>
    <message>
        <source>Home Page</source>
        <translation>Homepage</translation>
    </message>
    <message>
        <source>Activity Log</source>
        <translation>Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Load a DVD to preview its titles</source>
        <translation>Laden Sie eine DVD, um ihre Titel anzusehen</translation>
    </message>
    <message>
        <source>Previous title</source>
        <translation>Vorheriger Titel</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Next title</source>
        <translation>Nächster Titel</translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation>Standbild speichern</translation>
    </message>
    <message>
        <source>Open the snapshot folder</source>
        <translation>Den Ordner der Standbilder öffnen</translation>
    </message>
    <message>
        <source>Audio Track:</source>
        <translation>Tonspur:</translation>
    </message>
    <message>
        <source>SubTitle:</source>
        <translation>Untertitel:</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;Getting started&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Load a DVD with &lt;b&gt;Add File&lt;/b&gt;: a disc in a drive, a DVD folder or an ISO image, or drop one on this window. Tick the titles, choose a profile and press &lt;b&gt;Start&lt;/b&gt;.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;Erste Schritte&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Laden Sie eine DVD mit &lt;b&gt;Datei hinzufügen&lt;/b&gt;: eine Disc im Laufwerk, einen DVD-Ordner oder ein ISO-Abbild, oder ziehen Sie sie auf dieses Fenster. Wählen Sie die Titel und ein Profil und drücken Sie &lt;b&gt;Start&lt;/b&gt;.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Source file</source>
        <translation>Quelldatei</translation>
    </message>
    <message>
        <source>Original Length</source>
        <translation>Originallänge</translation>
    </message>
    <message>
        <source>Trimmed Length</source>
        <translation>Gekürzte Länge</translation>
    </message>
    <message>
        <source>Output Format</source>
        <translation>Ausgabeformat</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>Ausgabe:</translation>
    </message>
    <message>
        <source>Merge into one file</source>
        <translation>Zusammenfügen</translation>
    </message>
    <message>
        <source>Press Play to preview the selected title</source>
        <translation>Drücken Sie Wiedergabe für eine Vorschau des gewählten Titels</translation>
    </message>
    <message>
        <source>No preview</source>
        <translation>Keine Vorschau</translation>
    </message>
    <message>
        <source>%2: 1 title</source>
        <translation>%2: 1 Titel</translation>
    </message>
    <message>
        <source>%2: %1 titles</source>
        <translation>%2: %1 Titel</translation>
    </message>
    <message>
        <source>Please Select DVD Folder</source>
        <translation>Bitte einen DVD-Ordner wählen</translation>
    </message>
    <message>
        <source>Drive:</source>
        <translation>Laufwerk:</translation>
    </message>
    <message>
        <source>Disc images (*.iso);;All Files (*)</source>
        <translation>Disc-Abbilder (*.iso);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Snapshot saved: %1</source>
        <translation>Standbild gespeichert: %1</translation>
    </message>
    <message>
        <source>Browser</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>%1 exists. Replace it?</source>
        <translation>%1 existiert bereits. Ersetzen?</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Titles</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Output folder</source>
        <translation>Ausgabeordner</translation>
    </message>
    <message>
        <source>1 job added to the queue</source>
        <translation>1 Auftrag zur Warteschlange hinzugefügt</translation>
    </message>
    <message>
        <source>%1 jobs added to the queue</source>
        <translation>%1 Aufträge zur Warteschlange hinzugefügt</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Clip</source>
        <translation>&amp;Clip</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>No DVD drive was found.</source>
        <translation>Es wurde kein DVD-Laufwerk gefunden.</translation>
    </message>
    <message>
        <source>Use Load DVD Folder or Load ISO File for a disc on disk.</source>
        <translation>Für eine Disc auf der Festplatte verwenden Sie „DVD-Ordner laden“ oder „ISO-Datei laden“.</translation>
    </message>
    <message>
        <source>No keeps the file and goes on with the next title.</source>
        <translation>„Nein“ behält die Datei und macht mit dem nächsten Titel weiter.</translation>
    </message>
</context>
<context>
    <name>OptionsWindow</name>
    <message>
        <source>Conversion Options</source>
        <translation>Konvertierungsoptionen</translation>
    </message>
    <message>
        <source>Picture</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Always</source>
        <translation>Immer</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Deinterlace:</source>
        <translation>Deinterlacing:</translation>
    </message>
    <message>
        <source>Crop the black borders of every title</source>
        <translation>Die schwarzen Ränder jedes Titels abschneiden</translation>
    </message>
    <message>
        <source>Tracks</source>
        <translation>Spuren</translation>
    </message>
    <message>
        <source>Drawn into the picture</source>
        <translation>Ins Bild gezeichnet</translation>
    </message>
    <message>
        <source>Kept as subtitle tracks</source>
        <translation>Als Untertitelspuren behalten</translation>
    </message>
    <message>
        <source>Subtitles:</source>
        <translation>Untertitel:</translation>
    </message>
    <message>
        <source>Each ticked track is written; the first one is the default track</source>
        <translation>Jede markierte Spur wird geschrieben; die erste ist die Standardspur</translation>
    </message>
    <message>
        <source>Sound tracks:</source>
        <translation>Tonspuren:</translation>
    </message>
    <message>
        <source>Chapters:</source>
        <translation>Kapitel:</translation>
    </message>
    <message>
        <source>to</source>
        <translation>bis</translation>
    </message>
</context>
<context>
    <name>PreferencesWindow</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Browser</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Output Folder:</source>
        <translation>Ausgabeordner:</translation>
    </message>
    <message>
        <source>Snapshot Folder:</source>
        <translation>Ordner für Standbilder:</translation>
    </message>
    <message>
        <source>Image Type:</source>
        <translation>Bildformat:</translation>
    </message>
    <message>
        <source>Converting Done</source>
        <translation>Nach der Konvertierung</translation>
    </message>
    <message>
        <source>Action:</source>
        <translation>Aktion:</translation>
    </message>
    <message>
        <source>CPU Usage</source>
        <translation>CPU-Auslastung</translation>
    </message>
    <message>
        <source>Max Usage:</source>
        <translation>Höchstens:</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Change Language:</source>
        <translation>Sprache ändern:</translation>
    </message>
    <message>
        <source>Skin</source>
        <translation>Oberfläche</translation>
    </message>
    <message>
        <source>Change Skin:</source>
        <translation>Oberfläche ändern:</translation>
    </message>
    <message>
        <source>The settings cannot be written to %1</source>
        <translation>Die Einstellungen können nicht nach %1 geschrieben werden</translation>
    </message>
</context>
<context>
    <name>PropertiesWindow</name>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Video Information</source>
        <translation>Videoinformationen</translation>
    </message>
    <message>
        <source>Resolution:</source>
        <translation>Auflösung:</translation>
    </message>
    <message>
        <source>Video Bitrate:</source>
        <translation>Video-Bitrate:</translation>
    </message>
    <message>
        <source>Frame Rate:</source>
        <translation>Bildrate:</translation>
    </message>
    <message>
        <source>Audio Information</source>
        <translation>Audioinformationen</translation>
    </message>
    <message>
        <source>Audio Bitrate:</source>
        <translation>Audio-Bitrate:</translation>
    </message>
    <message>
        <source>Audio Sample Rate:</source>
        <translation>Audio-Abtastrate:</translation>
    </message>
    <message>
        <source>Channels:</source>
        <translation>Kanäle:</translation>
    </message>
    <message>
        <source>Blu-ray Title</source>
        <translation>Blu-ray-Titel</translation>
    </message>
    <message>
        <source>Playlist:</source>
        <translation>Wiedergabeliste:</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>Minimieren</translation>
    </message>
</context>
<context>
    <name>QueueWindow</name>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>Queued jobs</source>
        <translation>Aufträge in der Warteschlange</translation>
    </message>
    <message>
        <source>Disc</source>
        <translation>Disc</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The queue is empty: tick titles in the main window and press Add to Queue.</source>
        <translation>Die Warteschlange ist leer: Wählen Sie Titel im Hauptfenster und drücken Sie „Zur Warteschlange“.</translation>
    </message>
    <message>
        <source>1 job waits.</source>
        <translation>1 Auftrag wartet.</translation>
    </message>
    <message>
        <source>%1 jobs wait.</source>
        <translation>%1 Aufträge warten.</translation>
    </message>
</context>
<context>
    <name>ShutdownWindow</name>
    <message>
        <source>Shut Down</source>
        <translation>Herunterfahren</translation>
    </message>
    <message>
        <source>The conversion has ended.</source>
        <translation>Die Konvertierung ist beendet.</translation>
    </message>
    <message>
        <source>Press Cancel to keep the computer running.</source>
        <translation>Drücken Sie „Abbrechen“, damit der Computer weiterläuft.</translation>
    </message>
    <message>
        <source>Shutting down...</source>
        <translation>Wird heruntergefahren...</translation>
    </message>
</context>
<context>
    <name>disc</name>
    <message>
        <source>%1 ends before the trim start; it is skipped</source>
        <translation>%1 endet vor dem Anfang des gekürzten Bereichs; es wird übersprungen</translation>
    </message>
    <message>
        <source>There is no output profile to convert to: choose one</source>
        <translation>Es gibt kein Ausgabeprofil für die Konvertierung: Bitte wählen Sie eines</translation>
    </message>
    <message>
        <source>There is no output profile to convert to (%1)</source>
        <translation>Es gibt kein Ausgabeprofil für die Konvertierung (%1)</translation>
    </message>
    <message>
        <source>Please select one first</source>
        <translation>Bitte wählen Sie zuerst einen Titel</translation>
    </message>
    <message>
        <source>Invalid output directory</source>
        <translation>Ungültiger Ausgabeordner</translation>
    </message>
</context>
<context>
    <name>editor</name>
    <message>
        <source>Keep Original</source>
        <translation>Original behalten</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>Vollbild</translation>
    </message>
</context>
<context>
    <name>ending</name>
    <message>
        <source>The reasons are listed below.</source>
        <translation>Die Gründe stehen unten.</translation>
    </message>
    <message>
        <source>Conversion cancelled.</source>
        <translation>Konvertierung abgebrochen.</translation>
    </message>
    <message>
        <source>1 file was finished before it.</source>
        <translation>Davor wurde 1 Datei fertig.</translation>
    </message>
    <message>
        <source>%1 files were finished before it.</source>
        <translation>Davor wurden %1 Dateien fertig.</translation>
    </message>
    <message>
        <source>%1 holds what was converted up to the cancel.</source>
        <translation>%1 enthält, was bis zum Abbruch konvertiert wurde.</translation>
    </message>
    <message>
        <source>Conversion completed.</source>
        <translation>Konvertierung abgeschlossen.</translation>
    </message>
    <message>
        <source>The item was converted.</source>
        <translation>Das Element wurde konvertiert.</translation>
    </message>
    <message>
        <source>All %1 items were converted.</source>
        <translation>Alle %1 Elemente wurden konvertiert.</translation>
    </message>
    <message>
        <source>1 warning is listed below.</source>
        <translation>1 Warnung steht unten.</translation>
    </message>
    <message>
        <source>%1 warnings are listed below.</source>
        <translation>%1 Warnungen stehen unten.</translation>
    </message>
    <message>
        <source>The item could not be converted.</source>
        <translation>Das Element konnte nicht konvertiert werden.</translation>
    </message>
    <message>
        <source>None of the %1 items could be converted.</source>
        <translation>Keines der %1 Elemente konnte konvertiert werden.</translation>
    </message>
    <message>
        <source>No file was converted whole.</source>
        <translation>Keine Datei wurde vollständig konvertiert.</translation>
    </message>
    <message>
        <source>%1 of %2 items could not be converted.</source>
        <translation>%1 von %2 Elementen konnten nicht konvertiert werden.</translation>
    </message>
    <message>
        <source>1 item was converted.</source>
        <translation>1 Element wurde konvertiert.</translation>
    </message>
    <message>
        <source>%1 items were converted.</source>
        <translation>%1 Elemente wurden konvertiert.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Converts DVD titles into video files.
The output profiles come from the Format.xml shipped with the program; the environment variable RIZUVIRA_CATALOGUE=FILE names another catalogue.</source>
        <translation>Konvertiert DVD-Titel in Videodateien.
Die Ausgabeprofile stammen aus der mitgelieferten Format.xml; die Umgebungsvariable RIZUVIRA_CATALOGUE=DATEI nennt einen anderen Katalog.</translation>
    </message>
    <message>
        <source>DISC</source>
        <translation>DISC</translation>
    </message>
    <message>
        <source>A drive, a DVD folder, an ISO image or an MPEG file to open at start.</source>
        <translation>Ein Laufwerk, ein DVD-Ordner, ein ISO-Abbild oder eine MPEG-Datei, die beim Start geöffnet wird.</translation>
    </message>
    <message>
        <source>Print the rows of DISC and quit once it is open.</source>
        <translation>Die Zeilen von DISC ausgeben und nach dem Öffnen beenden.</translation>
    </message>
</context>
<context>
    <name>preferences</name>
    <message>
        <source>No Action</source>
        <translation>Keine Aktion</translation>
    </message>
    <message>
        <source>Shut Down</source>
        <translation>Herunterfahren</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Deutsch</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
</context>
<context>
    <name>properties</name>
    <message>
        <source>Channel Mono</source>
        <translation>Kanal Mono</translation>
    </message>
    <message>
        <source>Channels Stereo</source>
        <translation>Kanäle Stereo</translation>
    </message>
</context>
<context>
    <name>queue</name>
    <message>
        <source>+ %1 more</source>
        <translation>+ %1 weitere</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
</context>
<context>
    <name>settings</name>
    <message>
        <source>The "Encoder" stands for video codec,force the video codec to convert media files to that format</source>
        <translation>Der „Encoder“ ist der Video-Codec: Die Dateien werden in diesem Format geschrieben</translation>
    </message>
    <message>
        <source>Same as source</source>
        <translation>Wie die Quelle</translation>
    </message>
</context>
<context>
    <name>shutdown</name>
    <message>
        <source>The computer shuts down in 1 second.</source>
        <translation>Der Computer wird in 1 Sekunde heruntergefahren.</translation>
    </message>
    <message>
        <source>The computer shuts down in %1 seconds.</source>
        <translation>Der Computer wird in %1 Sekunden heruntergefahren.</translation>
    </message>
</context>
<context>
    <name>skin</name>
    <message>
        <source>Add File</source>
        <translation>Datei hinzufügen</translation>
    </message>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Crop</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <source>Trim</source>
        <translation>Kürzen</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Anpassen</translation>
    </message>
    <message>
        <source>Browse..</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Clip</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>Add to Queue</source>
        <translation>Einreihen</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Runter</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Clear Ended</source>
        <translation>Aufräumen</translation>
    </message>
    <message>
        <source>Start Queue</source>
        <translation>Alle starten</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>Konvertierung läuft</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Converts the titles of a DVD into files for every player, to the frame.</source>
        <translation>Konvertiert die Titel einer DVD bildgenau in Dateien für jedes Abspielgerät.</translation>
    </message>
    <message>
        <source>Conversion</source>
        <translation>Konvertierung</translation>
    </message>
    <message>
        <source>Getting started</source>
        <translation>Erste Schritte</translation>
    </message>
    <message>
        <source>Load a DVD with Add File: a disc in a drive,</source>
        <translation>Laden Sie eine DVD mit „Datei hinzufügen“:</translation>
    </message>
    <message>
        <source>a DVD folder or an ISO image, or drop one here.</source>
        <translation>Disc, DVD-Ordner oder ISO-Abbild, oder hierher ziehen.</translation>
    </message>
    <message>
        <source>Tick the titles, choose a profile, press Start.</source>
        <translation>Titel wählen, Profil wählen, Start drücken.</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Shut Down</source>
        <translation>Herunterfahren</translation>
    </message>
    <message>
        <source>Activity Log</source>
        <translation>Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Conversion Options</source>
        <translation>Konvertierungsoptionen</translation>
    </message>
</context>
<context>
    <name>splash</name>
    <message>
        <source>Version %1 · Loading…</source>
        <translation>Version %1 · Wird geladen…</translation>
    </message>
</context>
</TS>
