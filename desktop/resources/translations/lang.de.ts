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
    <name>ActivateMemory</name>
    <message>
        <source>Security Activation</source>
        <translation>Sicherheitsaktivierung</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Do you want to activate the security (encryption) of the connected %2 %1?&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Important notice: if you continue, this will DELETE all data that is currently saved on the memory device. Please &lt;span style=&quot; font-weight:600;&quot;&gt;backup all data&lt;/span&gt; that is still needed.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;
</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Möchten Sie die Sicherheit (Verschlüsselung) der angeschlossenen %2 %1 aktivieren?&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Wichtiger Hinweis: Wenn Sie fortfahren, werden alle Daten GELÖSCHT, die derzeit auf dem Speichermedium liegen. Bitte &lt;span style=&quot; font-weight:600;&quot;&gt;sichern Sie alle Daten&lt;/span&gt;, die Sie noch benötigen.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;
</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Configure your PIN for the %1&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Important: you need the PIN to read the data that is stored on the %1. If the PIN is lost, the data can not be recovered anymore and the %1 will be unusable.&lt;/p&gt;&lt;p&gt;Please &lt;span style=&quot; font-weight:600;&quot;&gt;take good note of this value&lt;/span&gt; and store it in a safe place.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Legen Sie Ihre PIN für die %1 fest&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Wichtig: Sie brauchen die PIN, um die Daten auf der %1 zu lesen. Geht die PIN verloren, lassen sich die Daten nicht mehr wiederherstellen und die %1 ist unbrauchbar.&lt;/p&gt;&lt;p&gt;Bitte &lt;span style=&quot; font-weight:600;&quot;&gt;notieren Sie diesen Wert sorgfältig&lt;/span&gt; und bewahren Sie ihn an einem sicheren Ort auf.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>Re-Enter PIN</source>
        <translation>PIN wiederholen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;You can optionally add a separate Admin user for more granular security settings: if there is an Admin user, only the Admin can delete data from the device or restore it to the factory default. Also, the Admin PIN can be used to unblock the regular user PIN in case it has been lost or forgotten.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Optional können Sie einen eigenen Admin-Benutzer für feinere Sicherheitseinstellungen anlegen: Gibt es einen Admin-Benutzer, kann nur der Admin Daten vom Gerät löschen oder es auf die Werkseinstellungen zurücksetzen. Außerdem entsperrt die Admin-PIN die normale Benutzer-PIN, falls diese verloren oder vergessen wurde.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Add Admin User</source>
        <translation>Admin-Benutzer hinzufügen</translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation>Admin-PIN</translation>
    </message>
    <message>
        <source>Re-Enter Admin PIN</source>
        <translation>Admin-PIN wiederholen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Security successfully activated&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Please unplug the %1 now.&lt;br/&gt;Then, insert it into the target device (e.g. a camera) and start to use it like a regular storage device.&lt;/p&gt;&lt;p&gt;All recorded data will be encrypted automatically and can only be read back using this application by providing the correct PIN.&lt;/p&gt;&lt;p&gt;This dialog will close automatically after the device has been removed.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Sicherheit erfolgreich aktiviert&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Bitte trennen Sie die %1 jetzt vom Computer.&lt;br/&gt;Setzen Sie sie dann in das Zielgerät (z. B. eine Kamera) ein und verwenden Sie sie wie ein normales Speichermedium.&lt;/p&gt;&lt;p&gt;Alle aufgezeichneten Daten werden automatisch verschlüsselt und lassen sich nur mit dieser Anwendung und der richtigen PIN wieder lesen.&lt;/p&gt;&lt;p&gt;Dieser Dialog schließt sich automatisch, sobald das Gerät entfernt wurde.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>Aktivieren</translation>
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
    <name>ChangeAdminPin</name>
    <message>
        <source>Change PIN</source>
        <translation>PIN ändern</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Change Admin PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to change the Admin PIN you have to provide the old and the new Admin PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Admin-PIN ändern für %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Um die Admin-PIN zu ändern, geben Sie die alte und die neue Admin-PIN ein.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Old Admin PIN</source>
        <translation>Alte Admin-PIN</translation>
    </message>
    <message>
        <source>New Admin PIN</source>
        <translation>Neue Admin-PIN</translation>
    </message>
    <message>
        <source>Re-Enter new Admin PIN</source>
        <translation>Neue Admin-PIN wiederholen</translation>
    </message>
    <message>
        <source>Change Admin PIN</source>
        <translation>Admin-PIN ändern</translation>
    </message>
    <message>
        <source>Admin PIN change status</source>
        <translation>Status der Admin-PIN-Änderung</translation>
    </message>
    <message>
        <source>Admin PIN changed successfully!</source>
        <translation>Admin-PIN erfolgreich geändert!</translation>
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
    <name>ChangePin</name>
    <message>
        <source>Change PIN</source>
        <translation>PIN ändern</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Change PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to change the PIN you have to provide the old and the new PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;PIN ändern für %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Um die PIN zu ändern, geben Sie die alte und die neue PIN ein.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Old PIN</source>
        <translation>Alte PIN</translation>
    </message>
    <message>
        <source>New PIN</source>
        <translation>Neue PIN</translation>
    </message>
    <message>
        <source>Re-Enter new PIN</source>
        <translation>Neue PIN wiederholen</translation>
    </message>
    <message>
        <source>PIN change status</source>
        <translation>Status der PIN-Änderung</translation>
    </message>
    <message>
        <source>PIN changed successfully!</source>
        <translation>PIN erfolgreich geändert!</translation>
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
    <message>
        <source>Your PIN was changed, but the Admin PIN that goes with it could not be changed (%1).

