#include "platform/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

std::unique_ptr<QTranslator> InstallQtTranslations() {
    auto t = std::make_unique<QTranslator>();
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!t->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                 QStringLiteral("_"), dir) ||
        !QCoreApplication::installTranslator(t.get())) {
        qWarning("Qt's Russian translations (qtbase_ru.qm) are not in %s", qPrintable(dir));
        return nullptr;
    }
    return t;
}
