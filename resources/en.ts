<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Parlewick</source>
        <translation>Parlewick</translation>
    </message>
    <message>
        <source>IDS_ROOT_DEVICE</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>IDS_ROOT_LOCALDB</source>
        <translation>Local Databases</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUND_AND_MESSAGES</source>
        <translation>There are no messages to search here. Choose a chat or a source on the left.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0</source>
        <translation>No message contains &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0</source>
        <translation>No chat name contains &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_TOOLBAR</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_I2I_TOOLBAR</source>
        <translation>Transfer Messages from iPhone to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_DB2I_TOOLBAR</source>
        <translation>Transfer Messages from Database to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_TOOLBAR</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_TOOLBAR</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_TOOLBAR</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>IDS_MI_IMPORT_FROM_ITUNES</source>
        <translation>Import from iTunes Backup</translation>
    </message>
    <message>
        <source>IDS_MI_OPEN_DB_FOLDER</source>
        <translation>Open Database Folder</translation>
    </message>
    <message>
        <source>IDS_MI_EXIT</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>IDS_MI_CHECK_UPDATE</source>
        <translation>Check for Update</translation>
    </message>
    <message>
        <source>IDS_CLEAR_CACHE</source>
        <translation>Clear Cache files</translation>
    </message>
    <message>
        <source>IDS_MI_HELP</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>IDS_MI_FEEDBACK</source>
        <translation>Feedback and Support</translation>
    </message>
    <message>
        <source>IDS_MI_ABOUT</source>
        <translation>About</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_ALL</source>
        <translation>Backup Messages</translation>
    </message>
    <message>
        <source>IDS_MI_I2I_ALL</source>
        <translation>Transfer Messages from iPhone to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_ALL</source>
        <translation>Export Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_ALL</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_MI_UNMOUNT_DEVICE</source>
        <translation>Disconnect Device</translation>
    </message>
    <message>
        <source>IDS_MI_DB2I_ALL</source>
        <translation>Transfer Messages from Database to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_ALL</source>
        <translation>Delete Messages</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_CHAT</source>
        <translation>Backup Messages with this Contact</translation>
    </message>
    <message>
        <source>IDS_MI_I2I_CHAT</source>
        <translation>Transfer Messages with this Contact to other iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_CHAT</source>
        <translation>Export Messages with this Contact to File</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_CHAT</source>
        <translation>Print Messages with this Contact</translation>
    </message>
    <message>
        <source>IDS_MI_DB2I_CHAT</source>
        <translation>Transfer Messages with this Contact to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_CHAT</source>
        <translation>Delete Messages with this Contact</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_SEL</source>
        <translation>Backup selected Messages</translation>
    </message>
    <message>
        <source>IDS_MI_I2I_SEL</source>
        <translation>Transfer selected Messages to other iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_SEL</source>
        <translation>Export selected Messages to File</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_SEL</source>
        <translation>Print selected Messages</translation>
    </message>
    <message>
        <source>IDS_MI_DB2I_SEL</source>
        <translation>Transfer selected Messages to iPhone</translation>
    </message>
    <message>
        <source>IDS_MI_DELETE_SEL</source>
        <translation>Delete selected Messages</translation>
    </message>
    <message>
        <source>IDS_SEL_EXPORT_MESSAGES_PATH</source>
        <translation>Please select Save Path for messages.</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_SEL_MESSAGES</source>
        <translation>Confirm to delete selected Messages?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_CHAT</source>
        <translation>Confirm to delete Messages with this contact?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_THIS_LOCALDB</source>
        <translation>Confirm to delete this database?</translation>
    </message>
    <message>
        <source>IDS_DEL_LOCALDB_SUC</source>
        <translation>Successfully deleted database.</translation>
    </message>
    <message>
        <source>IDS_SEL_ONE_IOS_DEVICE</source>
        <translation>Please select an iPhone:</translation>
    </message>
    <message>
        <source>IDS_BEFORE_RESTORE_KIK_KILL_KIK_FIRST</source>
        <translation>To transfer Kik messages to iPhone successfully, please close Kik on your iPhone first and then click OK button to continue.</translation>
    </message>
    <message>
        <source>IDS_SUC_CLEAR_CACHE</source>
        <translation>Successfully cleared cache files.</translation>
    </message>
    <message>
        <source>IDS_BACKING_UP_KIK_MESSAGES</source>
        <translation>Backing up Kik messages...</translation>
    </message>
    <message numerus="yes">
        <source>IDS_SUC_BACKUP_%n_MESSAGES</source>
        <translation>
            <numerusform>Successfully backed up %n message.</numerusform>
            <numerusform>Successfully backed up %n messages.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>IDS_SUC_IMPORT_%n_MESSAGES</source>
        <translation>
            <numerusform>Successfully imported %n message.</numerusform>
            <numerusform>Successfully imported %n messages.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>IDS_SKIPPED_%n_MESSAGES_NO_CHAT</source>
        <translation>
            <numerusform>%n message was not stored because its chat is not known.</numerusform>
            <numerusform>%n messages were not stored because their chat is not known.</numerusform>
        </translation>
    </message>
    <message>
        <source>IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER</source>
        <translation>Please select a Device.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_DATASOURCE</source>
        <translation>Need to select a Device to continue.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
        <translation>Select one Database or enter a new Database name</translation>
    </message>
    <message>
        <source>IDS_INVALID_LOCALDB_NAME</source>
        <translation>Invalid Local Database name(can&apos;t contain \ / : * ? &quot; &lt; &gt; |).</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT</source>
        <translation>Save Attachment</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT_SUC</source>
        <translation>Attachment saved successfully.</translation>
    </message>
    <message>
        <source>IDS_SAVE_ATTACHMENT_FILE_ERROR</source>
        <translation>Failed to save attachment.</translation>
    </message>
    <message>
        <source>IDS_EXPORTING_MESSAGES_TO_FILE</source>
        <translation>Exporting Messages...</translation>
    </message>
    <message numerus="yes">
        <source>IDS_SUC_EXPORT_%n_MMS</source>
        <translation>
            <numerusform>Successfully exported %n Message.</numerusform>
            <numerusform>Successfully exported %n Messages.</numerusform>
        </translation>
    </message>
    <message>
        <source>IDS_PRINT_MESSAGES</source>
        <translation>Print Messages</translation>
    </message>
    <message>
        <source>IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD</source>
        <translation>Please select an iTunes Backup to load.</translation>
    </message>
    <message>
        <source>IDS_NO_BACKUP_LISTED_THERE_CLICK_&lt;a href=&quot;#&quot;&gt;Here&lt;/a&gt;_ADD</source>
        <translation>Can&apos;t find your iTunes Backup on the list? Please manually import it by clicking &lt;a href=&quot;#&quot;&gt;HERE&lt;/a&gt;.</translation>
    </message>
    <message>
        <source>IDS_LOAD_BK_EXISTS</source>
        <translation>This iTunes Backup has been listed on the left.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP</source>
        <translation>Need to select an iTunes Backup to continue.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP</source>
        <translation>This iTunes Backup is encrypted. Please enter password:</translation>
    </message>
    <message>
        <source>IDS_ENTER_PASSWORD</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>IDS_PWD_IS_NULL</source>
        <translation>Password is required.</translation>
    </message>
    <message>
        <source>IDS_INVALID_PASSWORD</source>
        <translation>Invalid password.</translation>
    </message>
    <message>
        <source>IDS_LOADING_ITUNES_BACKUP</source>
        <translation>Loading data from iTunes Backup...</translation>
    </message>
    <message>
        <source>IDS_CACHING_BACKUP_FILE_%1</source>
        <translation>Loading %1...</translation>
    </message>
    <message>
        <source>IDS_RESTORING_KIK_MSG_TO_IOS</source>
        <translation>Transferring messages to iPhone...</translation>
    </message>
    <message>
        <source>IDS_NOT_INSTALL_KIK_ERR_%1</source>
        <translation>Can&apos;t find Kik installed on iPhone. Error:%1.</translation>
    </message>
    <message>
        <source>IDS_LOADING_IOS_KIK</source>
        <translation>Loading Kik data from iPhone...</translation>
    </message>
    <message numerus="yes">
        <source>Successfully transferred %n messages to iPhone.</source>
        <translation>
            <numerusform>Successfully transferred %n message to iPhone.</numerusform>
            <numerusform>Successfully transferred %n messages to iPhone.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n messages will be merged into Kik&apos;s data in the iTunes backup %1. This changes the backup; a phone restored from it gets these messages.

