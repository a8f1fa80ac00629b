#pragma once
// The exchanges of one terminal (numbers 1..4) and the one the operator has
// selected. Tools that work on "the selected exchange" ask here; the set owns
// the exchange objects.
#include <QObject>

#include <array>
#include <memory>

class TAts;

class ExchangeSet : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 4;

    explicit ExchangeSet(QObject* parent = nullptr);
    ~ExchangeSet() override;

    // Takes the exchange under its number (1..4); one already there is ended.
    TAts& Add(std::unique_ptr<TAts> ats);
    // Ends every exchange, the highest number first; none is selected.
    void Clear();

    TAts* At(int number) const; // nullptr outside 1..4 or when absent
    TAts* Current() const;
    int CurrentNumber() const { return m_current; } // 0 when none
    // False (and nothing changes) when there is no exchange of that number.
    bool Select(int number);

signals:
    void selected(TAts* ats);

private:
    std::array<std::unique_ptr<TAts>, kCount> m_ats;
    int m_current = 0;
};
