<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AboutForm</name>
    <message>
        <source>About Brackwell</source>
        <translation>À propos de Brackwell</translation>
    </message>
    <message>
        <source>Author :</source>
        <translation>Auteur :</translation>
    </message>
    <message>
        <source>The Brackwell team</source>
        <translation>L&apos;équipe Brackwell</translation>
    </message>
    <message>
        <source>Email :</source>
        <translation>Courriel :</translation>
    </message>
    <message>
        <source>Web Site :</source>
        <translation>Site web :</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CheckLinksForm</name>
    <message>
        <source>Check against links</source>
        <translation>Vérifier d&apos;après les liens</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Résultat</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>CoreReason</name>
    <message>
        <source>not a regular file</source>
        <translation>n&apos;est pas un fichier ordinaire</translation>
    </message>
    <message>
        <source>is a folder</source>
        <translation>est un dossier</translation>
    </message>
    <message>
        <source>cannot be read</source>
        <translation>ne peut pas être lu</translation>
    </message>
    <message>
        <source>the file holds more bytes than its size said (it grew, or is no ordinary file)</source>
        <translation>le fichier contient plus d&apos;octets que sa taille n&apos;en annonçait (il a grandi, ou n&apos;est pas un fichier ordinaire)</translation>
    </message>
    <message>
        <source>the file changed while it was read</source>
        <translation>le fichier a changé pendant sa lecture</translation>
    </message>
    <message>
        <source>the file shrank while it was read</source>
        <translation>le fichier a rétréci pendant sa lecture</translation>
    </message>
    <message>
        <source>the run hashed %1 of %2 chunks</source>
        <translation>le calcul a haché %1 blocs sur %2</translation>
    </message>
    <message>
        <source>the run reported %1 of %2 chunks</source>
        <translation>le calcul a signalé %1 blocs sur %2</translation>
    </message>
    <message>
        <source>the run did not compute the hashes selected</source>
        <translation>le calcul n&apos;a pas produit les hashs choisis</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>arrêté</translation>
    </message>
    <message>
        <source>out of memory</source>
        <translation>mémoire insuffisante</translation>
    </message>
    <message>
        <source>unexpected failure</source>
        <translation>échec inattendu</translation>
    </message>
    <message>
        <source>not a download descriptor: the file is empty</source>
        <translation>pas un descripteur de téléchargement : le fichier est vide</translation>
    </message>
    <message>
        <source>not a download descriptor: it starts with byte 0x%1, not 0xE0, 0xE1 or 0xE2</source>
        <translation>pas un descripteur de téléchargement : il commence par l&apos;octet 0x%1, et non 0xE0, 0xE1 ou 0xE2</translation>
    </message>
    <message>
        <source>not a download descriptor: the file ends before its part-hash count</source>
        <translation>pas un descripteur de téléchargement : le fichier s&apos;arrête avant le nombre de ses hashs de parties</translation>
    </message>
    <message>
        <source>the descriptor is cut short inside its part hashes; only its file hash is kept</source>
        <translation>le descripteur est tronqué dans ses hashs de parties ; seul le hash du fichier est gardé</translation>
    </message>
    <message>
        <source>the descriptor is cut short inside its tags; only the tags read whole are kept</source>
        <translation>le descripteur est tronqué dans ses balises ; seules les balises lues en entier sont gardées</translation>
    </message>
    <message>
        <source>the descriptor holds a tag of the unknown type 0x%1; the tags after it cannot be read and are not kept</source>
        <translation>le descripteur contient une balise du type inconnu 0x%1 ; les balises qui la suivent ne peuvent pas être lues et ne sont pas gardées</translation>
    </message>
    <message>
        <source>the descriptor records a size of %1 bytes, more than a file can hold; %2 is shown</source>
        <translation>le descripteur indique une taille de %1 octets, plus qu&apos;un fichier ne peut en contenir ; %2 est affiché</translation>
    </message>
    <message>
        <source>the descriptor records %1 part hashes where a file of %2 bytes has %3; they are not shown</source>
        <translation>le descripteur contient %1 hashs de parties là où un fichier de %2 octets en a %3 ; ils ne sont pas affichés</translation>
    </message>
    <message>
        <source>the descriptor&apos;s part hashes do not give its file hash; they are not shown</source>
        <translation>les hashs de parties du descripteur ne donnent pas le hash de son fichier ; ils ne sont pas affichés</translation>
    </message>
    <message>
        <source>the descriptor could not be read</source>
        <translation>le descripteur n&apos;a pas pu être lu</translation>
    </message>
    <message>
        <source>not a plain file name</source>
        <translation>pas un simple nom de fichier</translation>
    </message>
    <message>
        <source>symbolic link to a file outside the folder</source>
        <translation>lien symbolique vers un fichier hors du dossier</translation>
    </message>
    <message>
        <source>size differs: %1 bytes on disk</source>
        <translation>taille différente : %1 octets sur le disque</translation>
    </message>
    <message>
        <source>ed2k hash differs</source>
        <translation>hash ed2k différent</translation>
    </message>
    <message>
        <source>AICH hash differs</source>
        <translation>hash AICH différent</translation>
    </message>
    <message>
        <source>FileSpree hash differs</source>
        <translation>hash FileSpree différent</translation>
    </message>
    <message>
        <source>part hashes differ: %1 of %2, first part %3</source>
        <translation>hashs de parties différents : %1 sur %2, première partie %3</translation>
    </message>
    <message>
        <source>the part hashes do not fit the size</source>
        <translation>les hashs de parties ne correspondent pas à la taille</translation>
    </message>
    <message>
        <source>the descriptor&apos;s name does not end in .met, so its data file is not known</source>
        <translation>le nom du descripteur ne finit pas par .met : son fichier de données n&apos;est pas connu</translation>
    </message>
    <message>
        <source>the descriptor is cut short before the end of its tags; the gaps are not all known and its data is not checked</source>
        <translation>le descripteur est tronqué avant la fin de ses balises ; ses plages manquantes ne sont pas toutes connues et ses données ne sont pas vérifiées</translation>
    </message>
    <message>
        <source>the descriptor records no size; its data is not checked</source>
        <translation>le descripteur n&apos;indique pas de taille ; ses données ne sont pas vérifiées</translation>
    </message>
    <message>
        <source>the descriptor records a size of %1 bytes, more than a file can hold; its data is not checked</source>
        <translation>le descripteur indique une taille de %1 octets, plus qu&apos;un fichier ne peut en contenir ; ses données ne sont pas vérifiées</translation>
    </message>
    <message>
        <source>the descriptor records no part hashes yet (the client has not learnt them); its chunks cannot be checked</source>
        <translation>le descripteur ne contient pas encore de hashs de parties (le client ne les connaît pas) ; ses blocs ne peuvent pas être vérifiés</translation>
    </message>
    <message>
        <source>the descriptor records %1 part hashes where a file of %2 bytes has %3; its chunks cannot be checked</source>
        <translation>le descripteur contient %1 hashs de parties là où un fichier de %2 octets en a %3 ; ses blocs ne peuvent pas être vérifiés</translation>
    </message>
    <message>
        <source>the data file %1 cannot be read: %2</source>
        <translation>le fichier de données %1 ne peut pas être lu : %2</translation>
    </message>
    <message>
        <source>magnet link without an eDonkey2000 hash (xt=urn:ed2k:)</source>
        <translation>lien magnet sans hash eDonkey2000 (xt=urn:ed2k:)</translation>
    </message>
    <message>
        <source>magnet link without a size (xl=)</source>
        <translation>lien magnet sans taille (xl=)</translation>
    </message>
    <message>
        <source>magnet link without a name (dn=)</source>
        <translation>lien magnet sans nom (dn=)</translation>
    </message>