Write into this backup?</source>
        <translation>
            <numerusform>%n message will be merged into Kik&apos;s data in the iTunes backup %1. This changes the backup; a phone restored from it gets this message.

Write into this backup?</numerusform>
            <numerusform>%n messages will be merged into Kik&apos;s data in the iTunes backup %1. This changes the backup; a phone restored from it gets these messages.

Write into this backup?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Successfully transferred %n messages into the iTunes backup&lt;br/&gt;%1.</source>
        <translation>
            <numerusform>Successfully transferred %n message into the iTunes backup&lt;br/&gt;%1.</numerusform>
            <numerusform>Successfully transferred %n messages into the iTunes backup&lt;br/&gt;%1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n selected messages of %1</source>
        <translation>
            <numerusform>%n selected message of %1</numerusform>
            <numerusform>%n selected messages of %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>the chat with %1 (%n messages)</source>
        <translation>
            <numerusform>the chat with %1 (%n message)</numerusform>
            <numerusform>the chat with %1 (%n messages)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>all %n chats of %1</source>
        <translation>
            <numerusform>the only chat of %1</numerusform>
            <numerusform>all %n chats of %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Messages: 0</source>
        <translation>Messages: 0</translation>
    </message>
    <message>
        <source>Messages: %1</source>
        <translation>Messages: %1</translation>
    </message>
    <message>
        <source>Total: 0</source>
        <translation>Total: 0</translation>
    </message>
</context>
<context>
    <name>ProgressForm</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DataSourceSelForm</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>LocalDbSelForm</name>
    <message>
        <source>Select one Database for backup</source>
        <translation>Select one Database for backup</translation>
    </message>
    <message>
        <source>Select current database to merge or enter a new database name:</source>
        <translation>Select current database to merge or enter a new database name:</translation>
    </message>
    <message>
        <source>Selecting current Database will merge data;entering new DB name will create a new Database.</source>
        <translation>Selecting current Database will merge data;entering new DB name will create a new Database.</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
