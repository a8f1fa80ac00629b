#pragma once
// TFormSendVers, "Загрузка версии": loads a version file into the selected
// exchange through its loader program.
#include "versions/ui/VersionTransferForm.h"

class TFormSendVers : public VersionTransferForm {
    Q_OBJECT
public:
    TFormSendVers(VersionLineProvider lines, QString curDir, QWidget* mainWindow = nullptr);

    void StartClick() override;
    void StopClick() override;

    VersionSendSession& Session() { return m_send; }
    // The exchange type of the bank codes ("Планета" 0, "VEF" 1).
    Vers::Type Type() const { return m_typeValue; }

protected:
    void hideEvent(QHideEvent* e) override;
    QString ShownText(bool open) const override { return PortState(open); }
    QString GivenBackText(bool open) const override;
    void TypeChanged(int index) override;

private:
    void Block(const VersionSender::Block& b);
    void Completed();
    void Failed(const QString& message);
    void SetBusy(bool busy);

    VersionSendSession& m_send;
    Vers::Type m_typeValue = Vers::Type::Planeta;
    QLabel* m_delayCaption = nullptr;
    QLabel* m_delay = nullptr;
    bool m_busy = false;
};
