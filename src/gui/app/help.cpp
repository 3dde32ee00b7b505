#include "app/help.h"

#include <QDir>
#include <QFileInfo>

namespace trv {

QStringList manualPlaces() {
    const QString manual = QStringLiteral(TRV_DOC_DIR "/manuel/index.html");
    QStringList places{QStringLiteral(TRV_DOC_FROM_BIN "/manuel/index.html"),
                       QStringLiteral("../../") + manual};
#ifdef Q_OS_WIN
    const QString installed = QStringLiteral("doc/manuel/index.html");
    if (!places.contains(installed)) places.prepend(installed);
#endif
    return places;
}

HelpShownBy helpShownBy(const QString& document, bool windows) {
    if (windows || QFileInfo(document).fileName() == QLatin1String(kHelpDocumentName))
        return HelpShownBy::Desktop;
    return HelpShownBy::HelpWindow;
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
