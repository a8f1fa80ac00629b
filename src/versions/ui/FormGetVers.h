#pragma once
// TFormGetVers, "Выгрузка Версии": unloads the selected exchange's memory
// through its unloader program into the work file, then into a version file
// of the operator's choice.
#include "versions/ui/VersionTransferForm.h"

class TFormGetVers : public VersionTransferForm {
    Q_OBJECT
public:
    // Blocks of a full version (RAM, main area and six additional banks), the
    // measure of the whole transfer's progress.
    static constexpr int kFullVersion = 1920;

    TFormGetVers(VersionLineProvider lines, QString curDir, QWidget* mainWindow = nullptr);

    void StartClick() override;
    void StopClick() override;

    VersionGetSession& Session() { return m_get; }

protected:
    QString ShownText(bool open) const override;
    QString GivenBackText(bool open) const override;
    void TypeChanged(int index) override;

private:
    void Block(const VersionReceiver::Block& b);
    void Completed();

    VersionGetSession& m_get;
};
