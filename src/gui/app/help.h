#pragma once

#include <QString>
#include <QStringList>

namespace trv {

// Where the user manual lies, relative to the program's folder: installed, the program is in
// bin and the manual in the documentation folder; in a build tree the programs sit two
// levels below the build folder, which holds a copy of the manual at the same place.
QStringList manualPlaces();

// The help document a site may put beside the program, opened by the desktop as before.
inline constexpr const char* kHelpDocumentName = "TRV_VXM.doc";

// The document "Aide" opens: "TRV_VXM.doc" in the program's folder when it exists, else the
// first manual found at `places` (relative to that folder). Empty when there is neither.
QString helpDocument(const QString& programFolder, const QStringList& places = manualPlaces());

}  // namespace trv
