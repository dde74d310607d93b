<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Velmorant::UiConfigurationWindow</name>
    <message>
        <source>Francais</source>
        <translation>Français</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>TitleText</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>SelectScreenText</source>
        <translation>Screen to share</translation>
    </message>
    <message>
        <source>UserNameText</source>
        <translation>Name shown on the room display</translation>
    </message>
    <message>
        <source>CaptureDestinationText</source>
        <translation>Folder for screen captures</translation>
    </message>
    <message>
        <source>WidgetOnTopText</source>
        <translation>Always keep Velmorant Client in front of other windows</translation>
    </message>
    <message>
        <source>RemoteControlText</source>
        <translation>Allow the room display to take control of your screen</translation>
    </message>
    <message>
        <source>SelectLanguageText</source>
        <translation>Interface language</translation>
    </message>
    <message>
        <source>LanguageChangeWarningText</source>
        <translation>Restart the application to change the language</translation>
    </message>
    <message>
        <source>Import the network configuration file</source>
        <translation>Import the network configuration file</translation>
    </message>
    <message>
        <source>File successfully deployed</source>
        <translation>File successfully deployed</translation>
    </message>
    <message>
        <source>File failed to deploy</source>
        <translation>File failed to deploy</translation>
    </message>
    <message>
        <source>File failed to deploy : administrator right required. Restart Velmorant Client in administrator mode ?</source>
        <translation>File failed to deploy : administrator right required. Restart Velmorant Client in administrator mode ?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>Screen</source>
        <translation>Screen</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Open Directory</translation>
    </message>
    <message>
        <source>Choose network file</source>
        <translation>Choose network file</translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation>JSON (*.json)</translation>
    </message>
    <message>
        <source>Permission Required</source>
        <translation>Permission Required</translation>
    </message>
    <message>
        <source>Administrative privileges are required to perform this action.</source>
        <translation>Administrative privileges are required to perform this action.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>An error occurred while attempting to elevate privileges.</source>
        <translation>An error occurred while attempting to elevate privileges.</translation>
    </message>
</context>
<context>
    <name>UiCodeWindow</name>
    <message>
        <source>%X% / %Y% users.</source>
        <translation>%X% / %Y% users.</translation>
    </message>
    <message>
        <source>No user.</source>
        <translation>No user.</translation>
    </message>
    <message>
        <source>Meeting is full.</source>
        <translation>Meeting is full.</translation>
    </message>
    <message>
        <source>Connexion</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>Enter Code</source>
        <translation>Enter Code</translation>
    </message>
    <message>
        <source>no server found</source>
        <translation>no server found</translation>
    </message>
</context>
<context>
    <name>UiFreeWindow</name>
    <message>
        <source>Update available</source>
        <translation>Update available</translation>
    </message>
    <message>
        <source>Apply Update</source>
        <translation>Apply the update?</translation>
    </message>
    <message>
        <source>Update Needed</source>
        <translation>Update required</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Downloading Update</source>
        <translation>Downloading the update</translation>
    </message>
    <message>
        <source>Update error - Client to recent</source>
        <translation>Update error: client too recent</translation>
    </message>
    <message>
        <source>Update error - No Update</source>
        <translation>Update error: no update available</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Velmorant</source>
        <translation>Velmorant</translation>
    </message>
    <message>
        <source>Page internet</source>
        <translation>Web page</translation>
    </message>
    <message>
        <source>URL invalide</source>
        <translation>Invalid URL</translation>
    </message>
    <message>
        <source>Réglages</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Importer le fichier de configuration</source>
        <translation>Import the network configuration file</translation>
    </message>
    <message>
        <source>Importé avec succès</source>
        <translation>Imported successfully</translation>
    </message>
    <message>
        <source>L'importation a échoué</source>
        <translation>Import failed</translation>
    </message>
    <message>
        <source>L'importation a échoué : droits administrateur requis. Relancer Velmorant Client en mode administrateur ?</source>
        <translation>Import failed: administrator rights required. Restart Velmorant Client as administrator?</translation>
    </message>
    <message>
        <source>Ecran à partager</source>
        <translation>Screen to share</translation>
    </message>
    <message>
        <source>Nom affiché sur l'écran collaboratif</source>
        <translation>Name shown on the room display</translation>
    </message>
    <message>
        <source>Destination des captures d'écran</source>
        <translation>Screenshot folder</translation>
    </message>
    <message>
        <source>Toujours laisser le client Velmorant au premier plan</source>
        <translation>Always keep Velmorant Client on top</translation>
    </message>
    <message>
        <source>Autoriser la prise de contrôle de votre écran à distance</source>
        <translation>Allow the room to control your screen remotely</translation>
    </message>
    <message>
        <source>Langue de l'interface</source>
        <translation>Interface language</translation>
    </message>
    <message>
        <source>Redémarrage de l'application nécessaire</source>
        <translation>Restart the application to apply the change</translation>
    </message>
    <message>
        <source>StartStreamText</source>
        <translation>Share my screen</translation>
    </message>
    <message>
        <source>StopStreamText</source>
        <translation>Stop sharing</translation>
    </message>
    <message>
        <source>PauseStreamText</source>
        <translation>Pause or resume sharing</translation>
    </message>
    <message>
        <source>FullScreenMaximizeStreamText</source>
        <translation>Show full screen in the room</translation>
    </message>
    <message>
        <source>FullScreenMinimizeStreamText</source>
        <translation>Leave full screen</translation>
    </message>
    <message>
        <source>SendFileText</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>SendCaptureText</source>
        <translation>Send a capture of my screen</translation>
    </message>
    <message>
        <source>SendWebText</source>
        <translation>Send a web link</translation>
    </message>
    <message>
        <source>SendNoteText</source>
        <translation>Send a note</translation>
    </message>
    <message>
        <source>OpenConfigurationText</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>DisconnectText</source>
        <translation>Leave the room</translation>
    </message>
    <message>
        <source>GetCaptureText</source>
        <translation>Get a capture of the room display</translation>
    </message>
</context>
<context>
    <name>Velmorant::Advanced::UiMainWindowAdvanced</name>
    <message>
        <source>sendFile.dialog.title</source>
        <translation>Send files to the room</translation>
    </message>
    <message>
        <source>sendFile.dialog.filter</source>
        <translation>Files the room accepts</translation>
    </message>
    <message>
        <source>sendFile.tooLarge.title</source>
        <translation>File too large</translation>
    </message>
    <message>
        <source>sendFile.tooLarge.text</source>
        <translation>"%1" was not sent: the room cannot receive files of 2 GB or more.</translation>
    </message>
    <message>
        <source>capture.save.title</source>
        <translation>Save the capture of the room</translation>
    </message>
    <message>
        <source>capture.save.filter</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>capture.filename.suffix</source>
        <translation>room capture</translation>
    </message>
    <message>
        <source>localCaptureToVelmorant.filename.suffix</source>
        <translation>my screen</translation>
    </message>
    <message>
        <source>capture.error.refused.title</source>
        <translation>Capture refused</translation>
    </message>
    <message>
        <source>capture.error.refused.text</source>
        <translation>The room does not allow captures of its display.</translation>
    </message>
    <message>
        <source>capture.error.generic.title</source>
        <translation>Capture failed</translation>
    </message>
    <message>
        <source>capture.error.generic.text</source>
        <translation>The room could not provide a capture. Try again in a moment.</translation>
    </message>
</context>
<context>
    <name>Velmorant::Advanced::UiWebWindowAdvanced</name>
    <message>
        <source>Invalid URL</source>
        <translation>Invalid URL</translation>
    </message>
</context>
</TS>
