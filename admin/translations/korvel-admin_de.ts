<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AdminApplication</name>
    <message>
        <source>An unexpected error occurred</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten</translation>
    </message>
</context>
<context>
    <name>Command</name>
    <message>
        <source>An unexpected error occurred</source>
        <translation>Ein unerwarteter Fehler ist aufgetreten</translation>
    </message>
    <message>
        <source>Not logged in to a server</source>
        <translation>Nicht an einem Server angemeldet</translation>
    </message>
</context>
<context>
    <name>ConnectionFields</name>
    <message>
        <source>Remote Type</source>
        <translation>Verbindungsart</translation>
    </message>
    <message>
        <source>Local Area Network</source>
        <translation>Lokales Netzwerk</translation>
    </message>
    <message>
        <source>Internet</source>
        <translation>Internet</translation>
    </message>
    <message>
        <source>Host Name</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Dienst</translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>No help is available for this item (context %1).</source>
        <translation>Für dieses Element ist keine Hilfe verfügbar (Kontext %1).</translation>
    </message>
    <message>
        <source>What&apos;s This ?</source>
        <translation>Direkthilfe</translation>
    </message>
</context>
<context>
    <name>HistoryChart</name>
    <message>
        <source>Connected sessions, total sessions and memory over the last hour</source>
        <translation>Verbundene Sitzungen, Sitzungen insgesamt und Speicher in der letzten Stunde</translation>
    </message>
    <message>
        <source>%1 Mb</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Speicher</translation>
    </message>
</context>
<context>
    <name>ListDetail</name>
    <message>
        <source>Another administrator changed this while you were editing it. Save your values over theirs?</source>
        <translation>Ein anderer Administrator hat dies geändert, während Sie es bearbeitet haben. Ihre Werte über seine speichern?</translation>
    </message>
    <message>
        <source>%1 was deleted by another administrator while you were editing it; nothing was saved. Cancel shows the list as the server holds it now.</source>
        <translation>%1 wurde von einem anderen Administrator gelöscht, während Sie es bearbeitet haben; nichts wurde gespeichert. Abbrechen zeigt die Liste so, wie der Server sie jetzt hält.</translation>
    </message>
    <message>
        <source>%1 was %2, now %3</source>
        <translation>%1 war %2, jetzt %3</translation>
    </message>
</context>
<context>
    <name>ListPages</name>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>LoginController</name>
    <message>
        <source>&amp;Login to Server</source>
        <translation>Am Server &amp;anmelden</translation>
    </message>
    <message>
        <source>&amp;Logout from Server</source>
        <translation>Vom Server a&amp;bmelden</translation>
    </message>
    <message>
        <source>Logging in to %1...</source>
        <translation>Anmeldung bei %1...</translation>
    </message>
    <message>
        <source>The SSH secret could not be kept in the keyring: %1</source>
        <translation>Das SSH-Geheimnis konnte nicht im Schlüsselbund gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Error retrieving server information - %1</source>
        <translation>Fehler beim Abrufen der Serverinformationen - %1</translation>
    </message>
    <message>
        <source>Logging out</source>
        <translation>Abmeldung</translation>
    </message>
    <message>
        <source>The server at %1 no longer knows this session (it was restarted, for example). Choose File, Login to Server to log in again.</source>
        <translation>Der Server unter %1 kennt diese Sitzung nicht mehr (er wurde zum Beispiel neu gestartet). Wählen Sie Datei, Am Server anmelden, um sich erneut anzumelden.</translation>
    </message>
    <message>
        <source>The unsaved changes on the %1 pages were lost.</source>
        <translation>Die nicht gespeicherten Änderungen auf den Seiten %1 sind verloren.</translation>
    </message>
    <message>
        <source>The unsaved changes on the %1 page were lost.</source>
        <translation>Die nicht gespeicherten Änderungen auf der Seite %1 sind verloren.</translation>
    </message>
</context>
<context>
    <name>NoAnswerWatch</name>
    <message>
        <source>No answer from %1; retrying</source>
        <translation>Keine Antwort von %1; neuer Versuch</translation>
    </message>
</context>
<context>
    <name>OptionsItem</name>
    <message>
        <source>Changing the remote connection information will reset the connection and require you to login again, are you sure you want to change this information ?</source>
        <translation>Wenn Sie die Verbindungsdaten ändern, wird die Verbindung zurückgesetzt und Sie müssen sich erneut anmelden. Möchten Sie diese Daten wirklich ändern?</translation>
    </message>
</context>
<context>
    <name>ProfileLogin</name>
    <message>
        <source>Connect &amp;to</source>
        <translation>&amp;Verbinden mit</translation>
    </message>
    <message>
        <source>Login to the server of a saved profile</source>
        <translation>Am Server eines gespeicherten Profils anmelden</translation>
    </message>
    <message>
        <source>&amp;Profiles...</source>
        <translation>&amp;Profile...</translation>
    </message>
    <message>
        <source>Add, change, test or delete connection profiles</source>
        <translation>Verbindungsprofile hinzufügen, ändern, testen oder löschen</translation>
    </message>
    <message>
        <source>(no profiles: File, Profiles... adds one)</source>
        <translation>(keine Profile: Datei, Profile... legt eines an)</translation>
    </message>
    <message>
        <source>There is no profile named %1</source>
        <translation>Es gibt kein Profil namens %1</translation>
    </message>
    <message>
        <source>Looking up the password of %1 in the keyring...</source>
        <translation>Das Kennwort für %1 wird im Schlüsselbund gesucht...</translation>
    </message>
    <message>
        <source>The keyring could not be read (the password is asked instead): %1</source>
        <translation>Der Schlüsselbund konnte nicht gelesen werden (stattdessen wird nach dem Kennwort gefragt): %1</translation>
    </message>
    <message>
        <source>The server refused the password kept in the keyring for %1. Keep the password you entered instead?</source>
        <translation>Der Server hat das im Schlüsselbund gespeicherte Kennwort für %1 abgelehnt. Stattdessen das eingegebene Kennwort speichern?</translation>
    </message>
    <message>
        <source>Keep the password for %1 in the keyring?</source>
        <translation>Das Kennwort für %1 im Schlüsselbund speichern?</translation>
    </message>
    <message>
        <source>The password could not be kept in the keyring: %1</source>
        <translation>Das Kennwort konnte nicht im Schlüsselbund gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Profile: %1</source>
        <translation>Profil: %1</translation>
    </message>
</context>
<context>
    <name>ProfileWindows</name>
    <message>
        <source>There are no profiles yet: File, Profiles... adds one.</source>
        <translation>Es gibt noch keine Profile: Datei, Profile... legt eines an.</translation>
    </message>
    <message>
        <source>New Window</source>
        <translation>Neues Fenster</translation>
    </message>
    <message>
        <source>&amp;Profile of the new window:</source>
        <translation>&amp;Profil des neuen Fensters:</translation>
    </message>
    <message>
        <source>The new window could not be started (%1).</source>
        <translation>Das neue Fenster konnte nicht gestartet werden (%1).</translation>
    </message>
