<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AdminApplication</name>
    <message>
        <source>An unexpected error occurred</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Command</name>
    <message>
        <source>An unexpected error occurred</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>No help is available for this item (context %1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What&apos;s This ?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LoginController</name>
    <message>
        <source>&amp;Login to Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Logout from Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Logging in to %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The SSH secret could not be kept in the keyring: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error retrieving server information - %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Logging out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server at %1 no longer knows this session (it was restarted, for example). Choose File, Login to Server to log in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unsaved changes on the %1 pages were lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The unsaved changes on the %1 page were lost.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OptionsItem</name>
    <message>
        <source>Changing the remote connection information will reset the connection and require you to login again, are you sure you want to change this information ?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProfileLogin</name>
    <message>
        <source>Connect &amp;to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login to the server of a saved profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Profiles...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add, change, test or delete connection profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(no profiles: File, Profiles... adds one)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is no profile named %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Looking up the password of %1 in the keyring...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The keyring could not be read (the password is asked instead): %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server refused the password kept in the keyring for %1. Keep the password you entered instead?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep the password for %1 in the keyring?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password could not be kept in the keyring: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QtDialogs</name>
    <message>
        <source>Select the directory</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusBarSections</name>
    <message>
        <source>The server did not answer; the next refresh or command that succeeds clears this</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server&apos;s host and administration port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LAN, or compressed Internet mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The connection goes through an SSH server; the host and port are as that server sees them</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How long the last exchange with the server took</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>When the Status page last refreshed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LAN</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>via bastion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refreshed %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection lost</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Login to Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Login to the Server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit application</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version, libraries, license and the files this program uses</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change journal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SSH known_hosts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1/.ssh/known_hosts (unless ~/.ssh/config or a profile names another)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change &amp;History...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The changes sent to servers from this account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not connected to a server.
Choose File, Login to Server to connect.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WaitIndicator</name>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop waiting for the server (Esc)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2 s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled; the change may have been made: Refresh to see</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WindowTitle</name>
    <message>
        <source>%1 (Connected to %2 - %3)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
