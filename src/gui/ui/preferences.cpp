#include "ui/preferences.h"

#include <QDir>
#include <QSettings>
#include <algorithm>

#include "program/folders.h"

namespace trv::prefs {
namespace {

const QString kVerifyKey = QStringLiteral("image/verifierApresProgrammation");
const QString kFolderKey = QStringLiteral("image/dossier");
const QString kTextSizeKey = QStringLiteral("affichage/tailleTexte");

// Found afresh each time, so the file follows the configuration folder of the moment.
QSettings settings() {
    return QSettings(configFolder() + QStringLiteral("/trv-compteur/trv-compteur.conf"),
                     QSettings::IniFormat);
}

}  // namespace

// On unless the technician turned it off: a write the board did not take must not pass for
// a success.
bool verifyAfterWrite() { return settings().value(kVerifyKey, true).toBool(); }
void setVerifyAfterWrite(bool on) { settings().setValue(kVerifyKey, on); }

QString imageFolder() { return settings().value(kFolderKey, QDir::homePath()).toString(); }
void setImageFolder(const QString& folder) { settings().setValue(kFolderKey, folder); }

int textSize() {
    const int percent = settings().value(kTextSizeKey, 100).toInt();
    return std::find(kTextSizes.begin(), kTextSizes.end(), percent) != kTextSizes.end() ? percent
                                                                                        : 100;
}
void setTextSize(int percent) { settings().setValue(kTextSizeKey, percent); }

}  // namespace trv::prefs