</context>
<context>
    <name>QtDialogs</name>
    <message>
        <source>Select the directory</source>
        <translation>Verzeichnis auswählen</translation>
    </message>
</context>
<context>
    <name>RightsCellEditor</name>
    <message>
        <source>Read</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Insert</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>Erstellen</translation>
    </message>
    <message>
        <source>Alter</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Drop</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Not a database user (-)</source>
        <translation>Kein Datenbankbenutzer (-)</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Apply to the selected cells (Enter)</source>
        <translation>Auf die ausgewählten Zellen anwenden (Eingabetaste)</translation>
    </message>
    <message>
        <source>Not a database user</source>
        <translation>Kein Datenbankbenutzer</translation>
    </message>
</context>
<context>
    <name>RightsGrid</name>
    <message>
        <source>read</source>
        <translation>lesen</translation>
    </message>
    <message>
        <source>insert</source>
        <translation>einfügen</translation>
    </message>
    <message>
        <source>update</source>
        <translation>aktualisieren</translation>
    </message>
    <message>
        <source>delete</source>
        <translation>löschen</translation>
    </message>
    <message>
        <source>create</source>
        <translation>erstellen</translation>
    </message>
    <message>
        <source>alter</source>
        <translation>ändern</translation>
    </message>
    <message>
        <source>drop</source>
        <translation>entfernen</translation>
    </message>
    <message>
        <source>not a database user</source>
        <translation>kein Datenbankbenutzer</translation>
    </message>
    <message>
        <source>a database user with no rights</source>
        <translation>ein Datenbankbenutzer ohne Rechte</translation>
    </message>
    <message>
        <source>&apos;%1&apos; on &apos;%2&apos;: %3</source>
        <translation>&apos;%1&apos; auf &apos;%2&apos;: %3</translation>
    </message>
    <message>
        <source>not read yet</source>
        <translation>noch nicht gelesen</translation>
    </message>
    <message>
        <source>%1 on %2: %3</source>
        <translation>%1 auf %2: %3</translation>
    </message>
</context>
<context>
    <name>ServersModel</name>
    <message>
        <source>Logged in</source>
        <translation>Angemeldet</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Where</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Engine</translation>
    </message>
    <message>
        <source>Sessions</source>
        <translation>Sitzungen</translation>
    </message>
    <message>
        <source>Round Trip</source>
        <translation>Umlaufzeit</translation>
    </message>
    <message>
        <source>Checked</source>
        <translation>Geprüft</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>Nicht geprüft</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Erreichbar</translation>
    </message>
    <message>
        <source>Down: refused</source>
        <translation>Nicht erreichbar: abgewiesen</translation>
    </message>
    <message>
        <source>No answer in %1 s</source>
        <translation>Keine Antwort in %1 s</translation>
    </message>
    <message>
        <source>Login refused</source>
        <translation>Anmeldung abgelehnt</translation>
    </message>
    <message>
        <source>Password needed</source>
        <translation>Kennwort erforderlich</translation>
    </message>
    <message>
        <source>Host key unknown</source>
        <translation>Hostschlüssel unbekannt</translation>
    </message>
    <message>
        <source>Down: %1</source>
        <translation>Nicht erreichbar: %1</translation>
    </message>
</context>
<context>
    <name>SessionTableModel</name>
    <message>
        <source>Disconnected (%1)</source>
        <translation>Getrennt (%1)</translation>
    </message>
    <message>
        <source>Internet</source>
        <translation>Internet</translation>
    </message>
    <message>
        <source>LAN</source>
        <translation>LAN</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Dead (%1)</source>
        <translation>Tot (%1)</translation>
    </message>
    <message>
        <source>User Name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Created On</source>
        <translation>Erstellt am</translation>
    </message>
    <message>
        <source>Last Connected</source>
        <translation>Zuletzt verbunden</translation>
    </message>
    <message>
        <source>Session ID</source>
        <translation>Sitzungs-ID</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Modus</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
</context>
<context>
    <name>SessionViewMenu</name>
    <message>
        <source>&amp;Sort by</source>
        <translation>&amp;Sortieren nach</translation>
    </message>
    <message>
        <source>&amp;Columns</source>
        <translation>S&amp;palten</translation>
    </message>
    <message>
        <source>Server order</source>
        <translation>Reihenfolge des Servers</translation>
    </message>
    <message>
        <source>Descending</source>
        <translation>Absteigend</translation>
    </message>
    <message>
        <source>Fit widths to contents</source>
        <translation>Breiten an den Inhalt anpassen</translation>
    </message>
</context>
<context>
    <name>StatusBarSections</name>
    <message>
        <source>The server did not answer; the next refresh or command that succeeds clears this</source>
        <translation>Der Server hat nicht geantwortet; die nächste erfolgreiche Aktualisierung oder der nächste erfolgreiche Befehl löscht diese Anzeige</translation>
    </message>
    <message>
        <source>The server&apos;s host and administration port</source>
        <translation>Host und Verwaltungsport des Servers</translation>
    </message>
    <message>
        <source>LAN, or compressed Internet mode</source>
        <translation>LAN oder komprimierter Internet-Modus</translation>
    </message>
    <message>
        <source>The connection goes through an SSH server; the host and port are as that server sees them</source>
        <translation>Die Verbindung läuft über einen SSH-Server; Host und Port sind so angegeben, wie dieser Server sie sieht</translation>
    </message>
    <message>
        <source>How long the last exchange with the server took</source>
        <translation>Dauer des letzten Austauschs mit dem Server</translation>
    </message>
    <message>
        <source>When the Status page last refreshed</source>
        <translation>Zeitpunkt der letzten Aktualisierung der Statusseite</translation>
    </message>
    <message>
        <source>Internet</source>
        <translation>Internet</translation>
    </message>
    <message>
        <source>LAN</source>
        <translation>LAN</translation>
    </message>
    <message>
        <source>via bastion</source>
        <translation>über Bastion</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>Refreshed %1</source>
        <translation>Aktualisiert %1</translation>
    </message>
    <message>
        <source>Connection lost</source>
        <translation>Verbindung verloren</translation>
    </message>
