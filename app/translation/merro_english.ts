<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>HistoryDialog</name>
    <message>
        <source>Arrived</source>
        <translation>Arrived</translation>
    </message>
    <message>
        <source>Kept beside an older recording</source>
        <translation>Kept beside an older recording</translation>
    </message>
    <message>
        <source>Beside %1</source>
        <translation>Beside %1</translation>
    </message>
    <message>
        <source>Freed from the card</source>
        <translation>Freed from the card</translation>
    </message>
    <message>
        <source>Removed by retention</source>
        <translation>Removed by retention</translation>
    </message>
    <message>
        <source>Holds its checksum</source>
        <translation>Holds its checksum</translation>
    </message>
    <message>
        <source>Changed since it arrived</source>
        <translation>Changed since it arrived</translation>
    </message>
    <message>
        <source>Missing</source>
        <translation>Missing</translation>
    </message>
    <message>
        <source>History of %1</source>
        <translation>History of %1</translation>
    </message>
    <message>
        <source>Filter by name or date</source>
        <translation>Filter by name or date</translation>
    </message>
    <message>
        <source>When</source>
        <translation>When</translation>
    </message>
    <message>
        <source>What</source>
        <translation>What</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Checksum</source>
        <translation>Checksum</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>Reads every file the journal says the folder holds and compares it with the checksum taken when it arrived.</source>
        <translation>Reads every file the journal says the folder holds and compares it with the checksum taken when it arrived.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Cannot open %1.</source>
        <translation>Cannot open %1.</translation>
    </message>
    <message>
        <source>%1 holds no journal yet.</source>
        <translation>%1 holds no journal yet.</translation>
    </message>
    <message>
        <source>%1 events in the journal of %2.</source>
        <translation>%1 events in the journal of %2.</translation>
    </message>
    <message>
        <source>Verifying %1 files...</source>
        <translation>Verifying %1 files...</translation>
    </message>
    <message>
        <source>Checksums held: %1; changed: %2; missing: %3.</source>
        <translation>Checksums held: %1; changed: %2; missing: %3.</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 files not checked.</source>
        <translation>Cancelled: %1 of %2 files not checked.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>language:</source>
        <translation>language:</translation>
    </message>
    <message>
        <source>HardwareType:</source>
        <translation>HardwareType:</translation>
    </message>
    <message>
        <source>HardwareVersion:</source>
        <translation>HardwareVersion:</translation>
    </message>
    <message>
        <source>SoftwareVersion:</source>
        <translation>SoftwareVersion:</translation>
    </message>
    <message>
        <source>ProtocolVersion:</source>
        <translation>ProtocolVersion:</translation>
    </message>
    <message>
        <source>BootloaderVersion:</source>
        <translation>BootloaderVersion:</translation>
    </message>
    <message>
        <source>Link Device</source>
        <translation>Link Device</translation>
    </message>
    <message>
        <source>Browse Files in Card</source>
        <translation>Browse Files in Card</translation>
    </message>
    <message>
        <source>Download File</source>
        <translation>Download File</translation>
    </message>
    <message>
        <source>Delete File</source>
        <translation>Delete File</translation>
    </message>
    <message>
        <source>Delete All Files</source>
        <translation>Delete All Files</translation>
    </message>
    <message>
        <source>Format Card</source>
        <translation>Format Card</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>File Operate</source>
        <translation>File Operate</translation>
    </message>
    <message>
        <source>Version Information</source>
        <translation>Version Information</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Link Success!</source>
        <translation>Link Success!</translation>
    </message>
    <message>
        <source>Link Fail!</source>
        <translation>Link Fail!</translation>
    </message>
    <message>
        <source>Download Progress:</source>
        <translation>Download Progress:</translation>
    </message>
    <message>
        <source>not a plain card file name</source>
        <translation>not a plain card file name</translation>
    </message>
    <message>
        <source>no network socket</source>
        <translation>no network socket</translation>
    </message>
    <message>
        <source>camera not reachable</source>
        <translation>camera not reachable</translation>
    </message>
    <message>
        <source>no reply from the camera</source>
        <translation>no reply from the camera</translation>
    </message>
    <message>
        <source>reply header too large</source>
        <translation>reply header too large</translation>
    </message>
    <message>
        <source>the camera answered %1</source>
        <translation>the camera answered %1</translation>
    </message>
    <message>
        <source>unsupported reply</source>
        <translation>unsupported reply</translation>
    </message>
    <message>
        <source>transfer cut short</source>
        <translation>transfer cut short</translation>
    </message>
    <message>
        <source>the camera stopped sending</source>
        <translation>the camera stopped sending</translation>
    </message>
    <message>
        <source>cannot create the local file</source>
        <translation>cannot create the local file</translation>
    </message>
    <message>
        <source>cannot write to disk (disk full?)</source>
        <translation>cannot write to disk (disk full?)</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>%1 not downloaded: %2</source>
        <translation>%1 not downloaded: %2</translation>
    </message>
    <message>
        <source>%1 of %2 files downloaded</source>
        <translation>%1 of %2 files downloaded</translation>
    </message>
    <message>
        <source>%1; not downloaded: %2</source>
        <translation>%1; not downloaded: %2</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>%1 MB/s, %2 left</source>
        <translation>%1 MB/s, %2 left</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Delete the %1 selected files from the card?</source>
        <translation>Delete the %1 selected files from the card?</translation>
    </message>
    <message>
        <source>Delete every file on the card?</source>
        <translation>Delete every file on the card?</translation>
    </message>
    <message>
        <source>Format the card? Every file on it will be lost.</source>
        <translation>Format the card? Every file on it will be lost.</translation>
    </message>
    <message>
        <source>Could not read the card&apos;s file list.</source>
        <translation>Could not read the card&apos;s file list.</translation>
    </message>
    <message>
        <source>Reading file details: %1 of %2</source>
        <translation>Reading file details: %1 of %2</translation>
    </message>
    <message>
        <source>The camera stopped answering: no details for %1 of %2 files.</source>
        <translation>The camera stopped answering: no details for %1 of %2 files.</translation>
    </message>
    <message>
        <source>Details of %1 files could not be read.</source>
        <translation>Details of %1 files could not be read.</translation>
    </message>
    <message>
        <source>%1 entries of the card&apos;s list were left out: unsafe names or more than %2 files.</source>
        <translation>%1 entries of the card&apos;s list were left out: unsafe names or more than %2 files.</translation>
    </message>
    <message>
        <source>%1 of %2 selected files could not be deleted.</source>
        <translation>%1 of %2 selected files could not be deleted.</translation>
    </message>
    <message>
        <source>The camera did not confirm deleting all files.</source>
        <translation>The camera did not confirm deleting all files.</translation>
    </message>
    <message>
        <source>The camera did not confirm formatting the card.</source>
        <translation>The camera did not confirm formatting the card.</translation>
    </message>
    <message>
        <source>The camera counts %1 files but listed %2.</source>
        <translation>The camera counts %1 files but listed %2.</translation>
    </message>
    <message>
        <source>The card&apos;s file list was cut off after %1 files.</source>
        <translation>The card&apos;s file list was cut off after %1 files.</translation>
    </message>
    <message>
        <source>Could not read the card&apos;s file list. The rows shown are from an earlier listing.</source>
        <translation>Could not read the card&apos;s file list. The rows shown are from an earlier listing.</translation>
    </message>
    <message>
        <source>Already in DCIM/</source>
        <translation>Already in DCIM/</translation>
    </message>
    <message>
        <source>DCIM/ holds a copy of another size (%1 bytes)</source>
        <translation>DCIM/ holds a copy of another size (%1 bytes)</translation>
    </message>
    <message>
        <source>%1 of the %2 listed files are already in DCIM/.</source>
        <translation>%1 of the %2 listed files are already in DCIM/.</translation>
    </message>
    <message>
        <source>The card&apos;s contents are not fully known: list the card to see which recordings are not in DCIM/ yet.</source>
        <translation>The card&apos;s contents are not fully known: list the card to see which recordings are not in DCIM/ yet.</translation>
    </message>
    <message>
        <source>%1 of the %2 recordings on the card are not in DCIM/ yet.</source>
        <translation>%1 of the %2 recordings on the card are not in DCIM/ yet.</translation>
    </message>
    <message>
        <source>%1 of the %2 selected recordings are not in DCIM/ yet.</source>
        <translation>%1 of the %2 selected recordings are not in DCIM/ yet.</translation>
    </message>
    <message>
        <source>Select files not yet in DCIM/</source>
        <translation>Select files not yet in DCIM/</translation>
    </message>
    <message>
        <source>Not enough free space in DCIM/: %1 needed, %2 free.</source>
        <translation>Not enough free space in DCIM/: %1 needed, %2 free.</translation>
    </message>
    <message>
        <source>The camera stopped sending; retrying (%1 of %2)</source>
        <translation>The camera stopped sending; retrying (%1 of %2)</translation>
    </message>
    <message>
        <source>Connection lost; retrying (%1 of %2)</source>
        <translation>Connection lost; retrying (%1 of %2)</translation>
    </message>
    <message>
        <source>Cancelled: %1 of %2 files downloaded.</source>
        <translation>Cancelled: %1 of %2 files downloaded.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Camera %1:%2</source>
        <translation>Camera %1:%2</translation>
    </message>
    <message>
        <source>A download is running: it will be stopped first.</source>
        <translation>A download is running: it will be stopped first.</translation>
    </message>
    <message>
        <source>A download is running: it waits while the files are deleted, and the deleted files leave its queue.</source>
        <translation>A download is running: it waits while the files are deleted, and the deleted files leave its queue.</translation>
    </message>
    <message>
        <source>Download stopped to delete all files: %1 of %2 files downloaded.</source>
        <translation>Download stopped to delete all files: %1 of %2 files downloaded.</translation>
    </message>
    <message>
        <source>Download stopped to format the card: %1 of %2 files downloaded.</source>
        <translation>Download stopped to format the card: %1 of %2 files downloaded.</translation>
    </message>
    <message>
        <source>Already in DCIM/ as %1</source>
        <translation>Already in DCIM/ as %1</translation>
    </message>
    <message>
        <source>DCIM/ holds another recording of this name</source>
        <translation>DCIM/ holds another recording of this name</translation>
    </message>
    <message>
        <source>%1, %2 already in DCIM/</source>
        <translation>%1, %2 already in DCIM/</translation>
    </message>
    <message>
        <source>Not downloading: %1.</source>
        <translation>Not downloading: %1.</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Sync</translation>
    </message>
    <message>
        <source>Download new recordings</source>
        <translation>Download new recordings</translation>
    </message>
    <message>
        <source>Delete recordings already in DCIM/</source>
        <translation>Delete recordings already in DCIM/</translation>
    </message>
    <message>
        <source>Download new recordings when linked</source>
        <translation>Download new recordings when linked</translation>
    </message>
    <message>
        <source>Open the download folder</source>
        <translation>Open the download folder</translation>
    </message>
    <message>
        <source>Link the device first.</source>
        <translation>Link the device first.</translation>
    </message>
    <message>
        <source>Nothing new: every listed recording is in DCIM/ already.</source>
        <translation>Nothing new: every listed recording is in DCIM/ already.</translation>
    </message>
    <message>
        <source>Waiting: %1.</source>
        <translation>Waiting: %1.</translation>
    </message>
    <message>
        <source>No recording on the card is in DCIM/ yet.</source>
        <translation>No recording on the card is in DCIM/ yet.</translation>
    </message>
    <message>
        <source>%1 recordings stay on the card: they are not in DCIM/ yet.</source>
        <translation>%1 recordings stay on the card: they are not in DCIM/ yet.</translation>
    </message>
    <message>
        <source>Delete the %1 recordings already in DCIM/ from the card? This frees %2.</source>
        <translation>Delete the %1 recordings already in DCIM/ from the card? This frees %2.</translation>
    </message>
    <message>
        <source>%1 recordings deleted from the card, %2 freed.</source>
        <translation>%1 recordings deleted from the card, %2 freed.</translation>
    </message>
    <message>
        <source>Cannot open %1.</source>
        <translation>Cannot open %1.</translation>
    </message>
    <message>
        <source>another program holds %1</source>
        <translation>another program holds %1</translation>
    </message>
    <message>
        <source>%1 (process %2 on %3) holds %4</source>
        <translation>%1 (process %2 on %3) holds %4</translation>
    </message>
    <message>
        <source>the camera</source>
        <translation>the camera</translation>
    </message>
    <message>
        <source>the camera did not answer</source>
        <translation>the camera did not answer</translation>
    </message>
    <message>
        <source>no length to tell a whole file from a part of one</source>
        <translation>no length to tell a whole file from a part of one</translation>
    </message>
    <message>
        <source>%1 alone needs %2.</source>
        <translation>%1 alone needs %2.</translation>
    </message>
    <message>
        <source>no answer from the camera</source>
        <translation>no answer from the camera</translation>
    </message>
    <message>
        <source>the camera said: %1</source>
        <translation>the camera said: %1</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>not checked</translation>
    </message>
    <message>
        <source>still on the card after its delete</source>
        <translation>still on the card after its delete</translation>
    </message>
    <message>
        <source>not in DCIM/</source>
        <translation>not in DCIM/</translation>
    </message>
    <message>
        <source>its copy is not a regular file</source>
        <translation>its copy is not a regular file</translation>
    </message>
    <message>
        <source>its time cannot be read</source>
        <translation>its time cannot be read</translation>
    </message>
    <message>
        <source>it grew since it was copied</source>
        <translation>it grew since it was copied</translation>
    </message>
    <message>
        <source>it differs from the file in DCIM/</source>
        <translation>it differs from the file in DCIM/</translation>
    </message>
    <message>
        <source>no longer on the card</source>
        <translation>no longer on the card</translation>
    </message>
    <message>
        <source>the camera did not answer the check</source>
        <translation>the camera did not answer the check</translation>
    </message>
    <message>
        <source>Cannot write to the download folder %1: %2. Choose another with --dcim DIR or the setting download/dcim.</source>
        <translation>Cannot write to the download folder %1: %2. Choose another with --dcim DIR or the setting download/dcim.</translation>
    </message>
    <message>
        <source>Cannot lock the camera in %1: %2.</source>
        <translation>Cannot lock the camera in %1: %2.</translation>
    </message>
    <message>
        <source>%1 of %2 selected files could not be deleted: %3.</source>
        <translation>%1 of %2 selected files could not be deleted: %3.</translation>
    </message>
    <message>
        <source>Checking the card&apos;s recordings against DCIM/...</source>
        <translation>Checking the card&apos;s recordings against DCIM/...</translation>
    </message>
    <message>
        <source>Checking the selected recordings against DCIM/...</source>
        <translation>Checking the selected recordings against DCIM/...</translation>
    </message>
    <message>
        <source>%1 of them were not checked against the card.</source>
        <translation>%1 of them were not checked against the card.</translation>
    </message>
    <message>
        <source>Checking and deleting the recordings already in DCIM/...</source>
        <translation>Checking and deleting the recordings already in DCIM/...</translation>
    </message>
    <message>
        <source>%1 of %2 recordings stay on the card: %3.</source>
        <translation>%1 of %2 recordings stay on the card: %3.</translation>
    </message>
    <message>
        <source>%1 recordings deleted from the card, %2 freed; the card could not be listed again to see them gone.</source>
        <translation>%1 recordings deleted from the card, %2 freed; the card could not be listed again to see them gone.</translation>
    </message>
    <message>
        <source>%1 is a link: it was left alone.</source>
        <translation>%1 is a link: it was left alone.</translation>
    </message>
    <message>
        <source>%1 arrived, but the download journal could not be written.</source>
        <translation>%1 arrived, but the download journal could not be written.</translation>
    </message>
    <message>
        <source>%1, %2 left on the card for retention</source>
        <translation>%1, %2 left on the card for retention</translation>
    </message>
    <message>
        <source>History...</source>
        <translation>History...</translation>
    </message>
    <message>
        <source>older than %1 days</source>
        <translation>older than %1 days</translation>
    </message>
    <message>
        <source>the download folder was over %1 bytes</source>
        <translation>the download folder was over %1 bytes</translation>
    </message>
    <message>
        <source>Removed by retention: %1 (%2).</source>
        <translation>Removed by retention: %1 (%2).</translation>
    </message>
</context>
</TS>
