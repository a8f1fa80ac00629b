#pragma once
// The file dialogs and message boxes of the version windows, replaceable so
// tests can answer them.
#include <QString>

#include <functional>

class QWidget;

struct VersionDialogs {
    // Open dialog for an existing file; empty when cancelled. The filter is
    // in Qt's form ("Версии (*.ver);;Все файлы (*.*)").
    std::function<QString(QWidget* parent, const QString& title, const QString& folder,
                          const QString& filter)>
        open;
    // Save dialog that asks before overwriting; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter,
                          const QString& suffix)>
        save;
    // A modal message.
    std::function<void(QWidget* parent, const QString& text)> message;

    // QFileDialog and QMessageBox.
    static VersionDialogs Standard();
};
