#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// Names the application. Only its name: a display name would be appended by
// the desktop to the caption of every window ("Brackwell 0.1 — Brackwell").
void NameApplication();

// Two heaps for all the threads of the window (glibc; elsewhere nothing). The
// queue's workers make the entries the list keeps, between the short-lived
// buffers of each file: in a heap per thread those leave holes that the other
// threads cannot use, and 100,000 small files took 270 to 360 MiB instead of
// 127. In one heap, the workers and the list waited for each other's
// allocations under its lock: the same files took 1.6 times the time of two.
// Call before the first thread starts.
void ShareFewHeaps();

// The folders that may hold our translations: beside the program as installed
// or built (../share/brackwell/translations), then translations/ beside it,
// then the program's own resources (:/translations, where the Windows build
// keeps them).
QStringList TranslationFolders();

// Installs, for the first of the locale's languages that we translate to,
// our translation from folders and Qt's own (its standard buttons and file
// dialogs), both owned by the application; none when English, the language of
// the source, comes first. Call before the first window exists. Returns the
// language installed ("fr"), empty when none.
QString InstallTranslations(const QLocale &locale, const QStringList &folders);
