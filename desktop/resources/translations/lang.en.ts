<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>About</name>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;%1&lt;br/&gt;Version: %2&lt;br/&gt;Homepage: &lt;a href=&quot;%3&quot;&gt;&lt;span style=&quot; text-decoration: underline; color:#007af4;&quot;&gt;%3&lt;/span&gt;&lt;/a&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;h3&gt;Licence agreement for the %1 (%2)&lt;/h3&gt;&lt;p&gt;This licence agreement is between you and %6 (&quot;%5&quot;). By installing or using the %1 (the &quot;Software&quot;) you accept it. If you do not accept it, do not use the Software.&lt;/p&gt;&lt;p&gt;&lt;b&gt;1. Licence.&lt;/b&gt; %5 grants you a free, non-exclusive, non-transferable licence to use the Software on any number of your computers, solely to operate your %3 (&quot;%4&quot;).&lt;/p&gt;&lt;p&gt;&lt;b&gt;2. Restrictions.&lt;/b&gt; You may not sell, rent or sublicense the Software, and you may not remove notices of ownership from it.&lt;/p&gt;&lt;p&gt;&lt;b&gt;3. Your data.&lt;/b&gt; The %4 protects your recordings with a PIN. Keep your PIN and Admin PIN safe: neither %5 nor the Software can recover data from a card whose PIN is lost. Always keep a backup of important recordings.&lt;/p&gt;&lt;p&gt;&lt;b&gt;4. No warranty.&lt;/b&gt; The Software is provided &quot;as is&quot;, without warranty of any kind, to the extent permitted by law.&lt;/p&gt;&lt;p&gt;&lt;b&gt;5. Limitation of liability.&lt;/b&gt; %5 is liable only for intent and gross negligence, and for injury to life, body or health; liability under mandatory product liability law remains unaffected.&lt;/p&gt;&lt;p&gt;&lt;b&gt;6. Governing law.&lt;/b&gt; This agreement is governed by the laws of the Federal Republic of Germany.&lt;/p&gt;&lt;p&gt;%7&lt;/p&gt;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ActivateMemory</name>
    <message>
        <source>Security Activation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Do you want to activate the security (encryption) of the connected %2 %1?&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Important notice: if you continue, this will DELETE all data that is currently saved on the memory device. Please &lt;span style=&quot; font-weight:600;&quot;&gt;backup all data&lt;/span&gt; that is still needed.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Configure your PIN for the %1&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Important: you need the PIN to read the data that is stored on the %1. If the PIN is lost, the data can not be recovered anymore and the %1 will be unusable.&lt;/p&gt;&lt;p&gt;Please &lt;span style=&quot; font-weight:600;&quot;&gt;take good note of this value&lt;/span&gt; and store it in a safe place.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-Enter PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;You can optionally add a separate Admin user for more granular security settings: if there is an Admin user, only the Admin can delete data from the device or restore it to the factory default. Also, the Admin PIN can be used to unblock the regular user PIN in case it has been lost or forgotten.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Admin User</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-Enter Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Security successfully activated&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Please unplug the %1 now.&lt;br/&gt;Then, insert it into the target device (e.g. a camera) and start to use it like a regular storage device.&lt;/p&gt;&lt;p&gt;All recorded data will be encrypted automatically and can only be read back using this application by providing the correct PIN.&lt;/p&gt;&lt;p&gt;This dialog will close automatically after the device has been removed.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activate</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ActivateMemoryViewModel</name>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN &amp; re-entered Admin PIN do not match</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChangeAdminPin</name>
    <message>
        <source>Change PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Change Admin PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to change the Admin PIN you have to provide the old and the new Admin PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Old Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-Enter new Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN change status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN changed successfully!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChangeAdminPinViewModel</name>
    <message>
        <source>Old Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN &amp; re-entered Admin PIN do not match</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChangePin</name>
    <message>
        <source>Change PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Change PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to change the PIN you have to provide the old and the new PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Old PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-Enter new PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN change status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN changed successfully!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChangePinViewModel</name>
    <message>
        <source>Old PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your PIN was changed, but the Admin PIN that goes with it could not be changed (%1).

