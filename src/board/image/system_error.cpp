#include "image/system_error.h"

#include <QFileInfo>
#include <cerrno>

namespace trv {

QString systemErrorText(int errorNumber) {
    switch (errorNumber) {
        case EACCES:
        case EPERM:
            return QStringLiteral("permission refusée");
        case ENOENT:
            return QStringLiteral("fichier ou dossier introuvable");
        case EISDIR:
            return QStringLiteral("c'est un dossier");
        case ENOTDIR:
            return QStringLiteral("un élément du chemin n'est pas un dossier");
        case ENOSPC:
            return QStringLiteral("plus de place sur le disque");
#ifdef EDQUOT
        case EDQUOT:
            return QStringLiteral("quota de disque dépassé");
#endif
        case EROFS:
            return QStringLiteral("système de fichiers en lecture seule");
        case ENAMETOOLONG:
            return QStringLiteral("nom de fichier trop long");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("trop de fichiers ouverts");
        case EIO:
            return QStringLiteral("erreur d'entrée-sortie du disque");
        case EBUSY:
            return QStringLiteral("fichier occupé");
        case EEXIST:
            return QStringLiteral("le fichier existe déjà");
        default:
            return {};
    }
}

QString fileErrorText(const QFileDevice& file, const QString& path, int errorNumber) {
    if (QFileInfo(path).isDir()) return QStringLiteral("c'est un dossier");
    if (const QString text = systemErrorText(errorNumber); !text.isEmpty()) return text;
    switch (file.error()) {
        case QFileDevice::ReadError:
            return QStringLiteral("erreur de lecture");
        case QFileDevice::WriteError:
            return QStringLiteral("erreur d'écriture");
        case QFileDevice::PermissionsError:
            return QStringLiteral("permission refusée");
        case QFileDevice::ResourceError:
            return QStringLiteral("ressources du système épuisées (disque plein ?)");
        case QFileDevice::RenameError:
            return QStringLiteral("le fichier n'a pas pu prendre son nom");
        case QFileDevice::OpenError:
            return QStringLiteral("ouverture impossible");
        default:
            return QStringLiteral("erreur du système");
    }
}

}  // namespace trv
