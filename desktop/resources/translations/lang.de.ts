<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>About</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;%1&lt;br/&gt;Version: %2&lt;br/&gt;Homepage: &lt;a href=&quot;%3&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#007af4;&quot;&gt;%3&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;%1&lt;br/&gt;Version: %2&lt;br/&gt;Webseite: &lt;a href=&quot;%3&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#007af4;&quot;&gt;%3&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Licence agreement for the %1 (%2)&lt;/h3&gt;&lt;p&gt;This licence agreement is between you and %6 (&quot;%5&quot;). By installing or using the %1 (the &quot;Software&quot;) you accept it. If you do not accept it, do not use the Software.&lt;/p&gt;&lt;p&gt;&lt;b&gt;1. Licence.&lt;/b&gt; %5 grants you a free, non-exclusive, non-transferable licence to use the Software on any number of your computers, solely to operate your %3 (&quot;%4&quot;).&lt;/p&gt;&lt;p&gt;&lt;b&gt;2. Restrictions.&lt;/b&gt; You may not sell, rent or sublicense the Software, and you may not remove notices of ownership from it.&lt;/p&gt;&lt;p&gt;&lt;b&gt;3. Your data.&lt;/b&gt; The %4 protects your recordings with a PIN. Keep your PIN and Admin PIN safe: neither %5 nor the Software can recover data from a card whose PIN is lost. Always keep a backup of important recordings.&lt;/p&gt;&lt;p&gt;&lt;b&gt;4. No warranty.&lt;/b&gt; The Software is provided &quot;as is&quot;, without warranty of any kind, to the extent permitted by law.&lt;/p&gt;&lt;p&gt;&lt;b&gt;5. Limitation of liability.&lt;/b&gt; %5 is liable only for intent and gross negligence, and for injury to life, body or health; liability under mandatory product liability law remains unaffected.&lt;/p&gt;&lt;p&gt;&lt;b&gt;6. Governing law.&lt;/b&gt; This agreement is governed by the laws of the Federal Republic of Germany.&lt;/p&gt;&lt;p&gt;%7&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Lizenzvereinbarung für das %1 (%2)&lt;/h3&gt;&lt;p&gt;Diese Lizenzvereinbarung wird zwischen Ihnen und der %6 („%5“) geschlossen. Mit der Installation oder Nutzung des %1 (die „Software“) nehmen Sie sie an. Wenn Sie sie nicht annehmen, verwenden Sie die Software nicht.&lt;/p&gt;&lt;p&gt;&lt;b&gt;1. Lizenz.&lt;/b&gt; %5 gewährt Ihnen eine unentgeltliche, nicht ausschließliche, nicht übertragbare Lizenz, die Software auf beliebig vielen Ihrer Computer zu verwenden, ausschließlich um Ihre %3 („%4“) zu bedienen.&lt;/p&gt;&lt;p&gt;&lt;b&gt;2. Einschränkungen.&lt;/b&gt; Sie dürfen die Software nicht verkaufen, vermieten oder unterlizenzieren und keine Eigentumshinweise aus ihr entfernen.&lt;/p&gt;&lt;p&gt;&lt;b&gt;3. Ihre Daten.&lt;/b&gt; Die %4 schützt Ihre Aufnahmen mit einer PIN. Bewahren Sie Ihre PIN und Ihre Admin-PIN sicher auf: Weder %5 noch die Software können Daten einer Karte wiederherstellen, deren PIN verloren ist. Sichern Sie wichtige Aufnahmen immer.&lt;/p&gt;&lt;p&gt;&lt;b&gt;4. Keine Gewährleistung.&lt;/b&gt; Die Software wird, soweit gesetzlich zulässig, „wie besehen“ und ohne jede Gewährleistung bereitgestellt.&lt;/p&gt;&lt;p&gt;&lt;b&gt;5. Haftungsbeschränkung.&lt;/b&gt; %5 haftet nur für Vorsatz und grobe Fahrlässigkeit sowie für Schäden aus der Verletzung des Lebens, des Körpers oder der Gesundheit; die Haftung nach zwingendem Produkthaftungsrecht bleibt unberührt.&lt;/p&gt;&lt;p&gt;&lt;b&gt;6. Anwendbares Recht.&lt;/b&gt; Diese Vereinbarung unterliegt dem Recht der Bundesrepublik Deutschland.&lt;/p&gt;&lt;p&gt;%7&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>ActivateMemoryViewModel</name>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation>Die PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation>Die PIN und die wiederholte PIN stimmen nicht überein</translation>
    </message>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation>Die Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>Admin PIN &amp; re-entered Admin PIN do not match</source>
        <translation>Die Admin-PIN und die wiederholte Admin-PIN stimmen nicht überein</translation>
    </message>
