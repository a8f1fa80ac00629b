#pragma once
// The main window's tab "Версии": the buttons that open the loading, the
// unloading and the checksum windows, and the plain directive buttons of the
// tab. The page owns the three windows.
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
    // Fills page with the tab's buttons. lines gives the selected exchange's
    // line when a transfer window is shown; sendFixed sends a directive as a
    // fixed directive button does; mainWindow is minimised while a transfer
    // window is shown.
    VersionsPage(QWidget* page, VersionLineProvider lines, const QString& curDir,
                 std::function<void(const QString&)> sendFixed, QWidget* mainWindow);
    ~VersionsPage() override;

    TFormSendVers* SendWindow() const { return m_send.get(); }
    TFormGetVers* GetWindow() const { return m_get.get(); }
    TFormKontrolSumm* ChecksumWindow() const { return m_sums.get(); }

private:
    std::unique_ptr<TFormSendVers> m_send;
    std::unique_ptr<TFormGetVers> m_get;
    std::unique_ptr<TFormKontrolSumm> m_sums;
};