</context>
<context>
    <name>StatusFormat</name>
    <message>
        <source>%1 Month</source>
        <translation>%1 Monat</translation>
    </message>
    <message>
        <source>%1 Months</source>
        <translation>%1 Monate</translation>
    </message>
    <message>
        <source>%1 Week</source>
        <translation>%1 Woche</translation>
    </message>
    <message>
        <source>%1 Weeks</source>
        <translation>%1 Wochen</translation>
    </message>
    <message>
        <source>%1 Day</source>
        <translation>%1 Tag</translation>
    </message>
    <message>
        <source>%1 Days</source>
        <translation>%1 Tage</translation>
    </message>
    <message>
        <source>%1 Hour</source>
        <translation>%1 Stunde</translation>
    </message>
    <message>
        <source>%1 Hours</source>
        <translation>%1 Stunden</translation>
    </message>
    <message>
        <source>%1 Minute</source>
        <translation>%1 Minute</translation>
    </message>
    <message>
        <source>%1 Minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>%1 Second</source>
        <translation>%1 Sekunde</translation>
    </message>
    <message>
        <source>%1 Seconds</source>
        <translation>%1 Sekunden</translation>
    </message>
    <message>
        <source>%1 Mb</source>
        <translation>%1 MB</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>%1:</source>
        <translation>%1:</translation>
    </message>
    <message>
        <source>Not stated: this copy was built without a license</source>
        <translation>Nicht angegeben: diese Kopie wurde ohne Lizenz erstellt</translation>
    </message>
    <message>
        <source>%1 (built with)</source>
        <translation>%1 (beim Kompilieren)</translation>
    </message>
    <message>
        <source>Not available: %1</source>
        <translation>Nicht verfügbar: %1</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>License: %1</source>
        <translation>Lizenz: %1</translation>
    </message>
    <message>
        <source>License</source>
        <translation>Lizenz</translation>
    </message>
    <message>
        <source>Libraries</source>
        <translation>Bibliotheken</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ChangeHistoryDialog</name>
    <message>
        <source> on %1</source>
        <translation> auf %1</translation>
    </message>
    <message>
        <source>Time (UTC)</source>
        <translation>Zeit (UTC)</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programm</translation>
    </message>
    <message>
        <source>Operation</source>
        <translation>Vorgang</translation>
    </message>
    <message>
        <source>Object</source>
        <translation>Objekt</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Änderung</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>unknown: %1</source>
        <translation>unbekannt: %1</translation>
    </message>
    <message>
        <source>error %1: %2</source>
        <translation>Fehler %1: %2</translation>
    </message>
    <message>
        <source>(any)</source>
        <translation>(alle)</translation>
    </message>
    <message>
        <source>Change History</source>
        <translation>Änderungsverlauf</translation>
    </message>
    <message>
        <source>Part of a name</source>
        <translation>Teil eines Namens</translation>
    </message>
    <message>
        <source>2024-05-01 or 2024-05-01T12:00 (UTC unless an offset follows)</source>
        <translation>2024-05-01 oder 2024-05-01T12:00 (UTC, sofern kein Versatz folgt)</translation>
    </message>
    <message>
        <source>&amp;Server:</source>
        <translation>&amp;Server:</translation>
    </message>
    <message>
        <source>S&amp;ince:</source>
        <translation>Se&amp;it:</translation>
    </message>
    <message>
        <source>&amp;User:</source>
        <translation>&amp;Benutzer:</translation>
    </message>
    <message>
        <source>&amp;Object:</source>
        <translation>&amp;Objekt:</translation>
    </message>
    <message>
        <source>&amp;Copy as Text</source>
        <translation>Als Text &amp;kopieren</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>Sch&amp;ließen</translation>
    </message>
    <message>
        <source>Reading the journal...</source>
        <translation>Das Journal wird gelesen...</translation>
    </message>
    <message>
        <source>No changes recorded yet.</source>
        <translation>Noch keine Änderungen aufgezeichnet.</translation>
    </message>
    <message>
        <source>%1 changes.</source>
        <translation>%1 Änderungen.</translation>
    </message>
    <message>
        <source>%1 of %2 changes shown.</source>
        <translation>%1 von %2 Änderungen angezeigt.</translation>
    </message>
    <message>
        <source>%1 lines of the journal are not changes and were left out.</source>
        <translation>%1 Zeilen des Journals sind keine Änderungen und wurden ausgelassen.</translation>
    </message>
    <message>
        <source>Since: not a time such as 2024-05-01T12:00.</source>
        <translation>Seit: keine Zeitangabe wie 2024-05-01T12:00.</translation>
    </message>
    <message>
        <source>Changes</source>
        <translation>Änderungen</translation>
    </message>
</context>
<context>
    <name>DatabaseUsersPage</name>
    <message>
        <source>Read</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Insert</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>Erstellen</translation>
    </message>
    <message>
        <source>Alter</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Drop</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Available Database Users</source>
        <translation>Vorhandene Datenbankbenutzer</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>Datenbank</translation>
    </message>
    <message>
        <source>Database User Information</source>
        <translation>Angaben zum Datenbankbenutzer</translation>
    </message>
    <message>
        <source>User Name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Rights to Grant</source>
        <translation>Zu gewährende Rechte</translation>
    </message>
    <message>
        <source>You are currently editing the database user information. Would you like to save this information before continuing ?</source>
        <translation>Sie bearbeiten gerade die Angaben zum Datenbankbenutzer. Möchten Sie diese Angaben speichern, bevor Sie fortfahren?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected database user ?</source>
        <translation>Möchten Sie den ausgewählten Datenbankbenutzer wirklich löschen?</translation>
    </message>
    <message>
        <source>Rights were %1, now %2</source>
        <translation>Rechte waren %1, jetzt %2</translation>
    </message>
    <message>
        <source>Database Users</source>
        <translation>Datenbankbenutzer</translation>
    </message>
</context>
<context>
    <name>DatabasesPage</name>
    <message>
        <source>Available Databases</source>
        <translation>Vorhandene Datenbanken</translation>
    </message>
    <message>
        <source>Database Information</source>
        <translation>Angaben zur Datenbank</translation>
    </message>
    <message>
        <source>Se&amp;lect...</source>
        <translation>Aus&amp;wählen...</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>Verzeichnis</translation>
    </message>
    <message>
        <source>You are currently editing the database information. Would you like to save this information before continuing ?</source>
        <translation>Sie bearbeiten gerade die Angaben zur Datenbank. Möchten Sie diese Angaben speichern, bevor Sie fortfahren?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected database ?</source>
        <translation>Möchten Sie die ausgewählte Datenbank wirklich löschen?</translation>
    </message>
    <message>
        <source>Databases</source>
        <translation>Datenbanken</translation>
    </message>
