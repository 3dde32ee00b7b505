#include "program/qt_french.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace trv {

bool installQtFrench(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_fr"), folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace trv