</context>
<context>
    <name>CoreWord</name>
    <message>
        <source>Unknown</source>
        <translation>Inconnu</translation>
    </message>
    <message>
        <source>Error !</source>
        <translation>Erreur !</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Basse</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normale</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Haute</translation>
    </message>
    <message>
        <source>Looking...</source>
        <translation>Recherche...</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>En pause</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>FAILED</source>
        <translation>ÉCHEC</translation>
    </message>
    <message>
        <source>MISSING</source>
        <translation>MANQUANT</translation>
    </message>
    <message>
        <source>ERROR</source>
        <translation>ERREUR</translation>
    </message>
</context>
<context>
    <name>DetailForm</name>
    <message>
        <source>Properties</source>
        <translation>Propriétés</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Fichier</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Number of Block</source>
        <translation>Nombre de blocs</translation>
    </message>
    <message>
        <source>Hash eDonkey2000</source>
        <translation>Hash eDonkey2000</translation>
    </message>
    <message>
        <source>Open the verification page</source>
        <translation>Ouvrir la page de vérification</translation>
    </message>
    <message>
        <source>Link eDonkey2000</source>
        <translation>Lien eDonkey2000</translation>
    </message>
    <message>
        <source>Copier Lien</source>
        <translation>Copier le lien</translation>
    </message>
    <message>
        <source>Hash AICH</source>
        <translation>Hash AICH</translation>
    </message>
    <message>
        <source>Hash FileSpree</source>
        <translation>Hash FileSpree</translation>
    </message>
    <message>
        <source>Link FileSpree</source>
        <translation>Lien FileSpree</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Temp File</source>
        <translation>Fichier temporaire</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>Priorité</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Copié</translation>
    </message>
    <message>
        <source>Pourcent</source>
        <translation>Pourcentage</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Hash the chunks of the data file beside the descriptor against the part hashes it records</source>
        <translation>Calcule les blocs du fichier de données à côté du descripteur et les compare aux hashs de parties qu&apos;il contient</translation>
    </message>
    <message>
        <source>&amp;Check data</source>
        <translation>&amp;Vérifier les données</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>%v of %m chunks</source>
        <translation>%v blocs sur %m</translation>
    </message>