</context>
<context>
    <name>LogPage</name>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei &quot;%1&quot; kann nicht angelegt werden. %2</translation>
    </message>
    <message>
        <source>Log Entries</source>
        <translation>Protokolleinträge</translation>
    </message>
    <message>
        <source>Search (F3 next, Shift+F3 previous, Esc stops)</source>
        <translation>Suchen (F3 weiter, Umschalt+F3 zurück, Esc beendet)</translation>
    </message>
    <message>
        <source>Re&amp;gex</source>
        <translation>Re&amp;gex</translation>
    </message>
    <message>
        <source>Match &amp;case</source>
        <translation>Groß-/&amp;Kleinschreibung</translation>
    </message>
    <message>
        <source>&amp;Previous</source>
        <translation>&amp;Vorheriger</translation>
    </message>
    <message>
        <source>&amp;Next</source>
        <translation>&amp;Nächster</translation>
    </message>
    <message>
        <source>&amp;Only matching</source>
        <translation>Nur &amp;Treffer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Follo&amp;w</source>
        <translation>&amp;Folgen</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>&amp;Load</source>
        <translation>&amp;Laden</translation>
    </message>
    <message>
        <source>&amp;Save...</source>
        <translation>&amp;Speichern...</translation>
    </message>
    <message>
        <source>Save &amp;Matching...</source>
        <translation>Treffer spei&amp;chern...</translation>
    </message>
    <message>
        <source>Loading the log</source>
        <translation>Das Protokoll wird geladen</translation>
    </message>
    <message>
        <source>Loading cancelled</source>
        <translation>Laden abgebrochen</translation>
    </message>
    <message>
        <source>every %1 s</source>
        <translation>alle %1 s</translation>
    </message>
    <message>
        <source>Not logged in</source>
        <translation>Nicht angemeldet</translation>
    </message>
    <message>
        <source>+%L1 at %2</source>
        <translation>+%L1 um %2</translation>
    </message>
    <message>
        <source>Log was cut: reloaded at %1</source>
        <translation>Protokoll wurde gekürzt: neu geladen um %1</translation>
    </message>
    <message>
        <source>, every %1 s</source>
        <translation>, alle %1 s</translation>
    </message>
    <message>
        <source>Following stopped: %1</source>
        <translation>Folgen beendet: %1</translation>
    </message>
    <message>
        <source>Stopped: %L1 so far</source>
        <translation>Angehalten: bisher %L1</translation>
    </message>
    <message>
        <source>Invalid: %1</source>
        <translation>Ungültig: %1</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <source>Searching: %L1 so far</source>
        <translation>Suche läuft: bisher %L1</translation>
    </message>
    <message>
        <source>1 match</source>
        <translation>1 Treffer</translation>
    </message>
    <message>
        <source>%L1 matches</source>
        <translation>%L1 Treffer</translation>
    </message>
    <message>
        <source>1 line</source>
        <translation>1 Zeile</translation>
    </message>
    <message>
        <source>%L1 lines</source>
        <translation>%L1 Zeilen</translation>
    </message>
    <message>
        <source>(the log holds a zero byte at line %1; the rest is shown after it)</source>
        <translation>(das Protokoll enthält in Zeile %1 ein Null-Byte; der Rest wird danach angezeigt)</translation>
    </message>
    <message>
        <source>Enter a name for the text file</source>
        <translation>Geben Sie einen Namen für die Textdatei ein</translation>
    </message>
    <message>
        <source>Text Files (*.TXT)</source>
        <translation>Textdateien (*.TXT)</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Log lines</source>
        <translation>Protokollzeilen</translation>
    </message>
    <message>
        <source>Search the log</source>
        <translation>Protokoll durchsuchen</translation>
    </message>
    <message>
        <source>Follow interval</source>
        <translation>Intervall beim Folgen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
</context>
<context>
    <name>TLoginDialog</name>
    <message>
        <source>Login</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>Database:</source>
        <translation>Datenbank:</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>&amp;User Name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Kennwort:</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Remote Login</source>
        <translation>Anmeldung am Server</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Login to Server</source>
        <translation>Am Server &amp;anmelden</translation>
    </message>
    <message>
        <source>Login to the Server</source>
        <translation>Am Server anmelden</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>&amp;Optionen...</translation>
    </message>
    <message>
        <source>Change options</source>
        <translation>Optionen ändern</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>B&amp;eenden</translation>
    </message>
    <message>
        <source>Exit application</source>
        <translation>Anwendung beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;About %1...</source>
        <translation>Ü&amp;ber %1...</translation>
    </message>
    <message>
        <source>Version, libraries, license and the files this program uses</source>
        <translation>Version, Bibliotheken, Lizenz und die Dateien, die dieses Programm verwendet</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>Change journal</source>
        <translation>Änderungsjournal</translation>
    </message>
    <message>
        <source>SSH known_hosts</source>
        <translation>SSH known_hosts</translation>
    </message>
    <message>
        <source>%1/.ssh/known_hosts (unless ~/.ssh/config or a profile names another)</source>
        <translation>%1/.ssh/known_hosts (sofern ~/.ssh/config oder ein Profil keine andere nennt)</translation>
    </message>
    <message>
        <source>Trace</source>
        <translation>Ablaufprotokoll</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Change &amp;History...</source>
        <translation>Ä&amp;nderungsverlauf...</translation>
    </message>
    <message>
        <source>The changes sent to servers from this account</source>
        <translation>Die von diesem Konto an Server gesendeten Änderungen</translation>
    </message>
    <message>
        <source>Not connected to a server.
Choose File, Login to Server to connect.</source>
        <translation>Nicht mit einem Server verbunden.
Wählen Sie Datei, Am Server anmelden, um eine Verbindung herzustellen.</translation>
    </message>
    <message>
        <source>New &amp;Window...</source>
        <translation>Neues &amp;Fenster...</translation>
    </message>
    <message>
        <source>Open another window on another server</source>
        <translation>Ein weiteres Fenster für einen anderen Server öffnen</translation>
    </message>