Log in and wipe the card with your new PIN. A factory reset still needs your old PIN: keep a note of it.</source>
        <translation>Ihre PIN wurde geändert, aber die zugehörige Admin-PIN konnte nicht geändert werden (%1).

Melden Sie sich mit Ihrer neuen PIN an und löschen Sie die Karte mit ihr. Zum Zurücksetzen auf die Werkseinstellungen brauchen Sie weiterhin Ihre alte PIN: Notieren Sie sie.</translation>
    </message>
</context>
<context>
    <name>DeviceInfoDialog</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Device Information for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Geräteinformationen für %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head&gt;&lt;style&gt; td { padding-right: 10px; } &lt;/style&gt;&lt;/head&gt;&lt;body&gt;&lt;div&gt;&lt;table&gt;&lt;tr&gt;&lt;td&gt;Serial Number:&lt;/td&gt;&lt;td&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Firmware Version:&lt;/td&gt;&lt;td&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;System State:&lt;/td&gt;&lt;td&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%4:&lt;/td&gt;&lt;td&gt;%5&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%6:&lt;/td&gt;&lt;td&gt;%7&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Security Flags:&lt;/td&gt;&lt;td&gt;%8&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Incompatibility Flag:&lt;/td&gt;&lt;td&gt;0x%9&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/div&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head&gt;&lt;style&gt; td { padding-right: 10px; } &lt;/style&gt;&lt;/head&gt;&lt;body&gt;&lt;div&gt;&lt;table&gt;&lt;tr&gt;&lt;td&gt;Seriennummer:&lt;/td&gt;&lt;td&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Firmware-Version:&lt;/td&gt;&lt;td&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Systemzustand:&lt;/td&gt;&lt;td&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%4:&lt;/td&gt;&lt;td&gt;%5&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%6:&lt;/td&gt;&lt;td&gt;%7&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Sicherheits-Flags:&lt;/td&gt;&lt;td&gt;%8&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Inkompatibilitäts-Flag:&lt;/td&gt;&lt;td&gt;0x%9&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/div&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PIN Retry Counter</source>
        <translation>Verbleibende PIN-Versuche</translation>
    </message>
    <message>
        <source>Login Retry Counter</source>
        <translation>Verbleibende Anmeldeversuche</translation>
    </message>
    <message>
        <source>Admin PIN Retry Counter</source>
        <translation>Verbleibende Admin-PIN-Versuche</translation>
    </message>
    <message>
        <source>Factory Reset Retry Counter</source>
        <translation>Verbleibende Versuche zum Zurücksetzen</translation>
    </message>
