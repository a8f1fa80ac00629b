#include "versions/ui/VersionDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

VersionDialogs VersionDialogs::Standard() {
    VersionDialogs d;
    d.open = [](QWidget* parent, const QString& title, const QString& folder,
                const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, folder, filter);
    };
    d.save = [](QWidget* parent, const QString& folder, const QString& filter,
                const QString& suffix) {
        QFileDialog dlg(parent, QString(), folder, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(suffix);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().constFirst()
                   : QString();
    };
    d.message = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QApplication::applicationName(), text);
    };
    return d;
}