</context>
<context>
    <name>TOptionsDlg</name>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Defaults</source>
        <translation>Standardwerte</translation>
    </message>
    <message>
        <source>Remote Session Settings</source>
        <translation>Einstellungen der Serversitzung</translation>
    </message>
    <message>
        <source>Enable Tracing</source>
        <translation>Ablaufverfolgung aktivieren</translation>
    </message>
    <message>
        <source>Keep trace file after exit</source>
        <translation>Ablaufprotokoll nach dem Beenden behalten</translation>
    </message>
    <message>
        <source>View Trace Log...</source>
        <translation>Ablaufprotokoll anzeigen...</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>ProfilesDialog</name>
    <message>
        <source>Connection Profiles</source>
        <translation>Verbindungsprofile</translation>
    </message>
    <message>
        <source>&amp;Name</source>
        <translation>&amp;Name</translation>
    </message>
    <message>
        <source>&amp;User Name</source>
        <translation>&amp;Benutzername</translation>
    </message>
    <message>
        <source>Keep the password in the keyring</source>
        <translation>Kennwort im Schlüsselbund speichern</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>Hin&amp;zufügen</translation>
    </message>
    <message>
        <source>D&amp;uplicate</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Sa&amp;ve</source>
        <translation>Spei&amp;chern</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Test Connection</source>
        <translation>Verbindung &amp;testen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>Schließ&amp;en</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>New profile</source>
        <translation>Neues Profil</translation>
    </message>
    <message>
        <source>%1 copy</source>
        <translation>%1 Kopie</translation>
    </message>
    <message>
        <source>A profile named %1 already exists</source>
        <translation>Ein Profil namens %1 ist bereits vorhanden</translation>
    </message>
    <message>
        <source>Delete the profile %1?</source>
        <translation>Das Profil %1 löschen?</translation>
    </message>
    <message>
        <source>The kept password could not be removed from the keyring: %1</source>
        <translation>Das gespeicherte Kennwort konnte nicht aus dem Schlüsselbund entfernt werden: %1</translation>
    </message>
    <message>
        <source>Renamed %1 to %2. %3</source>
        <translation>%1 in %2 umbenannt. %3</translation>
    </message>
    <message>
        <source>Testing...</source>
        <translation>Test läuft...</translation>
    </message>
    <message>
        <source>Testing %1</source>
        <translation>%1 wird getestet</translation>
    </message>
    <message>
        <source>Connected to the server %1 as %2.</source>
        <translation>Mit dem Server %1 als %2 verbunden.</translation>
    </message>
    <message>
        <source>Connected to the server %1 as %2 through the SSH server %3.</source>
        <translation>Mit dem Server %1 als %2 über den SSH-Server %3 verbunden.</translation>
    </message>
    <message>
        <source>Test cancelled.</source>
        <translation>Test abgebrochen.</translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>The profile %1 has changes that are not saved. Would you like to save them?</source>
        <translation>Das Profil %1 hat Änderungen, die nicht gespeichert sind. Möchten Sie sie speichern?</translation>
    </message>
</context>
<context>
    <name>RightsPage</name>
    <message>
        <source>R&amp;ead</source>
        <translation>Les&amp;en</translation>
    </message>
    <message>
        <source>&amp;Insert</source>
        <translation>E&amp;infügen</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>Akt&amp;ualisieren</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Crea&amp;te</source>
        <translation>Ers&amp;tellen</translation>
    </message>
    <message>
        <source>&amp;Alter</source>
        <translation>Ä&amp;ndern</translation>
    </message>
    <message>
        <source>Dr&amp;op</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message>
        <source>user or database name</source>
        <translation>Benutzer- oder Datenbankname</translation>
    </message>
    <message>
        <source>Databases as rows</source>
        <translation>Datenbanken als Zeilen</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>Neu la&amp;den</translation>
    </message>
    <message>
        <source>Fi&amp;lter</source>
        <translation>Filte&amp;r</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Selected cells</source>
        <translation>Ausgewählte Zellen</translation>
    </message>
    <message>
        <source>&amp;Set</source>
        <translation>&amp;Setzen</translation>
    </message>
    <message>
        <source>&amp;Grant</source>
        <translation>&amp;Gewähren</translation>
    </message>
    <message>
        <source>Re&amp;voke</source>
        <translation>Ent&amp;ziehen</translation>
    </message>
    <message>
        <source>&amp;Not a Database User</source>
        <translation>&amp;Kein Datenbankbenutzer</translation>
    </message>
    <message>
        <source>&amp;Copy Rights from User</source>
        <translation>Rechte &amp;von Benutzer kopieren</translation>
    </message>
    <message>
        <source>Sort the rows by name; click again to reverse</source>
        <translation>Zeilen nach Namen sortieren; erneut klicken kehrt die Reihenfolge um</translation>
    </message>
    <message>
        <source>Reading the rights...</source>
        <translation>Die Rechte werden gelesen...</translation>
    </message>
    <message>
        <source>Reading cancelled: %1.</source>
        <translation>Lesen abgebrochen: %1.</translation>
    </message>
    <message>
        <source>Not logged in.</source>
        <translation>Nicht angemeldet.</translation>
    </message>
    <message>
        <source>Waiting for other work to end...</source>
        <translation>Warten auf das Ende anderer Arbeiten...</translation>
    </message>
    <message>
        <source>Reading interrupted by another command: %1. Refresh reads again.</source>
        <translation>Lesen durch einen anderen Befehl unterbrochen: %1. Neu laden liest erneut.</translation>
    </message>
    <message>
        <source>Reading stopped: %1.</source>
        <translation>Lesen angehalten: %1.</translation>
    </message>
    <message>
        <source>%1 of %2 databases read</source>
        <translation>%1 von %2 Datenbanken gelesen</translation>
    </message>
    <message>
        <source>%1 users, %2 databases</source>
        <translation>%1 Benutzer, %2 Datenbanken</translation>
    </message>
    <message>
        <source>Rights</source>
        <translation>Rechte</translation>
    </message>
    <message>
        <source>Select the users to copy to in the grid, and the user to copy from.</source>
        <translation>Wählen Sie im Raster die Benutzer, auf die kopiert werden soll, und den Benutzer, von dem kopiert werden soll.</translation>
    </message>
    <message>
        <source>The rights are not all read yet: refresh the grid first.</source>
        <translation>Die Rechte sind noch nicht alle gelesen: laden Sie das Raster zuerst neu.</translation>
    </message>
    <message>
        <source>&amp;Edit Rights</source>
        <translation>Rechte &amp;bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Set Rights to %1</source>
        <translation>Rechte auf %1 &amp;setzen</translation>
    </message>
    <message>
        <source>&amp;Set No Rights</source>
        <translation>Keine Rechte &amp;setzen</translation>
    </message>
    <message>
        <source>&amp;Grant %1</source>
        <translation>%1 &amp;gewähren</translation>
    </message>
    <message>
        <source>&amp;Grant Ticked Rights</source>
        <translation>Angekreuzte Rechte &amp;gewähren</translation>
    </message>
    <message>
        <source>Re&amp;voke %1</source>
        <translation>%1 ent&amp;ziehen</translation>
    </message>
    <message>
        <source>Re&amp;voke Ticked Rights</source>
        <translation>Angekreuzte Rechte ent&amp;ziehen</translation>
    </message>
    <message>
        <source>Nothing to change.</source>
        <translation>Nichts zu ändern.</translation>
    </message>
    <message>
        <source>%1. Send these changes?</source>
        <translation>%1. Diese Änderungen senden?</translation>
    </message>
    <message>
        <source>Another administrator changed these since the grid was read:
%1Overwrite them too? (No skips them.)</source>
        <translation>Ein anderer Administrator hat diese geändert, seit das Raster gelesen wurde:
%1Auch diese überschreiben? (Nein überspringt sie.)</translation>
    </message>
    <message>
        <source>Rights of users on databases</source>
        <translation>Rechte der Benutzer an Datenbanken</translation>
    </message>
    <message>
        <source>User to copy from</source>
        <translation>Benutzer, von dem kopiert wird</translation>
    </message>
    <message>
        <source>... and %1 more