Log in and wipe the card with your new PIN. A factory reset still needs your old PIN: keep a note of it.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceInfoDialog</name>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Device Information for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head&gt;&lt;style&gt; td { padding-right: 10px; } &lt;/style&gt;&lt;/head&gt;&lt;body&gt;&lt;div&gt;&lt;table&gt;&lt;tr&gt;&lt;td&gt;Serial Number:&lt;/td&gt;&lt;td&gt;%1&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Firmware Version:&lt;/td&gt;&lt;td&gt;%2&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;System State:&lt;/td&gt;&lt;td&gt;%3&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%4:&lt;/td&gt;&lt;td&gt;%5&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;%6:&lt;/td&gt;&lt;td&gt;%7&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Security Flags:&lt;/td&gt;&lt;td&gt;%8&lt;/td&gt;&lt;/tr&gt;&lt;tr&gt;&lt;td&gt;Incompatibility Flag:&lt;/td&gt;&lt;td&gt;0x%9&lt;/td&gt;&lt;/tr&gt;&lt;/table&gt;&lt;/div&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN Retry Counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login Retry Counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN Retry Counter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factory Reset Retry Counter</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Download</name>
    <message>
        <source>Download Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your PIN&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Downloading the files requires entering the PIN to confirm that the files will be deleted from the %1 after the download has been completed successfully.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Downloading...&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Important: Do not unplug the %1!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Process finished with errors&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;The following errors were detected while backing up the data:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Complete&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/check_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open download folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Select Your Backup Folder&lt;/span&gt;&lt;/p&gt;&lt;p&gt;All data on your %1 will be copied to timestamped subdirectories in the folder given below.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Canceled&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot; /&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;Download was canceled.&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;br/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Conflict</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file %1 already exists. Do you want to overwrite it?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Apply this action to all files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Merge Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder %1 already exists. Do you want to merge the new folder with the existing folder? Merging will add any missing files to the existing folder and ask for confirmation before replacing any conflicting files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Merge</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Apply this action to all folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Second copy:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open second copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Download Complete, with Warnings&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;center&quot;&gt;&lt;img src=&quot;:/icons/attention_circle_60x60.png&quot;/&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
    </message>
    <message>
        <source>Open Download Folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DownloadViewModel</name>
    <message>
        <source>No backup folder was chosen. Please select a folder for the backup.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading ...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remaining time: calculating...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remaining time: &lt;%1min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, Elapsed time: %2min %3s, Speed: %4mb/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Important: Do not unplug the device!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The backup was stopped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup in %1 - sessions: %2, files: %3, size: %4.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every copy was read back from the disk and matches the card.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning: files kept although they differ from the card's: %1. They are not in the checksum list; the record vix-backup.txt of their session names them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning: files of the card missing from folders you chose to keep: %1. Their sessions are marked incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The card was removed during the backup.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The card could not be read; it may have been removed or stopped answering.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The drive of the backup folder %1 has too little free space.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The drive of the backup folder %1 is read-only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You may not write into the backup folder %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The backup folder %1 can no longer be written; its drive may have been removed or unplugged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The backup folder %1 could not be written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No session was completed in this run.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Complete and proven: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The session folder %1 is incomplete and marked so in its record.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In %1: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The backup is incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FactoryResetDialog</name>
    <message>
        <source>Factory Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Factory Reset for %2 [%1]&lt;/span&gt;&lt;br/&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;A factory reset will wipe all data that is currently stored on the %2 and replace it with an empty file system. After the factory reset, the %2 will behave like a reguar storage device with no Data Protection features being active.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;The %3 is required to perform a factory reset. If you forgot your %3, please be aware that there is no way to recover the stored data and that the %2 will be unusable.&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;Warning: all data that is currently stored on the %2 &lt;span style=&quot; font-weight:600;&quot;&gt;will be deleted&lt;/span&gt; during the reset. Ensure that all data has been backed up before resetting the device.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factory Reset Success</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Successfully reset %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FactoryResetViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Login</name>
    <message>
        <source>Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your PIN to unlock the %1&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Login Successful&lt;/span&gt;&lt;/p&gt;&lt;p&gt;The %1 is now available in read-only mode.&lt;/p&gt;&lt;p&gt;&lt;span style=&quot; font-weight:600;&quot;&gt;Attention:&lt;/span&gt; Even though the device may appear writeable, all changes will be reverted after power-cycling the %1.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainViewModel</name>
    <message>
        <source>The card %1 was made read-only. It may hold an unclosed recording, which was kept and can be backed up.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The card %1 was made read-only. It holds an unclosed recording of %2, which was kept and can be backed up.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Searching for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No device detected. Please plug in a %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All connected %1 devices are READ ONLY. Even though they may appear writable, all changes will be reverted after power-cycling the %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 State</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wipe Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configure</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unblock PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Factory Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Documentation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The following devices were detected but are not supported by this application.
