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
</context>
</TS>