</source>
        <translation>... und %1 weitere
</translation>
    </message>
</context>
<context>
    <name>ServerPage</name>
    <message>
        <source>Not a recognised address pattern</source>
        <translation>Kein bekanntes Adressmuster</translation>
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
        <source>Deny New Connections</source>
        <translation>Neue Verbindungen ablehnen</translation>
    </message>
    <message>
        <source>Max # of Connections</source>
        <translation>Max. Anzahl Verbindungen</translation>
    </message>
    <message>
        <source>Connection Timeout</source>
        <translation>Verbindungs-Timeout</translation>
    </message>
    <message>
        <source>Dead Session Cleanup Interval</source>
        <translation>Bereinigungsintervall für tote Sitzungen</translation>
    </message>
    <message>
        <source>Dead Session Expiration</source>
        <translation>Ablaufzeit toter Sitzungen</translation>
    </message>
    <message>
        <source>Maximum # of Dead Sessions</source>
        <translation>Maximale Anzahl toter Sitzungen</translation>
    </message>
    <message>
        <source>Temp Files Directory</source>
        <translation>Verzeichnis für temporäre Dateien</translation>
    </message>
    <message>
        <source>Authorized Addresses</source>
        <translation>Zugelassene Adressen</translation>
    </message>
    <message>
        <source>Blocked Addresses</source>
        <translation>Gesperrte Adressen</translation>
    </message>
    <message>
        <source>Server configuration</source>
        <translation>Serverkonfiguration</translation>
    </message>
    <message>
        <source>Save anyway?</source>
        <translation>Trotzdem speichern?</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>&apos;%1&apos; ist keine gültige Ganzzahl</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is out of range for &quot;%2&quot;: enter a number from 0 to 65535</source>
        <translation>&apos;%1&apos; liegt außerhalb des Bereichs für &quot;%2&quot;: geben Sie eine Zahl von 0 bis 65535 ein</translation>
    </message>
    <message>
        <source>A line of &quot;%1&quot; is longer than 255 bytes: &apos;%2&apos;</source>
        <translation>Eine Zeile von &quot;%1&quot; ist länger als 255 Bytes: &apos;%2&apos;</translation>
    </message>
    <message>
        <source>Server Information</source>
        <translation>Serverangaben</translation>
    </message>
    <message>
        <source>Se&amp;lect...</source>
        <translation>Aus&amp;wählen...</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>secs</source>
        <translation>Sek.</translation>
    </message>
    <message>
        <source>You are currently editing the server information. Would you like to save this information before continuing ?</source>
        <translation>Sie bearbeiten gerade die Serverangaben. Möchten Sie diese Angaben speichern, bevor Sie fortfahren?</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Server</translation>
    </message>
</context>
<context>
    <name>ServersPage</name>
    <message>
        <source>Search servers</source>
        <translation>Server durchsuchen</translation>
    </message>
    <message>
        <source>Name, where or state</source>
        <translation>Name, Adresse oder Zustand</translation>
    </message>
    <message>
        <source>&amp;Search:</source>
        <translation>&amp;Suchen:</translation>
    </message>
    <message>
        <source>Check every</source>
        <translation>Prüfintervall</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>30 s</source>
        <translation>30 s</translation>
    </message>
    <message>
        <source>1 min</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>5 min</source>
        <translation>5 min</translation>
    </message>
    <message>
        <source>Check &amp;every:</source>
        <translation>&amp;Prüfintervall:</translation>
    </message>
    <message>
        <source>Check &amp;Now</source>
        <translation>&amp;Jetzt prüfen</translation>
    </message>
    <message>
        <source>Check now</source>
        <translation>Jetzt prüfen</translation>
    </message>
    <message>
        <source>Check every server again (F5)</source>
        <translation>Alle Server erneut prüfen (F5)</translation>
    </message>
    <message>
        <source>Servers</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Every profile and the state of its server; Enter logs in</source>
        <translation>Jedes Profil und der Zustand seines Servers; die Eingabetaste meldet an</translation>
    </message>
    <message>
        <source>Servers and their states</source>
        <translation>Server und ihre Zustände</translation>
    </message>
</context>
<context>
    <name>SshQuestionDialog</name>
    <message>
        <source>Unknown SSH Host Key</source>
        <translation>Unbekannter SSH-Hostschlüssel</translation>
    </message>
    <message>
        <source>The SSH server %1 is not known yet: its host key is not in your known_hosts file.</source>
        <translation>Der SSH-Server %1 ist noch nicht bekannt: sein Hostschlüssel steht nicht in Ihrer known_hosts-Datei.</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Key type:</source>
        <translation>Schlüsseltyp:</translation>
    </message>
    <message>
        <source>Fingerprint:</source>
        <translation>Fingerabdruck:</translation>
    </message>
    <message>
        <source>Trust it only if this fingerprint is the one the server&apos;s administrator gave you. &quot;Trust and remember&quot; adds the key to known_hosts; should the server ever offer another key, the connection is refused.</source>
        <translation>Vertrauen Sie ihm nur, wenn dieser Fingerabdruck derjenige ist, den Ihnen der Administrator des Servers genannt hat. &quot;Vertrauen und merken&quot; fügt den Schlüssel zu known_hosts hinzu; bietet der Server je einen anderen Schlüssel an, wird die Verbindung abgelehnt.</translation>
    </message>
    <message>
        <source>Trust and remember</source>
        <translation>Vertrauen und merken</translation>
    </message>
    <message>
        <source>SSH Key Passphrase</source>
        <translation>SSH-Schlüssel-Passphrase</translation>
    </message>
    <message>
        <source>SSH Password</source>
        <translation>SSH-Kennwort</translation>
    </message>
    <message>
        <source>SSH Login</source>
        <translation>SSH-Anmeldung</translation>
    </message>
    <message>
        <source>Wrong passphrase, try again.</source>
        <translation>Falsche Passphrase, bitte erneut versuchen.</translation>
    </message>
    <message>
        <source>Refused, try again.</source>
        <translation>Abgelehnt, bitte erneut versuchen.</translation>
    </message>
    <message>
        <source>&amp;Keep in the keyring</source>
        <translation>Im Schlüsselbund &amp;behalten</translation>
    </message>