Please use the %1 for your %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security inactive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning: an incompatibility (0x%1) with your recording system has been detected.

Please perform a download for your %2, check the backup for completeness and use a file recovery tool (e.g. PhotoRec) to recover missing data from partially backed-up sessions. Then, wipe your device and resume operation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected device status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The currently selected device has been removed!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error Opening the Documentation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to open %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verify Backup...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a Card&apos;s Backup Folder or One Session Folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OperationDialog</name>
    <message>
        <source>The card has just refused this PIN, so it was not sent again. Please type the PIN anew.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QCoreApplication</name>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A new version of %2 is available. Please visit &lt;a href=&apos;%1&apos;&gt;%1&lt;/a&gt; to download the latest version.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 Update Check Failure</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Platform does not support SSL!
SSL Build Version: %1
SSL Runtime Version: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The backup folder %1 is on the card itself. Please choose a folder on another drive.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not write data to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not overwrite %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not copy to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not create directory %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not change the modification date of directory %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not find the content of the card. Please check that it is mounted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not open %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not read %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Memory device is encrypted, cannot copy data</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not set the file time of %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not find %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong Admin PIN, remaining retries: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong PIN, remaining retries: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to login, Admin PIN retry counter exceeded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to login, PIN retry counter exceeded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN was entered incorrectly too many times. Retry counter exceeded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN was entered incorrectly too many times. Retry counter exceeded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid File System. Please format the %1 with a valid FAT32 or exFAT file system.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to refresh the card content. This can happen if other applications are using the card at the same time. Please remove the %1 from your system and plug it back in so that the Operating System can refresh it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another program is using the %1. Nothing was sent to the card. Please close that program and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The card file %1 has a name the backup keeps for its checksums. Please rename it on the card.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not read back %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The copy %1 on the disk differs from the data read from the card.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not enough free space in %1: the backup needs %2, but only %3 are free. Nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folders %1 and %2 for the two copies are the same or one lies inside the other. Please choose two separate folders.</source>
    </message>
    <message>
        <source>No program to show folders is set up on this desktop. Open this folder with your file manager:
%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SessionViewer</name>
    <message>
        <source>View Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Sessions on %1&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There are no recorded sessions. Please insert the %1 into your recording device and take some pictures and/or videos.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Session ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Session Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Session Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Session</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error Opening the Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to open %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SessionViewerViewModel</name>
    <message>
        <source>The selected session is no longer available</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UnblockPin</name>
    <message>
        <source>Unblock PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Unblock PIN for %2 [%1]&lt;/span&gt;&lt;/p&gt;&lt;p align=&quot;justify&quot;&gt;In order to unblock the PIN you have to provide the Admin PIN.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-Enter new PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unblock PIN status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN unblocked successfully!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UnblockPinViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN &amp; re-entered PIN do not match</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VerifyBackup</name>
    <message>
        <source>Verify Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking every file of the backup in %1 against its checksum list...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Administrators can run the same check with standard tools only; it ends with a non-zero exit status on any difference or incomplete session:</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Every file matches: all %n file(s) are as the card gave them.</source>
        <translation>
            <numerusform>Every file matches: the %n file is as the card gave it.</numerusform>
            <numerusform>Every file matches: all %n files are as the card gave them.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The backup differs from what was saved (%n file(s) checked):</source>
        <translation>
            <numerusform>The backup differs from what was saved (%n file checked):</numerusform>
            <numerusform>The backup differs from what was saved (%n files checked):</numerusform>
        </translation>
    </message>
    <message>
        <source>Changed files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Missing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files not in the checksum list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incomplete sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The check was canceled: nothing is proven.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This folder holds no backup. Choose a card&apos;s backup folder or one of its session folders.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WipeDevice</name>
    <message>
        <source>Wipe Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;center&quot;&gt;&lt;span style=&quot; font-size:11pt; font-weight:600;&quot;&gt;Enter your %1&lt;/span&gt;&lt;/p&gt;&lt;p&gt;All data that is currently stored on the %3 [%2] &lt;span style=&quot; font-weight:600;&quot;&gt;will be deleted&lt;/span&gt; and replaced with an empty file system. Ensure that all data has been backed up before wiping the device. Entering the %1 is required to confirm that all data will be deleted.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wipe Device Success</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Successfully wiped %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WipeDeviceViewModel</name>
    <message>
        <source>Admin PIN must be 8-20 characters long</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PIN must be 4-15 characters long</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