</context>
<context>
    <name>ExportForm</name>
    <message>
        <source>Export Options</source>
        <translation>Options d&apos;exportation</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titre</translation>
    </message>
    <message>
        <source>Share List</source>
        <translation>Liste de partage</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Aucun</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Destination</translation>
    </message>
    <message>
        <source>Separator</source>
        <translation>Séparateur</translation>
    </message>
    <message>
        <source>Array</source>
        <translation>Tableau</translation>
    </message>
    <message>
        <source>Columns</source>
        <translation>Colonnes</translation>
    </message>
    <message>
        <source>Select columns to include in the export file</source>
        <translation>Choisissez les colonnes à inclure dans le fichier exporté</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Nom du fichier</translation>
    </message>
    <message>
        <source>With Path</source>
        <translation>Avec le chemin</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>Lien</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Texte</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exporter</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>File</source>
        <translation>Fichier</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Édition</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Affichage</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Outils</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Add Partmet</source>
        <translation>Ajouter des part.met</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Tout sélectionner</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exporter</translation>
    </message>
    <message>
        <source>Check against links...</source>
        <translation>Vérifier d&apos;après les liens...</translation>
    </message>
    <message>
        <source>Options...</source>
        <translation>Options...</translation>
    </message>
    <message>
        <source>About ...</source>
        <translation>À propos...</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Copy ED2k link</source>
        <translation>Copier le lien ED2k</translation>
    </message>
    <message>
        <source>Copy ED2k Link (HTML)</source>
        <translation>Copier le lien ED2k (HTML)</translation>
    </message>
    <message>
        <source>Copy magnet link</source>
        <translation>Copier le lien magnet</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Commentaire</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
    <message>
        <source>Icons</source>
        <translation>Icônes</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Détails</translation>
    </message>
    <message>
        <source>Add Folder...</source>
        <translation>Ajouter un dossier...</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Copy ED2k links</source>
        <translation>Copier les liens ED2k</translation>
    </message>
</context>
<context>
    <name>OptionForm</name>
    <message>
        <source>Options</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>Filename</source>
        <translation>Nom de fichier</translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation>Préfixe</translation>
    </message>
    <message>
        <source>Suffix</source>
        <translation>Suffixe</translation>
    </message>
    <message>
        <source>Replace spaces with </source>
        <translation>Remplacer les espaces par </translation>
    </message>
    <message>
        <source>Integration with the file manager</source>
        <translation>Intégration au gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Thread Priority</source>
        <translation>Priorité du traitement</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Basse</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normale</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Haute</translation>
    </message>
    <message>
        <source>Default parameters</source>
        <translation>Paramètres par défaut</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>Activer</translation>
    </message>
    <message>
        <source>Add the AICH hash to links</source>
        <translation>Ajouter le hash AICH aux liens</translation>
    </message>
    <message>
        <source>eDonkey2000 Temp Directory</source>
        <translation>Dossier temporaire d&apos;eDonkey2000</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Choisir un dossier</translation>
    </message>
    <message>
        <source>URL for file verification</source>
        <translation>URL de vérification des fichiers</translation>
    </message>
    <message>
        <source>FileSpree Directory</source>
        <translation>Dossier de FileSpree</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Annuler</translation>
    </message>
    <message>
        <source>Dropped folders add their files</source>
        <translation>Un dossier déposé ajoute ses fichiers</translation>
    </message>
</context>
<context>
    <name>TCheckLinksForm</name>
    <message>
        <source>List: %1</source>
        <translation>Liste : %1</translation>
    </message>
    <message>
        <source>Checking %1...</source>
        <translation>Vérification de %1...</translation>
    </message>
    <message>
        <source>%1 OK, %2 failed, %3 missing</source>
        <translation>OK : %1, en échec : %2, manquants : %3</translation>
    </message>
    <message>
        <source>, %1 unreadable</source>
        <translation>, illisibles : %1</translation>
    </message>
    <message>
        <source> (stopped)</source>
        <translation> (vérification interrompue)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1 : %2</translation>
    </message>
    <message>
        <source>%1: no ed2k, fs or magnet links found</source>
        <translation>%1 : aucun lien ed2k, fs ou magnet trouvé</translation>
    </message>
</context>
<context>
    <name>TChunkMap</name>
    <message>
        <source>good</source>
        <translation>bon</translation>
    </message>
    <message>
        <source>corrupt</source>
        <translation>corrompu</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>manquant</translation>
    </message>
    <message>
        <source>Chunk %1 of %2: %3