</context>
<context>
    <name>Download</name>
    <message>
        <source>Download Files</source>
        <translation>Dateien herunterladen</translation>
    </message>
    <message>
        <source>Backup folder:</source>
        <translation>Sicherungsordner:</translation>
    </message>
    <message>
        <source>Select...</source>
        <translation>Auswählen...</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your PIN&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Downloading the files requires entering the PIN to confirm that the files will be deleted from the %1 after the download has been completed successfully.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Geben Sie Ihre PIN ein&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Zum Herunterladen der Dateien ist die PIN erforderlich. Sie bestätigt, dass die Dateien nach dem erfolgreichen Herunterladen von der %1 gelöscht werden.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Downloading...&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Wird heruntergeladen...&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Important: Do not unplug the %1!</source>
        <translation>Wichtig: Entfernen Sie die %1 nicht!</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Process finished with errors&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;The following errors were detected while backing up the data:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Vorgang mit Fehlern beendet&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Beim Sichern der Daten sind folgende Fehler aufgetreten:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Complete&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/check_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Herunterladen abgeschlossen&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/check_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Open download folder</source>
        <translation>Download-Ordner öffnen</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Select Your Backup Folder&lt;/span&gt;&lt;/p&gt;&lt;p&gt;All data on your %1 will be copied to timestamped subdirectories in the folder given below.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Wählen Sie Ihren Sicherungsordner&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Alle Daten Ihrer %1 werden in Unterordner mit Zeitstempel im unten angegebenen Ordner kopiert.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Canceled&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot; /&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;Download was canceled.&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Herunterladen abgebrochen&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot; /&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;Das Herunterladen wurde abgebrochen.&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>File Conflict</source>
        <translation>Dateikonflikt</translation>
    </message>
    <message>
        <source>The file %1 already exists. Do you want to overwrite it?</source>
        <translation>Die Datei %1 ist bereits vorhanden. Möchten Sie sie überschreiben?</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>Überschreiben</translation>
    </message>
    <message>
        <source>Apply this action to all files</source>
        <translation>Diese Aktion auf alle Dateien anwenden</translation>
    </message>
    <message>
        <source>Merge Folder</source>
        <translation>Ordner zusammenführen</translation>
    </message>
    <message>
        <source>The folder %1 already exists. Do you want to merge the new folder with the existing folder? Merging will add any missing files to the existing folder and ask for confirmation before replacing any conflicting files.</source>
        <translation>Der Ordner %1 ist bereits vorhanden. Möchten Sie den neuen Ordner mit dem vorhandenen Ordner zusammenführen? Dabei werden fehlende Dateien zum vorhandenen Ordner hinzugefügt; vor dem Ersetzen einer abweichenden Datei wird nachgefragt.</translation>
    </message>
    <message>
        <source>Merge</source>
        <translation>Zusammenführen</translation>
    </message>
    <message>
        <source>Apply this action to all folders</source>
        <translation>Diese Aktion auf alle Ordner anwenden</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Cancel Download</source>
        <translation>Herunterladen abbrechen</translation>
    </message>
    <message>
        <source>Second copy:</source>
        <translation>Zweite Kopie:</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Open second copy</source>
        <translation>Zweite Kopie öffnen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Complete, with Warnings&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Herunterladen abgeschlossen, mit Warnungen&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Open Download Folder</source>
        <translation>Download-Ordner öffnen</translation>
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
    <message>
        <source>The backup was stopped.</source>
        <translation>Die Sicherung wurde angehalten.</translation>
    </message>
    <message>
        <source>Backup in %1 - sessions: %2, files: %3, size: %4.</source>
        <translation>Sicherung in %1 - Sitzungen: %2, Dateien: %3, Größe: %4.</translation>
    </message>
    <message>
        <source>Every copy was read back from the disk and matches the card.</source>
        <translation>Jede Kopie wurde vom Datenträger zurückgelesen und stimmt mit der Karte überein.</translation>
    </message>
    <message>
        <source>Warning: files kept although they differ from the card's: %1. They are not in the checksum list; the record vix-backup.txt of their session names them.</source>
        <translation>Warnung: beibehaltene Dateien, die von denen der Karte abweichen: %1. Sie stehen nicht in der Prüfsummenliste; das Protokoll vix-backup.txt ihrer Sitzung nennt sie.</translation>
    </message>
    <message>
        <source>Warning: files of the card missing from folders you chose to keep: %1. Their sessions are marked incomplete.</source>
        <translation>Warnung: Dateien der Karte, die in den von Ihnen beibehaltenen Ordnern fehlen: %1. Ihre Sitzungen sind als unvollständig markiert.</translation>
    </message>
    <message>
        <source>The card was removed during the backup.</source>
        <translation>Die Karte wurde während der Sicherung entfernt.</translation>
    </message>
    <message>
        <source>The card could not be read; it may have been removed or stopped answering.</source>
        <translation>Die Karte konnte nicht gelesen werden; sie wurde vielleicht entfernt oder antwortet nicht mehr.</translation>
    </message>
    <message>
        <source>The drive of the backup folder %1 has too little free space.</source>
        <translation>Auf dem Laufwerk des Sicherungsordners %1 ist zu wenig Platz frei.</translation>
    </message>
    <message>
        <source>The drive of the backup folder %1 is read-only.</source>
        <translation>Das Laufwerk des Sicherungsordners %1 ist schreibgeschützt.</translation>
    </message>
    <message>
        <source>You may not write into the backup folder %1.</source>
        <translation>Sie dürfen nicht in den Sicherungsordner %1 schreiben.</translation>
    </message>
    <message>
        <source>The backup folder %1 can no longer be written; its drive may have been removed or unplugged.</source>
        <translation>In den Sicherungsordner %1 kann nicht mehr geschrieben werden; sein Laufwerk wurde vielleicht entfernt oder abgezogen.</translation>
    </message>
    <message>
        <source>The backup folder %1 could not be written.</source>
        <translation>In den Sicherungsordner %1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>No session was completed in this run.</source>
        <translation>In diesem Lauf wurde keine Sitzung abgeschlossen.</translation>
    </message>
    <message>
        <source>Complete and proven: %1.</source>
        <translation>Vollständig und geprüft: %1.</translation>
    </message>
    <message>
        <source>The session folder %1 is incomplete and marked so in its record.</source>
        <translation>Der Sitzungsordner %1 ist unvollständig und in seinem Protokoll so markiert.</translation>
    </message>
    <message>
        <source>In %1: </source>
        <translation>In %1: </translation>
    </message>
    <message>
        <source>The backup is incomplete.</source>
        <translation>Die Sicherung ist unvollständig.</translation>
    </message>
