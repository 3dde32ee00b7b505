#include "app/help.h"

#include <QDir>
#include <QFileInfo>

namespace trv {

QStringList manualPlaces() {
    const QString manual = QStringLiteral(TRV_DOC_DIR "/manuel/index.html");
    return {QStringLiteral(TRV_DOC_FROM_BIN "/manuel/index.html"),
            QStringLiteral("../../") + manual};
}

QString helpDocument(const QString& programFolder, const QStringList& places) {
    const QDir folder(programFolder);
    const QString document = folder.filePath(QLatin1String(kHelpDocumentName));
    if (QFileInfo::exists(document)) return document;
    for (const QString& place : places) {
        const QFileInfo manual(folder.filePath(place));
        if (manual.isFile()) return manual.canonicalFilePath();
    }
    return {};
}

}  // namespace trv