</context>
<context>
    <name>SshSection</name>
    <message>
        <source>SSH server unreachable</source>
        <translation>SSH-Server nicht erreichbar</translation>
    </message>
    <message>
        <source>SSH host key unknown</source>
        <translation>SSH-Hostschlüssel unbekannt</translation>
    </message>
    <message>
        <source>SSH host key changed</source>
        <translation>SSH-Hostschlüssel geändert</translation>
    </message>
    <message>
        <source>SSH host key refused</source>
        <translation>SSH-Hostschlüssel abgelehnt</translation>
    </message>
    <message>
        <source>SSH authentication refused</source>
        <translation>SSH-Authentifizierung abgelehnt</translation>
    </message>
    <message>
        <source>Forwarding refused by the SSH server</source>
        <translation>Weiterleitung vom SSH-Server abgelehnt</translation>
    </message>
    <message>
        <source>KORVEL server refused behind the bastion</source>
        <translation>KORVEL-Server hinter der Bastion hat abgelehnt</translation>
    </message>
    <message>
        <source>SSH server lost</source>
        <translation>SSH-Server verloren</translation>
    </message>
    <message>
        <source>SSH failure</source>
        <translation>SSH-Fehler</translation>
    </message>
    <message>
        <source>Connect through SSH</source>
        <translation>Über SSH verbinden</translation>
    </message>
    <message>
        <source>none: a direct connection</source>
        <translation>keiner: eine direkte Verbindung</translation>
    </message>
    <message>
        <source>your local user name</source>
        <translation>Ihr lokaler Benutzername</translation>
    </message>
    <message>
        <source>The SSH server (bastion) to connect through: a host name, an address or a Host of ~/.ssh/config</source>
        <translation>Der SSH-Server (Bastion), über den verbunden wird: ein Hostname, eine Adresse oder ein Host aus ~/.ssh/config</translation>
    </message>
    <message>
        <source>Choose the private key file</source>
        <translation>Datei mit dem privaten Schlüssel auswählen</translation>
    </message>
    <message>
        <source>SSH Identity &amp;File</source>
        <translation>SSH-&amp;Schlüsseldatei</translation>
    </message>
    <message>
        <source>Host and port above: as the SSH server sees them.</source>
        <translation>Host und Port oben: so, wie der SSH-Server sie sieht.</translation>
    </message>
    <message>
        <source>Through SSH, the KORVEL server&apos;s host name or IP address and port are as the SSH server sees them, often 127.0.0.1 when the KORVEL server runs on the SSH server itself</source>
        <translation>Über SSH sind Hostname bzw. IP-Adresse und Port des KORVEL-Servers so anzugeben, wie der SSH-Server sie sieht, oft 127.0.0.1, wenn der KORVEL-Server auf dem SSH-Server selbst läuft</translation>
    </message>
    <message>
        <source>SSH H&amp;ost</source>
        <translation>SSH-H&amp;ost</translation>
    </message>
    <message>
        <source>SSH Po&amp;rt</source>
        <translation>SSH-Po&amp;rt</translation>
    </message>
    <message>
        <source>SSH Us&amp;er</source>
        <translation>SSH-Ben&amp;utzer</translation>
    </message>
    <message>
        <source>The SSH port must be between 0 and 65535</source>
        <translation>Der SSH-Port muss zwischen 0 und 65535 liegen</translation>
    </message>
    <message>
        <source>The SSH Host must be a host name or address alone (the port and user have fields of their own): %1</source>
        <translation>Der SSH-Host muss ein Hostname oder eine Adresse allein sein (Port und Benutzer haben eigene Felder): %1</translation>
    </message>
    <message>
        <source>Select the SSH private key</source>
        <translation>Privaten SSH-Schlüssel auswählen</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>agent, ~/.ssh/id_*</source>
        <translation>Agent, ~/.ssh/id_*</translation>
    </message>
    <message>
        <source>Empty: the agent&apos;s keys, then ~/.ssh/id_*</source>
        <translation>Leer: die Schlüssel des Agenten, dann ~/.ssh/id_*</translation>
    </message>
</context>
<context>
    <name>StatusPage</name>
    <message>
        <source>All addresses</source>
        <translation>Alle Adressen</translation>
    </message>
    <message>
        <source>Server Status</source>
        <translation>Serverstatus</translation>
    </message>
    <message>
        <source>Sessions</source>
        <translation>Sitzungen</translation>
    </message>
    <message>
        <source>Sessions and memory over the last hour</source>
        <translation>Sitzungen und Speicher in der letzten Stunde</translation>
    </message>
    <message>
        <source>Re&amp;move</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>&amp;Trennen</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>Sto&amp;ppen</translation>
    </message>
    <message>
        <source>Refresh by itself</source>
        <translation>Selbsttätig aktualisieren</translation>
    </message>
    <message>
        <source>Auto off</source>
        <translation>Automatik aus</translation>
    </message>
    <message>
        <source>Every %1 s</source>
        <translation>Alle %1 s</translation>
    </message>
    <message>
        <source>Total Sessions</source>
        <translation>Sitzungen gesamt</translation>
    </message>
    <message>
        <source>Total Connected Sessions</source>
        <translation>Verbundene Sitzungen</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Engine</translation>
    </message>
    <message>
        <source>Memory Usage</source>
        <translation>Speicherbelegung</translation>
    </message>
    <message>
        <source>Main Address</source>
        <translation>Hauptadresse</translation>
    </message>
    <message>
        <source>Main Port</source>
        <translation>Hauptport</translation>
    </message>
    <message>
        <source>Admin Address</source>
        <translation>Verwaltungsadresse</translation>
    </message>
    <message>
        <source>Admin Port</source>
        <translation>Verwaltungsport</translation>
    </message>
    <message>
        <source>Up Time</source>
        <translation>Laufzeit</translation>
    </message>
    <message>
        <source>Filter by user or address</source>
        <translation>Nach Benutzer oder Adresse filtern</translation>
    </message>
    <message>
        <source>Hide d&amp;ead sessions</source>
        <translation>Tote Sitzungen aus&amp;blenden</translation>
    </message>
    <message>
        <source>F&amp;ilter</source>
        <translation>F&amp;ilter</translation>
    </message>
    <message>
        <source>KORVEL Version %1</source>
        <translation>KORVEL-Version %1</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Shown: %1 / %2</source>
        <translation>Angezeigt: %1 / %2</translation>
    </message>
    <message>
        <source>Auto-refresh stopped: %1</source>
        <translation>Automatische Aktualisierung angehalten: %1</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>This session is currently connected and may be in use by another application.  Disconnecting this session could cause fatal errors in any application that is using this session. Are you sure you want to disconnect this session ?</source>
        <translation>Diese Sitzung ist zurzeit verbunden und wird möglicherweise von einer anderen Anwendung verwendet. Das Trennen dieser Sitzung kann in jeder Anwendung, die diese Sitzung verwendet, schwere Fehler verursachen. Möchten Sie diese Sitzung wirklich trennen?</translation>
    </message>
    <message>
        <source>This session is currently connected and may be in use by another application.  Removing this session could cause fatal errors in any application that is using this session. Are you sure you want to remove this session ?</source>
        <translation>Diese Sitzung ist zurzeit verbunden und wird möglicherweise von einer anderen Anwendung verwendet. Das Entfernen dieser Sitzung kann in jeder Anwendung, die diese Sitzung verwendet, schwere Fehler verursachen. Möchten Sie diese Sitzung wirklich entfernen?</translation>
    </message>
    <message>
        <source>Are you sure you want to remove this session ?</source>
        <translation>Möchten Sie diese Sitzung wirklich entfernen?</translation>
    </message>
    <message>
        <source>These sessions are currently connected and may be in use by other applications.  Disconnecting these sessions could cause fatal errors in any application that is using these sessions. Are you sure you want to disconnect these %1 sessions ?</source>
        <translation>Diese Sitzungen sind zurzeit verbunden und werden möglicherweise von anderen Anwendungen verwendet. Das Trennen dieser Sitzungen kann in jeder Anwendung, die diese Sitzungen verwendet, schwere Fehler verursachen. Möchten Sie diese %1 Sitzungen wirklich trennen?</translation>
    </message>
    <message>
        <source>Are you sure you want to remove these %1 sessions ?</source>
        <translation>Möchten Sie diese %1 Sitzungen wirklich entfernen?</translation>
    </message>
    <message>
        <source>Some of these sessions are currently connected and may be in use by other applications.  Removing these sessions could cause fatal errors in any application that is using these sessions. Are you sure you want to remove these %1 sessions ?</source>
        <translation>Einige dieser Sitzungen sind zurzeit verbunden und werden möglicherweise von anderen Anwendungen verwendet. Das Entfernen dieser Sitzungen kann in jeder Anwendung, die diese Sitzungen verwendet, schwere Fehler verursachen. Möchten Sie diese %1 Sitzungen wirklich entfernen?</translation>
    </message>
    <message>
        <source>There are active sessions currently connected and stopping the server will disconnect these active sessions, are you sure you want to stop the server ?</source>
        <translation>Es sind zurzeit aktive Sitzungen verbunden, und das Stoppen des Servers trennt diese aktiven Sitzungen. Möchten Sie den Server wirklich stoppen?</translation>
    </message>
    <message>
        <source>Removed %1 of %2 sessions.</source>
        <translation>%1 von %2 Sitzungen entfernt.</translation>
    </message>
    <message>
        <source>Disconnected %1 of %2 sessions.</source>
        <translation>%1 von %2 Sitzungen getrennt.</translation>
    </message>
    <message>
        <source>%1 selected sessions had no connection and were skipped.</source>
        <translation>%1 ausgewählte Sitzungen hatten keine Verbindung und wurden übersprungen.</translation>
    </message>
    <message>
        <source>The server refused the request for session %1.</source>
        <translation>Der Server hat die Anfrage für Sitzung %1 abgelehnt.</translation>
    </message>
    <message>
        <source>The first failure: %1</source>
        <translation>Der erste Fehler: %1</translation>
    </message>
    <message>
        <source>Automatic refresh</source>
        <translation>Automatisch aktualisieren</translation>
    </message>
