#pragma once
// The main window's tab "Версии": the buttons that open the loading, the
// unloading and the checksum windows (the tab's plain directive buttons come
// from the directive catalogue). The page owns the three windows.
#include "versions/VersionLine.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;
class TFormGetVers;
class TFormKontrolSumm;
class TFormSendVers;

class VersionsPage : public QObject {
    Q_OBJECT
public:
    // Adds the window buttons to page. lines gives the selected exchange's
    // line when a transfer window is shown; mainWindow is minimised while a
    // transfer window is shown.
    VersionsPage(QWidget* page, VersionLineProvider lines, const QString& curDir,
                 QWidget* mainWindow);
    ~VersionsPage() override;

    TFormSendVers* SendWindow() const { return m_send.get(); }
    TFormGetVers* GetWindow() const { return m_get.get(); }
    TFormKontrolSumm* ChecksumWindow() const { return m_sums.get(); }

private:
    std::unique_ptr<TFormSendVers> m_send;
    std::unique_ptr<TFormGetVers> m_get;
    std::unique_ptr<TFormKontrolSumm> m_sums;
};
