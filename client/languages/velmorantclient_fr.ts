<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
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
        <translation>Réglages</translation>
    </message>
    <message>
        <source>SelectScreenText</source>
        <translation>Écran à partager</translation>
    </message>
    <message>
        <source>UserNameText</source>
        <translation>Nom affiché sur l'écran collaboratif</translation>
    </message>
    <message>
        <source>CaptureDestinationText</source>
        <translation>Destination des captures d'écran</translation>
    </message>
    <message>
        <source>WidgetOnTopText</source>
        <translation>Toujours laisser le client Velmorant au premier plan</translation>
    </message>
    <message>
        <source>RemoteControlText</source>
        <translation>Autoriser la prise de contrôle de votre écran à distance</translation>
    </message>
    <message>
        <source>SelectLanguageText</source>
        <translation>Langue de l'interface</translation>
    </message>
    <message>
        <source>LanguageChangeWarningText</source>
        <translation>Redémarrage de l'application nécessaire</translation>
    </message>
    <message>
        <source>Import the network configuration file</source>
        <translation>Importer le fichier de configuration</translation>
    </message>
    <message>
        <source>File successfully deployed</source>
        <translation>Importé avec succès</translation>
    </message>
    <message>
        <source>File failed to deploy</source>
        <translation>L'importation a échoué</translation>
    </message>
    <message>
        <source>File failed to deploy : administrator right required. Restart Velmorant Client in administrator mode ?</source>
        <translation>L'importation a échoué : droits administrateur requis. Relancer Velmorant Client en mode administrateur ?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirmer</translation>
    </message>
    <message>
        <source>Screen</source>
        <translation>Écran</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Choisir un dossier</translation>
    </message>
    <message>
        <source>Choose network file</source>
        <translation>Choisir le fichier réseau</translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation>JSON (*.json)</translation>
    </message>
    <message>
        <source>Permission Required</source>
        <translation>Autorisation requise</translation>
    </message>
    <message>
        <source>Administrative privileges are required to perform this action.</source>
        <translation>Des droits administrateur sont nécessaires pour effectuer cette action.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>An error occurred while attempting to elevate privileges.</source>
        <translation>Une erreur est survenue lors de la demande des droits administrateur.</translation>
    </message>
</context>
<context>
    <name>UiCodeWindow</name>
    <message>
        <source>%X% / %Y% users.</source>
        <translation>%X% / %Y% utilisateurs.</translation>
    </message>
    <message>
        <source>No user.</source>
        <translation>Aucun utilisateur.</translation>
    </message>
    <message>
        <source>Meeting is full.</source>
        <translation>La réunion est complète.</translation>
    </message>
    <message>
        <source>Connexion</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>Enter Code</source>
        <translation>Saisissez le code</translation>
    </message>
    <message>
        <source>no server found</source>
        <translation>aucun serveur trouvé</translation>
    </message>
