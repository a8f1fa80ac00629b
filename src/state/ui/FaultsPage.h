#pragma once
// "Сбои": the failure word (MaskEditSboyRsp) and machine number
// (MaskEditSboyEvm) turned into lines in MemoSboy by ButtonSboy.
#include <QObject>

class MaskEdit;
class QLineEdit;
class QPlainTextEdit;
struct StateContext;

class FaultsPage : public QObject {
    Q_OBJECT
public:
    explicit FaultsPage(StateContext& ctx);
    void ButtonSboyClick();

private:
    MaskEdit* m_rsp = nullptr;
    QLineEdit* m_evm = nullptr;
    QPlainTextEdit* m_memo = nullptr;
};