</context>
<context>
    <name>FactoryResetDialog</name>
    <message>
        <source>Factory Reset</source>
        <translation>Werkseinstellungen</translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation>Admin-PIN</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Factory Reset for %2 [%1]&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;A factory reset will wipe all data that is currently stored on the %2 and replace it with an empty file system. After the factory reset, the %2 will behave like a reguar storage device with no Data Protection features being active.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;The %3 is required to perform a factory reset. If you forgot your %3, please be aware that there is no way to recover the stored data and that the %2 will be unusable.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Warning: all data that is currently stored on the %2 &lt;span style=&quot; font-weight:600;&quot;&gt;will be deleted&lt;/span&gt; during the reset. Ensure that all data has been backed up before resetting the device.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Werkseinstellungen für %2 [%1]&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Das Zurücksetzen auf die Werkseinstellungen löscht alle Daten auf der %2 und ersetzt sie durch ein leeres Dateisystem. Danach verhält sich die %2 wie ein normales Speichermedium ohne aktive Datenschutzfunktionen.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Zum Zurücksetzen ist die %3 erforderlich. Wenn Sie Ihre %3 vergessen haben, lassen sich die gespeicherten Daten nicht wiederherstellen und die %2 ist unbrauchbar.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Warnung: Alle Daten auf der %2 &lt;span style=&quot; font-weight:600;&quot;&gt;werden&lt;/span&gt; beim Zurücksetzen &lt;span style=&quot; font-weight:600;&quot;&gt;gelöscht&lt;/span&gt;. Sichern Sie alle Daten, bevor Sie das Gerät zurücksetzen.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Factory Reset Success</source>
        <translation>Zurücksetzen erfolgreich</translation>
    </message>
    <message>
        <source>Successfully reset %1.</source>
        <translation>%1 erfolgreich zurückgesetzt.</translation>
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
    <name>Login</name>
    <message>
        <source>Login</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your PIN to unlock the %1&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Geben Sie Ihre PIN ein, um die %1 zu entsperren&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Login Successful&lt;/span&gt;&lt;/p&gt;&lt;p&gt;The %1 is now available in read-only mode.&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Attention:&lt;/span&gt; Even though the device may appear writeable, all changes will be reverted after power-cycling the %1.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Anmeldung erfolgreich&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Die %1 ist jetzt schreibgeschützt verfügbar.&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Achtung:&lt;/span&gt; Auch wenn das Gerät beschreibbar erscheint, werden alle Änderungen zurückgenommen, sobald die %1 vom Strom getrennt wird.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>MainViewModel</name>
    <message>
        <source>The card %1 was made read-only. It may hold an unclosed recording, which was kept and can be backed up.</source>
        <translation>Die Karte %1 wurde schreibgeschützt. Sie enthält möglicherweise eine nicht abgeschlossene Aufnahme; diese wurde behalten und kann gesichert werden.</translation>
    </message>
    <message>
        <source>The card %1 was made read-only. It holds an unclosed recording of %2, which was kept and can be backed up.</source>
        <translation>Die Karte %1 wurde schreibgeschützt. Sie enthält eine nicht abgeschlossene Aufnahme von %2; diese wurde behalten und kann gesichert werden.</translation>
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
    <message>
        <source>Backup</source>
        <translation>Sicherung</translation>
    </message>
    <message>
        <source>Verify Backup...</source>
        <translation>Sicherung prüfen...</translation>
    </message>
    <message>
        <source>Choose a Card&apos;s Backup Folder or One Session Folder</source>
        <translation>Sicherungsordner einer Karte oder einen Sitzungsordner wählen</translation>
    </message>