</context>
<context>
    <name>TTraceLogDlg</name>
    <message>
        <source>Trace Log</source>
        <translation>Ablaufprotokoll</translation>
    </message>
    <message>
        <source>Trace Messages</source>
        <translation>Ablaufmeldungen</translation>
    </message>
    <message>
        <source>Filter (any column)</source>
        <translation>Filter (beliebige Spalte)</translation>
    </message>
    <message>
        <source>&amp;Clear Trace Log</source>
        <translation>Ablaufprotokoll &amp;leeren</translation>
    </message>
    <message>
        <source>Copy as &amp;Text</source>
        <translation>Als &amp;Text kopieren</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Are you sure you want to clear the current trace log messages ?</source>
        <translation>Möchten Sie die aktuellen Meldungen des Ablaufprotokolls wirklich löschen?</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Trace messages</source>
        <translation>Ablaufmeldungen</translation>
    </message>
</context>
<context>
    <name>UsersPage</name>
    <message>
        <source>Available Users</source>
        <translation>Vorhandene Benutzer</translation>
    </message>
    <message>
        <source>User Information</source>
        <translation>Angaben zum Benutzer</translation>
    </message>
    <message>
        <source>Administrator</source>
        <translation>Administrator</translation>
    </message>
    <message>
        <source>User Name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>You are currently editing the user information. Would you like to save this information before continuing ?</source>
        <translation>Sie bearbeiten gerade die Angaben zum Benutzer. Möchten Sie diese Angaben speichern, bevor Sie fortfahren?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the selected user ?</source>
        <translation>Möchten Sie den ausgewählten Benutzer wirklich löschen?</translation>
    </message>
    <message>
        <source>Password changed</source>
        <translation>Kennwort geändert</translation>
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
        <source>Administrator was %1, now %2</source>
        <translation>Administrator war %1, jetzt %2</translation>
    </message>
    <message>
        <source>Users</source>
        <translation>Benutzer</translation>
    </message>
</context>
<context>
    <name>TraceFile</name>
    <message>
        <source>Cannot open the trace file: %1</source>
        <translation>Das Ablaufprotokoll kann nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>Cannot open the trace file %1: %2</source>
        <translation>Das Ablaufprotokoll %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Cannot read the trace file: %1</source>
        <translation>Das Ablaufprotokoll kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Cannot read the trace file %1: %2</source>
        <translation>Das Ablaufprotokoll %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>Cannot clear the trace file: %1</source>
        <translation>Das Ablaufprotokoll kann nicht geleert werden: %1</translation>
    </message>
</context>
<context>
    <name>TraceTableModel</name>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Request</source>
        <translation>Anfrage</translation>
    </message>
    <message>
        <source>Reply</source>
        <translation>Antwort</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>Richtung</translation>
    </message>
    <message>
        <source>Wire bytes</source>
        <translation>Bytes übertragen</translation>
    </message>
    <message>
        <source>Uncompressed</source>
        <translation>Unkomprimiert</translation>
    </message>
    <message>
        <source>Reply code</source>
        <translation>Antwortcode</translation>
    </message>
    <message>
        <source>Reply ms</source>
        <translation>Antwort ms</translation>
    </message>
</context>
<context>
    <name>WaitIndicator</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stop waiting for the server (Esc)</source>
        <translation>Nicht länger auf den Server warten (Esc)</translation>
    </message>
    <message>
        <source>Waiting for %1</source>
        <translation>Warten auf %1</translation>
    </message>
    <message>
        <source>Cancelled; the change may have been made: Refresh to see</source>
        <translation>Abgebrochen; die Änderung wurde möglicherweise ausgeführt: Aktualisieren zeigt es</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source> (%1 s)</source>
        <translation> (%1 s)</translation>
    </message>
</context>
<context>
    <name>WindowTitle</name>
    <message>
        <source>%1 (Connected to %2 - %3)</source>
        <translation>%1 (Verbunden mit %2 - %3)</translation>
    </message>
</context>
</TS>