</context>
<context>
    <name>ChangeAdminPinViewModel</name>
    <message>
        <source>Old Admin PIN must be 8-20 characters long</source>
        <translation>Die alte Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>New Admin PIN must be 8-20 characters long</source>
        <translation>Die neue Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>Admin PIN &amp; re-entered Admin PIN do not match</source>
        <translation>Die Admin-PIN und die wiederholte Admin-PIN stimmen nicht überein</translation>
    </message>
</context>
<context>
    <name>ChangePinViewModel</name>
    <message>
        <source>Old PIN must be 4-15 characters long</source>
        <translation>Die alte PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
    <message>
        <source>New PIN must be 4-15 characters long</source>
        <translation>Die neue PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation>Die PIN und die wiederholte PIN stimmen nicht überein</translation>
    </message>
</context>
<context>
    <name>DownloadViewModel</name>
    <message>
        <source>No backup folder was chosen. Please select a folder for the backup.</source>
        <translation>Es wurde kein Sicherungsordner gewählt. Bitte wählen Sie einen Ordner für die Sicherung.</translation>
    </message>
    <message>
        <source>Downloading ...</source>
        <translation>Herunterladen ...</translation>
    </message>
    <message>
        <source>Remaining time: calculating...</source>
        <translation>Verbleibende Zeit: wird berechnet...</translation>
    </message>
    <message>
        <source>Remaining time: &lt;%1min</source>
        <translation>Verbleibende Zeit: &lt;%1 min</translation>
    </message>
    <message>
        <source>%1, Elapsed time: %2min %3s, Speed: %4mb/s</source>
        <translation>%1, vergangene Zeit: %2 min %3 s, Geschwindigkeit: %4 MB/s</translation>
    </message>
    <message>
        <source>Important: Do not unplug the device!</source>
        <translation>Wichtig: Entfernen Sie das Gerät nicht!</translation>
    </message>
</context>
<context>
    <name>FactoryResetViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation>Die Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation>Die PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Searching for %1</source>
        <translation>Suche nach %1</translation>
    </message>
    <message>
        <source>No device detected. Please plug in a %1.</source>
        <translation>Kein Gerät gefunden. Bitte stecken Sie eine %1 ein.</translation>
    </message>
    <message>
        <source>All connected %1 devices are READ ONLY. Even though they may appear writable, all changes will be reverted after power-cycling the %1.</source>
        <translation>Alle angeschlossenen %1-Geräte sind SCHREIBGESCHÜTZT. Auch wenn sie beschreibbar erscheinen, werden alle Änderungen rückgängig gemacht, sobald die %1 neu gestartet wird.</translation>
    </message>
    <message>
        <source>%1 State</source>
        <translation>Zustand der %1</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>Aktivieren</translation>
    </message>
    <message>
        <source>View Files</source>
        <translation>Dateien ansehen</translation>
    </message>
    <message>
        <source>Download Files</source>
        <translation>Dateien herunterladen</translation>
    </message>
    <message>
        <source>Wipe Device</source>
        <translation>Gerät löschen</translation>
    </message>
    <message>
        <source>Configure</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Change PIN</source>
        <translation>PIN ändern</translation>
    </message>
    <message>
        <source>Change Admin PIN</source>
        <translation>Admin-PIN ändern</translation>
    </message>
    <message>
        <source>Unblock PIN</source>
        <translation>PIN entsperren</translation>
    </message>
    <message>
        <source>Factory Reset</source>
        <translation>Werkseinstellungen</translation>
    </message>
    <message>
        <source>Device Information</source>
        <translation>Geräteinformationen</translation>
    </message>
    <message>
        <source>Documentation</source>
        <translation>Dokumentation</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>The following devices were detected but are not supported by this application.
