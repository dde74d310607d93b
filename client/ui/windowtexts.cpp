// SPDX-License-Identifier: GPL-2.0-or-later
// The texts of the shipped window description ("Text", "ToolTipText"), listed
// so that lupdate keeps them in the catalogues under the context the free
// window translates them with. Keep in step with resources/windows.json; the
// window framework's tests compare the two.
#include <QtGlobal>

namespace {
[[maybe_unused]] const char *const kWindowTexts[] = {
    // UiCodeWindow
    QT_TRANSLATE_NOOP("UiFreeWindow", "Update available"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Apply Update"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Update Needed"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Ok"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Cancel"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Downloading Update"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Update error - Client to recent"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Update error - No Update"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Quit"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Settings"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Close"),
    // UiMainWindowAdvanced
    QT_TRANSLATE_NOOP("UiFreeWindow", "Velmorant"),
    // UiWebWindowAdvanced
    QT_TRANSLATE_NOOP("UiFreeWindow", "Page internet"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "URL invalide"),
    // UiConfigurationWindow, UiConfigurationWindowAdvanced
    QT_TRANSLATE_NOOP("UiFreeWindow", "Réglages"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Importer le fichier de configuration"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Importé avec succès"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "L'importation a échoué"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "L'importation a échoué : droits administrateur requis. Relancer Velmorant "
                                      "Client en mode administrateur ?"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Ecran à partager"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Nom affiché sur l'écran collaboratif"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Destination des captures d'écran"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Toujours laisser le client Velmorant au premier plan"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Autoriser la prise de contrôle de votre écran à distance"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Langue de l'interface"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "Redémarrage de l'application nécessaire"),
};
} // namespace
