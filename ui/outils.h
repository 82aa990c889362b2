#pragma once

#include <string>

#include <QString>

class QWidget;

// Lets the user choose a directory in the desktop's directory chooser
// (directories only). directory is the folder to preselect on entry and the
// chosen folder's full path on success; root, when not empty, is where the
// chooser starts if directory names no folder. Returns false when the user
// cancels; a directory that did not exist on entry then comes back empty.
bool BrowseForDirectory(const QString &caption, const QString &root, QString &directory, QWidget *parent = nullptr);

// An entry's bytes (a name, a path) as shown on screen, and a path or name
// typed or chosen on screen as the core takes it. The core keeps names as
// UTF-8 on Windows and as the file system's bytes elsewhere, which are UTF-8
// when they are text at all: one conversion for both, and a byte that is no
// part of UTF-8 is shown as U+FFFD.
QString EntryText(const std::string &bytes);
std::string EntryBytes(const QString &text);
// A link as text that may leave the program (the clipboard, a link field):
// a byte of the name that is no part of UTF-8 as %XX, so that the link still
// names the real file.
QString LinkText(const std::string &link);

// A fixed word of the core (a state word shown in place of a hash, a
// descriptor's priority or status, a link check's verdict) in the user's
// language; any other text, a hash for instance, as it is.
QString CoreWord(const std::string &text);

// A reason the core gave (why an entry failed, what a reading found amiss,
// what a link check found) in the user's language; a system error text, which
// comes in that language already, as it is.
QString CoreReason(const std::string &text);

// Hands an address (http, mailto...) to the desktop; a failure is not reported.
void OpenAddress(const QString &address);

// Moves a window so that it stands in the middle of the desktop it is shown on.
void CentreOnDesktop(QWidget &window);
// Makes a window that is larger than the desktop it stands on (a size stored
// by another screen, or edited by hand) as large as the desktop allows, and
// moves it wholly onto it, title bar included. A window that fits is left as
// it is.
void FitOnDesktop(QWidget &window);
