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
</context>
<context>
    <name>SessionViewerViewModel</name>
    <message>
        <source>The selected session is no longer available</source>
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
