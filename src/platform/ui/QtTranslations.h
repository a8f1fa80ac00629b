#pragma once
// Qt's own Russian translations, so that the built-in buttons and dialogs
// (Yes/No, font, colour and file dialogs) read in Russian like the rest of
// the window.
#include <QTranslator>

#include <memory>

// Loads "qtbase_ru" from Qt's translations folder and installs it in the
// application; the translator stays installed while the returned object
// lives. nullptr (and a warning) when the catalogue is missing: the dialogs
// then speak English.
std::unique_ptr<QTranslator> InstallQtTranslations();
