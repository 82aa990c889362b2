#pragma once

#include <QString>

#include <string>

class QUrl;

// Paths as they enter the program (the command line, the file dialogs, a
// drop), made absolute once, as the core takes them: the system's own bytes
// (UTF-8 on Windows). The process's current folder is never changed, so a
// path taken now names the same file on every later run.

// A path as the system gave it (the command line), absolute.
std::string AbsolutePath(const std::string &path);
// A file URL (a drop, a file dialog): its bytes from the URL's
// percent-encoding, so that a name that is not UTF-8 keeps its own bytes.
// Empty for a URL that names no local file.
std::string PathOfUrl(const QUrl &url);
// A path as text (typed, or chosen in a folder picker).
std::string PathOfText(const QString &path);