Please use the %1 for your %2.</source>
        <translation>Die folgenden Geräte wurden erkannt, werden von dieser Anwendung aber nicht unterstützt.
Bitte verwenden Sie das %1 für Ihre %2.</translation>
    </message>
    <message>
        <source>Security inactive</source>
        <translation>Sicherheit inaktiv</translation>
    </message>
    <message>
        <source>Security active</source>
        <translation>Sicherheit aktiv</translation>
    </message>
    <message>
        <source>Warning: an incompatibility (0x%1) with your recording system has been detected.

Please perform a download for your %2, check the backup for completeness and use a file recovery tool (e.g. PhotoRec) to recover missing data from partially backed-up sessions. Then, wipe your device and resume operation.</source>
        <translation>Warnung: Eine Unverträglichkeit (0x%1) mit Ihrem Aufnahmesystem wurde erkannt.

Bitte laden Sie die Daten Ihrer %2 herunter, prüfen Sie die Sicherung auf Vollständigkeit und stellen Sie fehlende Daten aus teilweise gesicherten Sitzungen mit einem Wiederherstellungsprogramm (z. B. PhotoRec) wieder her. Löschen Sie danach Ihr Gerät und setzen Sie den Betrieb fort.</translation>
    </message>
    <message>
        <source>Selected device status</source>
        <translation>Status des gewählten Geräts</translation>
    </message>
    <message>
        <source>The currently selected device has been removed!</source>
        <translation>Das gewählte Gerät wurde entfernt!</translation>
    </message>
    <message>
        <source>Error Opening the Documentation</source>
        <translation>Fehler beim Öffnen der Dokumentation</translation>
    </message>
    <message>
        <source>Failed to open %1</source>
        <translation>%1 konnte nicht geöffnet werden</translation>
    </message>
</context>
<context>
    <name>QCoreApplication</name>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>A new version of %2 is available. Please visit &lt;a href=&apos;%1&apos;&gt;%1&lt;/a&gt; to download the latest version.</source>
        <translation>Eine neue Version von %2 ist verfügbar. Bitte laden Sie die neueste Version unter &lt;a href=&apos;%1&apos;&gt;%1&lt;/a&gt; herunter.</translation>
    </message>
    <message>
        <source>%1 Update</source>
        <translation>%1-Aktualisierung</translation>
    </message>
    <message>
        <source>%1 Update Check Failure</source>
        <translation>%1: Suche nach Aktualisierungen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Platform does not support SSL!
SSL Build Version: %1
SSL Runtime Version: %2</source>
        <translation>Die Plattform unterstützt kein SSL!
