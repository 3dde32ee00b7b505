#include "configuration/configuration_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

#include "config/kel_file.h"
#include "configuration/settings_window.h"
#include "ui/prompts.h"

namespace trv {
namespace {

static_assert(kel::kSettingCount == kSettingCount);

const QString kOpenTitle = QStringLiteral("Ouvrir un fichier de configuration RZP");
const QString kOpenFilter = QStringLiteral("Fichiers configuration(*.kel);;Tous les fichiers(*.*)");
const QString kSaveTitle = QStringLiteral("Enregistrer un fichier de configuration RZP");
const QString kSaveFilter = QStringLiteral("Fichiers configuration(*.KEL);;Tous les fichiers(*.*)");
const QString kInitialName = QStringLiteral("Configuration_RZP");

// The file's first bytes; nothing when it cannot be read. Only regular files are read:
// opening or reading a FIFO or a terminal can block for ever.
std::optional<QByteArray> readHead(const QString& name) {
    const QFileInfo info(name);
    if (!info.isFile()) return std::nullopt;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray head = file.read(kel::kReadLimit);
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return head;
}

kel::Selections selectionsOf(const SettingsWindow& settings) {
    kel::Selections s;
    for (int i = 0; i < kSettingCount; ++i) {
        s.indexes[std::size_t(i)] = settings.index(Setting(i));
        s.texts[std::size_t(i)] = settings.text(Setting(i));
    }
    return s;
}

// Writes through a temporary file renamed over the target once complete. False on any
// failure, the target then being untouched; true also when the settings window is gone.
bool writeFile(const QString& name, const ShowSettings& showSettings) {
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return false;
    SettingsWindow* settings = showSettings();
    if (!settings) return true;
    const QByteArray bytes =
        kel::writeKelFile(selectionsOf(*settings), QDateTime::currentDateTime());
    // commit() can miss an error of the final buffer write: flush first and check.
    return file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

// Sets the indexes in file order and stops at the first one its list lacks; only a
// complete set is validated.
void applyIndexes(const std::vector<int>& indexes, SettingsWindow& settings) {
    for (std::size_t i = 0; i < indexes.size(); ++i)
        if (!settings.setIndex(Setting(i), indexes[i])) return;
    if (indexes.size() == std::size_t(kSettingCount)) settings.OUVERTURE_DU_COM();
}

}  // namespace

void openConfiguration(const ShowSettings& showSettings, Prompts& prompts, QWidget* parent) {
    QString name = prompts.openFileName(parent, kOpenTitle, kOpenFilter, kInitialName);
    std::optional<QByteArray> head;
    while (!name.isEmpty()) {
        head = readHead(name);
        if (head) break;
        prompts.plain(parent, QStringLiteral("Erreur d'ouverture de ") + name);
        name = prompts.openFileName(parent, kOpenTitle, kOpenFilter, name);
    }
    if (!head) return;
    SettingsWindow* settings = showSettings();
    if (settings) applyIndexes(kel::readKelIndexes(*head), *settings);
}

void saveConfiguration(const ShowSettings& showSettings, Prompts& prompts, QWidget* parent) {
    QString name = prompts.saveFileName(parent, kSaveTitle, kSaveFilter, kInitialName);
    while (!name.isEmpty() && !writeFile(name, showSettings)) {
        prompts.plain(parent, QStringLiteral("Erreur lors de la création de ") + name +
                                  QStringLiteral(". Essayer à nouveau"));
        name = prompts.saveFileName(parent, kSaveTitle, kSaveFilter, name);
    }
}

}  // namespace trv