Bytes %4 to %5</source>
        <translation>Bloc %1 sur %2 : %3
Octets %4 à %5</translation>
    </message>
</context>
<context>
    <name>TDetailForm</name>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>%1 Bytes Copied</source>
        <translation>%1 octets copiés</translation>
    </message>
    <message>
        <source>Not checked: %1</source>
        <translation>Non vérifié : %1</translation>
    </message>
    <message>
        <source>%1 of %2 complete in %3</source>
        <translation>%1 sur %2 complets dans %3</translation>
    </message>
    <message>
        <source>The part hashes give the file hash.</source>
        <translation>Les hashs de parties donnent le hash du fichier.</translation>
    </message>
    <message>
        <source>The part hashes do not give the file hash.</source>
        <translation>Les hashs de parties ne donnent pas le hash du fichier.</translation>
    </message>
    <message>
        <source>Good: %1</source>
        <translation>Bons : %1</translation>
    </message>
    <message>
        <source>Corrupt: %1</source>
        <translation>Corrompus : %1</translation>
    </message>
    <message>
        <source>Missing: %1</source>
        <translation>Manquants : %1</translation>
    </message>
    <message>
        <source>Checking the data of %1...</source>
        <translation>Vérification des données de %1...</translation>
    </message>
</context>
<context>
    <name>TEntryListModel</name>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>eDonkey Hash</source>
        <translation>Hash eDonkey</translation>
    </message>
    <message>
        <source>FileSpree Hash</source>
        <translation>Hash FileSpree</translation>
    </message>
</context>
<context>
    <name>TExportForm</name>
    <message>
        <source>Text File (*.txt)</source>
        <translation>Fichier texte (*.txt)</translation>
    </message>
    <message>
        <source>HTML File (*.htm)</source>
        <translation>Fichier HTML (*.htm)</translation>
    </message>
    <message>
        <source>Impossible to create the file</source>
        <translation>Impossible de créer le fichier</translation>
    </message>
    <message>
        <source>Export Error</source>
        <translation>Erreur d&apos;exportation</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>Add Partmet</source>
        <translation>Ajouter des part.met</translation>
    </message>
    <message>
        <source>Fichier eDonkey  (*.part.met)</source>
        <translation>Fichiers eDonkey (*.part.met)</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Prêt</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) left</source>
        <translation>
            <numerusform>%n fichier restant</numerusform>
            <numerusform>%n fichiers restants</numerusform>
        </translation>
    </message>
    <message>
        <source>Check against links</source>
        <translation>Vérifier d&apos;après les liens</translation>
    </message>
    <message>
        <source>Share lists (*.txt *.htm *.html);;All files (*)</source>
        <translation>Listes de partage (*.txt *.htm *.html);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>Please wait the end of process</source>
        <translation>Veuillez attendre la fin du traitement</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1 : %2</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>et %n autre</numerusform>
            <numerusform>et %n autres</numerusform>
        </translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ajouter un dossier</translation>
    </message>
    <message>
        <source>These folders could not be read:</source>
        <translation>Ces dossiers n&apos;ont pas pu être lus :</translation>
    </message>
    <message numerus="yes">
        <source>Reading the folder: %n file(s) left</source>
        <translation>
            <numerusform>Lecture du dossier : %n fichier restant</numerusform>
            <numerusform>Lecture du dossier : %n fichiers restants</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Stopped: %n file(s) not hashed</source>
        <translation>
            <numerusform>Arrêté : %n fichier non calculé</numerusform>
            <numerusform>Arrêté : %n fichiers non calculés</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TOptionForm</name>
    <message>
        <source>Select Directory</source>
        <translation>Choisir un dossier</translation>
    </message>
    <message>
        <source>Integration with Windows Explorer</source>
        <translation>Intégration à l&apos;Explorateur Windows</translation>
    </message>
    <message>
        <source>Impossible d&apos;accéder a la base des registres&quot;</source>
        <translation>Impossible d&apos;accéder à la base de registre</translation>
    </message>
</context>
<context>
    <name>TProgressLine</name>
    <message numerus="yes">
        <source>%1 of %n file(s)</source>
        <translation>
            <numerusform>%1 sur %n fichier</numerusform>
            <numerusform>%1 sur %n fichiers</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) done</source>
        <translation>
            <numerusform>%n fichier traité</numerusform>
            <numerusform>%n fichiers traités</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>reste %1</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>%1 B</source>
        <translation>%1 o</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 Ko</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 Mo</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 Go</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 To</translation>
    </message>
</context>
<context>
    <name>TQtDispatcher</name>
    <message>
        <source>unknown exception</source>
        <translation>exception inconnue</translation>
    </message>
</context>
</TS>
