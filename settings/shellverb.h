#pragma once

#include <QString>

// The file manager's verb "Brackwell", offered for every file, that starts the
// program with that file's path. On Windows it is the Explorer verb under
// HKEY_CURRENT_USER\Software\Classes\*\shell\Brackwell (it is seen, and
// removed, under HKEY_CLASSES_ROOT too); elsewhere a desktop entry in
// $XDG_DATA_HOME/applications (by default ~/.local/share/applications).

// Where the verb lives: the desktop entry's path, or the registry key.
QString ShellVerbLocation();

// The command the verb runs for executable, in the verb's own syntax.
QString ShellVerbCommand(const QString &executable);

bool ShellVerbRegistered();

// Writes the verb anew for executable; false when it cannot be written (the
// verb then stays as it was).
bool RegisterShellVerb(const QString &executable);

// Removes the verb; a verb that is not there, or cannot be removed, is passed over.
void UnregisterShellVerb();
