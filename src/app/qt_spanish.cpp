#include "qt_spanish.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace programador {

bool installQtSpanish(QCoreApplication& app, const QString& directory)
{
    const QString folder = directory.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directory;
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"), folder)
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    std::fprintf(stderr, "programador: Qt's Spanish translation (qtbase_es.qm) is not in %s; Qt's buttons stay in English\n",
                 folder.toLocal8Bit().constData());
    return false;
}

} // namespace programador