</context>
<context>
    <name>OperationDialog</name>
    <message>
        <source>The card has just refused this PIN, so it was not sent again. Please type the PIN anew.</source>
        <translation>Die Karte hat diese PIN gerade abgelehnt, daher wurde sie nicht erneut gesendet. Bitte geben Sie die PIN neu ein.</translation>
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
    <message>
        <source>Another program is using the %1. Nothing was sent to the card. Please close that program and try again.</source>
        <translation>Ein anderes Programm verwendet die %1. Es wurde nichts an die Karte gesendet. Bitte schließen Sie dieses Programm und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>The card file %1 has a name the backup keeps for its checksums. Please rename it on the card.</source>
        <translation>Die Datei %1 auf der Karte trägt einen Namen, den die Sicherung für ihre Prüfsummen verwendet. Bitte benennen Sie sie auf der Karte um.</translation>
    </message>
    <message>
        <source>Could not read back %1.</source>
        <translation>%1 konnte nicht zurückgelesen werden.</translation>
    </message>
    <message>
        <source>The copy %1 on the disk differs from the data read from the card.</source>
        <translation>Die Kopie %1 auf dem Datenträger weicht von den von der Karte gelesenen Daten ab.</translation>
    </message>
    <message>
        <source>Not enough free space in %1: the backup needs %2, but only %3 are free. Nothing was written.</source>
        <translation>Nicht genug freier Platz in %1: Die Sicherung braucht %2, aber nur %3 sind frei. Es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>The folders %1 and %2 for the two copies are the same or one lies inside the other. Please choose two separate folders.</source>
        <translation>Die Ordner %1 und %2 für die beiden Kopien sind derselbe, oder einer liegt im anderen. Bitte wählen Sie zwei getrennte Ordner.</translation>
    </message>
    <message>
        <source>No program to show folders is set up on this desktop. Open this folder with your file manager:
%1</source>
        <translation>Auf diesem Desktop ist kein Programm zum Anzeigen von Ordnern eingerichtet. Öffnen Sie diesen Ordner mit Ihrem Dateimanager:
%1</translation>
    </message>
