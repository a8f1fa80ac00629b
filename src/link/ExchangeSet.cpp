#include "link/ExchangeSet.h"

#include "link/Ats.h"

ExchangeSet::ExchangeSet(QObject* parent) : QObject(parent) {}

ExchangeSet::~ExchangeSet() {
    Clear();
}

TAts& ExchangeSet::Add(std::unique_ptr<TAts> ats) {
    const int n = ats->Number();
    Q_ASSERT(n >= 1 && n <= kCount);
    if (m_current == n) m_current = 0;
    auto& slot = m_ats[size_t(n - 1)];
    slot = std::move(ats);
    return *slot;
}

void ExchangeSet::Clear() {
    m_current = 0;
    for (int i = kCount - 1; i >= 0; --i)
        m_ats[size_t(i)].reset();
}

TAts* ExchangeSet::At(int number) const {
    if (number < 1 || number > kCount) return nullptr;
    return m_ats[size_t(number - 1)].get();
}

TAts* ExchangeSet::Current() const {
    return At(m_current);
}

bool ExchangeSet::Select(int number) {
    TAts* ats = At(number);
    if (!ats) return false;
    m_current = number;
    emit selected(ats);
    return true;
}
