#pragma once
// The exchange clock on "Обслуживание АТС" › "Время": "Установка" sets the
// exchange's machine time from one reading of the workstation's clock ("КВ_",
// two- or four-digit year by "FourDigitYear"). "Контроль" is the catalogue's
// fixed directive "МВ_-". DirectiveButtons places the buttons.
#include <QObject>

class DirectiveEntry;
class Terminal;

class ExchangeClock : public QObject {
    Q_OBJECT
public:
    ExchangeClock(QObject* parent, DirectiveEntry& entry, Terminal& term);

    // "Установка" click.
    void SetClick();

private:
    DirectiveEntry& m_entry;
    Terminal& m_term;
};