</context>
<context>
    <name>SessionViewer</name>
    <message>
        <source>View Files</source>
        <translation>Dateien anzeigen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Sessions on %1&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Sitzungen auf der %1&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>There are no recorded sessions. Please insert the %1 into your recording device and take some pictures and/or videos.</source>
        <translation>Es gibt keine aufgezeichneten Sitzungen. Bitte setzen Sie die %1 in Ihr Aufnahmegerät ein und nehmen Sie einige Bilder und/oder Videos auf.</translation>
    </message>
    <message>
        <source>Session ID</source>
        <translation>Sitzungs-ID</translation>
    </message>
    <message>
        <source>Session Date</source>
        <translation>Sitzungsdatum</translation>
    </message>
    <message>
        <source>Session Size</source>
        <translation>Sitzungsgröße</translation>
    </message>
    <message>
        <source>Open Session</source>
        <translation>Sitzung öffnen</translation>
    </message>
    <message>
        <source>Error Opening the Device</source>
        <translation>Fehler beim Öffnen des Geräts</translation>
    </message>
    <message>
        <source>Failed to open %1</source>
        <translation>%1 konnte nicht geöffnet werden</translation>
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
    <name>UnblockPin</name>
    <message>
        <source>Unblock PIN</source>
        <translation>PIN entsperren</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Unblock PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to unblock the PIN you have to provide the Admin PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;PIN entsperren für %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Um die PIN zu entsperren, geben Sie die Admin-PIN ein.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation>Admin-PIN</translation>
    </message>
    <message>
        <source>New PIN</source>
        <translation>Neue PIN</translation>
    </message>
    <message>
        <source>Re-Enter new PIN</source>
        <translation>Neue PIN wiederholen</translation>
    </message>
    <message>
        <source>Unblock PIN status</source>
        <translation>Status der PIN-Entsperrung</translation>
    </message>
    <message>
        <source>PIN unblocked successfully!</source>
        <translation>PIN erfolgreich entsperrt!</translation>
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
    <name>VerifyBackup</name>
    <message>
        <source>Verify Backup</source>
        <translation>Sicherung prüfen</translation>
    </message>
    <message>
        <source>Checking every file of the backup in %1 against its checksum list...</source>
        <translation>Jede Datei der Sicherung in %1 wird mit ihrer Prüfsummenliste verglichen...</translation>
    </message>
    <message>
        <source>Administrators can run the same check with standard tools only; it ends with a non-zero exit status on any difference or incomplete session:</source>
        <translation>Administratoren können dieselbe Prüfung nur mit Standardwerkzeugen ausführen; sie endet bei jeder Abweichung oder unvollständigen Sitzung mit einem Exit-Status ungleich null:</translation>
    </message>
    <message numerus="yes">
        <source>Every file matches: all %n file(s) are as the card gave them.</source>
        <translation>
            <numerusform>Alles stimmt überein: die %n Datei ist so, wie die Karte sie geliefert hat.</numerusform>
            <numerusform>Alles stimmt überein: alle %n Dateien sind so, wie die Karte sie geliefert hat.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The backup differs from what was saved (%n file(s) checked):</source>
        <translation>
            <numerusform>Die Sicherung weicht vom Gespeicherten ab (%n Datei geprüft):</numerusform>
            <numerusform>Die Sicherung weicht vom Gespeicherten ab (%n Dateien geprüft):</numerusform>
        </translation>
    </message>
    <message>
        <source>Changed files</source>
        <translation>Geänderte Dateien</translation>
    </message>
    <message>
        <source>Missing files</source>
        <translation>Fehlende Dateien</translation>
    </message>
    <message>
        <source>Files not in the checksum list</source>
        <translation>Dateien, die nicht in der Prüfsummenliste stehen</translation>
    </message>
    <message>
        <source>Incomplete sessions</source>
        <translation>Unvollständige Sitzungen</translation>
    </message>
    <message>
        <source>The check was canceled: nothing is proven.</source>
        <translation>Die Prüfung wurde abgebrochen: nichts ist bewiesen.</translation>
    </message>
    <message>
        <source>This folder holds no backup. Choose a card&apos;s backup folder or one of its session folders.</source>
        <translation>Dieser Ordner enthält keine Sicherung. Wählen Sie den Sicherungsordner einer Karte oder einen ihrer Sitzungsordner.</translation>
    </message>
</context>
<context>
    <name>WipeDevice</name>
    <message>
        <source>Wipe Device</source>
        <translation>Gerät löschen</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your %1&lt;/span&gt;&lt;/p&gt;&lt;p&gt;All data that is currently stored on the %3 [%2] &lt;span style=&quot; font-weight:600;&quot;&gt;will be deleted&lt;/span&gt; and replaced with an empty file system. Ensure that all data has been backed up before wiping the device. Entering the %1 is required to confirm that all data will be deleted.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Geben Sie Ihre %1 ein&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Alle Daten auf der %3 [%2] &lt;span style=&quot; font-weight:600;&quot;&gt;werden gelöscht&lt;/span&gt; und durch ein leeres Dateisystem ersetzt. Sichern Sie alle Daten, bevor Sie das Gerät löschen. Mit der Eingabe der %1 bestätigen Sie, dass alle Daten gelöscht werden.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation>Admin-PIN</translation>
    </message>
    <message>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <source>Wipe Device Success</source>
        <translation>Löschen erfolgreich</translation>
    </message>
    <message>
        <source>Successfully wiped %1.</source>
        <translation>%1 erfolgreich gelöscht.</translation>
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