</context>
<context>
    <name>UiFreeWindow</name>
    <message>
        <source>Update available</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>Apply Update</source>
        <translation>Appliquer la mise à jour ?</translation>
    </message>
    <message>
        <source>Update Needed</source>
        <translation>Mise à jour nécessaire</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Downloading Update</source>
        <translation>Téléchargement de la mise à jour</translation>
    </message>
    <message>
        <source>Update error - Client to recent</source>
        <translation>Erreur : client plus récent que la salle</translation>
    </message>
    <message>
        <source>Update error - No Update</source>
        <translation>Erreur : aucune mise à jour disponible</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Réglages</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Velmorant</source>
        <translation>Velmorant</translation>
    </message>
    <message>
        <source>Page internet</source>
        <translation>Page internet</translation>
    </message>
    <message>
        <source>URL invalide</source>
        <translation>URL invalide</translation>
    </message>
    <message>
        <source>Réglages</source>
        <translation>Réglages</translation>
    </message>
    <message>
        <source>Importer le fichier de configuration</source>
        <translation>Importer le fichier de configuration</translation>
    </message>
    <message>
        <source>Importé avec succès</source>
        <translation>Importé avec succès</translation>
    </message>
    <message>
        <source>L'importation a échoué</source>
        <translation>L'importation a échoué</translation>
    </message>
    <message>
        <source>L'importation a échoué : droits administrateur requis. Relancer Velmorant Client en mode administrateur ?</source>
        <translation>L'importation a échoué : droits administrateur requis. Relancer Velmorant Client en mode administrateur ?</translation>
    </message>
    <message>
        <source>Ecran à partager</source>
        <translation>Écran à partager</translation>
    </message>
    <message>
        <source>Nom affiché sur l'écran collaboratif</source>
        <translation>Nom affiché sur l'écran collaboratif</translation>
    </message>
    <message>
        <source>Destination des captures d'écran</source>
        <translation>Destination des captures d'écran</translation>
    </message>
    <message>
        <source>Toujours laisser le client Velmorant au premier plan</source>
        <translation>Toujours laisser le client Velmorant au premier plan</translation>
    </message>
    <message>
        <source>Autoriser la prise de contrôle de votre écran à distance</source>
        <translation>Autoriser la prise de contrôle de votre écran à distance</translation>
    </message>
    <message>
        <source>Langue de l'interface</source>
        <translation>Langue de l'interface</translation>
    </message>
    <message>
        <source>Redémarrage de l'application nécessaire</source>
        <translation>Redémarrage de l'application nécessaire</translation>
    </message>
    <message>
        <source>StartStreamText</source>
        <translation>Partager mon écran</translation>
    </message>
    <message>
        <source>StopStreamText</source>
        <translation>Arrêter le partage</translation>
    </message>
    <message>
        <source>PauseStreamText</source>
        <translation>Mettre en pause ou reprendre le partage</translation>
    </message>
    <message>
        <source>FullScreenMaximizeStreamText</source>
        <translation>Afficher en plein écran dans la salle</translation>
    </message>
    <message>
        <source>FullScreenMinimizeStreamText</source>
        <translation>Quitter le plein écran</translation>
    </message>
    <message>
        <source>SendFileText</source>
        <translation>Envoyer des fichiers</translation>
    </message>
    <message>
        <source>SendCaptureText</source>
        <translation>Envoyer une capture de mon écran</translation>
    </message>
    <message>
        <source>SendWebText</source>
        <translation>Envoyer un lien web</translation>
    </message>
    <message>
        <source>SendNoteText</source>
        <translation>Envoyer une note</translation>
    </message>
    <message>
        <source>OpenConfigurationText</source>
        <translation>Réglages</translation>
    </message>
    <message>
        <source>DisconnectText</source>
        <translation>Quitter la salle</translation>
    </message>
    <message>
        <source>GetCaptureText</source>
        <translation>Récupérer une capture de l'écran de la salle</translation>
    </message>
</context>
<context>
    <name>Velmorant::Advanced::UiMainWindowAdvanced</name>
    <message>
        <source>sendFile.dialog.title</source>
        <translation>Envoyer des fichiers à la salle</translation>
    </message>
    <message>
        <source>sendFile.dialog.filter</source>
        <translation>Fichiers acceptés par la salle</translation>
    </message>
    <message>
        <source>sendFile.tooLarge.title</source>
        <translation>Fichier trop volumineux</translation>
    </message>
    <message>
        <source>sendFile.tooLarge.text</source>
        <translation>« %1 » n'a pas été envoyé : la salle ne reçoit pas de fichiers de 2 Go ou plus.</translation>
    </message>
    <message>
        <source>capture.save.title</source>
        <translation>Enregistrer la capture de la salle</translation>
    </message>
    <message>
        <source>capture.save.filter</source>
        <translation>Images PNG (*.png)</translation>
    </message>
    <message>
        <source>capture.filename.suffix</source>
        <translation>capture de la salle</translation>
    </message>
    <message>
        <source>localCaptureToVelmorant.filename.suffix</source>
        <translation>capture de mon écran</translation>
    </message>
    <message>
        <source>capture.error.refused.title</source>
        <translation>Capture refusée</translation>
    </message>
    <message>
        <source>capture.error.refused.text</source>
        <translation>La salle n'autorise pas la capture de son écran.</translation>
    </message>
    <message>
        <source>capture.error.generic.title</source>
        <translation>Capture impossible</translation>
    </message>
    <message>
        <source>capture.error.generic.text</source>
        <translation>La salle n'a pas pu fournir de capture. Réessayez dans un instant.</translation>
    </message>
</context>
<context>
    <name>Velmorant::Advanced::UiWebWindowAdvanced</name>
    <message>
        <source>Invalid URL</source>
        <translation>URL invalide</translation>
    </message>
</context>
</TS>
