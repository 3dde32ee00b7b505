#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace trv {

// Where the user manual lies, relative to the program's folder: installed, the program is in
// bin and the manual in the documentation folder; in a build tree the programs sit two
// levels below the build folder, which holds a copy of the manual at the same place. On
// Windows the installer puts the manual in the program's own folder, under doc.
QStringList manualPlaces();

// The help document a site may put beside the program, opened by the desktop as before.
inline constexpr const char* kHelpDocumentName = "TRV_VXM.doc";

// How "Aide" shows a document: handed to the system's own opener, or read in the help window.
enum class HelpShownBy { Desktop, HelpWindow };
#ifdef Q_OS_WIN
inline constexpr bool kWindowsHelp = true;
#else
inline constexpr bool kWindowsHelp = false;
#endif
// The help document beside the program always goes to the desktop (a word processor opens
// it). The manual is read in the help window, except on Windows, where the shell opens it in
// the user's browser like the help document, as Windows programs' help pages are opened.
HelpShownBy helpShownBy(const QString& document, bool windows = kWindowsHelp);

// The document "Aide" opens: "TRV_VXM.doc" in the program's folder when it exists, else the
// first manual found at `places` (relative to that folder). Empty when there is neither.
QString helpDocument(const QString& programFolder, const QStringList& places = manualPlaces());

}  // namespace trv