SSL-Version beim Übersetzen: %1
SSL-Version zur Laufzeit: %2</translation>
    </message>
    <message>
        <source>The backup folder %1 is on the card itself. Please choose a folder on another drive.</source>
        <translation>Der Sicherungsordner %1 liegt auf der Karte selbst. Bitte wählen Sie einen Ordner auf einem anderen Laufwerk.</translation>
    </message>
    <message>
        <source>Could not write data to %1.</source>
        <translation>Daten konnten nicht nach %1 geschrieben werden.</translation>
    </message>
    <message>
        <source>Could not overwrite %1.</source>
        <translation>%1 konnte nicht überschrieben werden.</translation>
    </message>
    <message>
        <source>Could not copy to %1.</source>
        <translation>Kopieren nach %1 nicht möglich.</translation>
    </message>
    <message>
        <source>Could not create directory %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not change the modification date of directory %1.</source>
        <translation>Das Änderungsdatum des Ordners %1 konnte nicht gesetzt werden.</translation>
    </message>
    <message>
        <source>Could not find the content of the card. Please check that it is mounted.</source>
        <translation>Der Inhalt der Karte wurde nicht gefunden. Bitte prüfen Sie, ob sie eingehängt ist.</translation>
    </message>
    <message>
        <source>Could not open %1.</source>
        <translation>%1 konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Could not read %1.</source>
        <translation>%1 konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Memory device is encrypted, cannot copy data</source>
        <translation>Das Speichergerät ist verschlüsselt, die Daten können nicht kopiert werden</translation>
    </message>
    <message>
        <source>Could not set the file time of %1.</source>
        <translation>Die Dateizeit von %1 konnte nicht gesetzt werden.</translation>
    </message>
    <message>
        <source>Could not find %1.</source>
        <translation>%1 wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Wrong Admin PIN, remaining retries: %1</source>
        <translation>Falsche Admin-PIN, verbleibende Versuche: %1</translation>
    </message>
    <message>
        <source>Wrong PIN, remaining retries: %1</source>
        <translation>Falsche PIN, verbleibende Versuche: %1</translation>
    </message>
    <message>
        <source>Wrong Admin PIN</source>
        <translation>Falsche Admin-PIN</translation>
    </message>
    <message>
        <source>Wrong PIN</source>
        <translation>Falsche PIN</translation>
    </message>
    <message>
        <source>Failed to login, Admin PIN retry counter exceeded!</source>
        <translation>Anmeldung fehlgeschlagen, der Fehlbedienungszähler der Admin-PIN ist abgelaufen!</translation>
    </message>
    <message>
        <source>Failed to login, PIN retry counter exceeded!</source>
        <translation>Anmeldung fehlgeschlagen, der Fehlbedienungszähler der PIN ist abgelaufen!</translation>
    </message>
    <message>
        <source>Admin PIN was entered incorrectly too many times. Retry counter exceeded!</source>
        <translation>Die Admin-PIN wurde zu oft falsch eingegeben. Der Fehlbedienungszähler ist abgelaufen!</translation>
    </message>
    <message>
        <source>PIN was entered incorrectly too many times. Retry counter exceeded!</source>
        <translation>Die PIN wurde zu oft falsch eingegeben. Der Fehlbedienungszähler ist abgelaufen!</translation>
    </message>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation>Die Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation>Die PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
    <message>
        <source>Invalid File System. Please format the %1 with a valid FAT32 or exFAT file system.</source>
        <translation>Ungültiges Dateisystem. Bitte formatieren Sie die %1 mit einem gültigen FAT32- oder exFAT-Dateisystem.</translation>
    </message>
    <message>
        <source>Failed to refresh the card content. This can happen if other applications are using the card at the same time. Please remove the %1 from your system and plug it back in so that the Operating System can refresh it.</source>
        <translation>Der Inhalt der Karte konnte nicht aufgefrischt werden. Das kann geschehen, wenn andere Anwendungen die Karte gleichzeitig verwenden. Bitte entfernen Sie die %1 und stecken Sie sie wieder ein, damit das Betriebssystem sie neu einlesen kann.</translation>
    </message>
</context>
<context>
    <name>SessionViewerViewModel</name>
    <message>
        <source>The selected session is no longer available</source>
        <translation>Die gewählte Sitzung ist nicht mehr vorhanden</translation>
    </message>
</context>
<context>
    <name>UnblockPinViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation>Die Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>New PIN must be 4-15 characters long</source>
        <translation>Die neue PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation>Die PIN und die wiederholte PIN stimmen nicht überein</translation>
    </message>
</context>
<context>
    <name>WipeDeviceViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation>Die Admin-PIN muss 8 bis 20 Zeichen lang sein</translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation>Die PIN muss 4 bis 15 Zeichen lang sein</translation>
    </message>
</context>
</TS>
