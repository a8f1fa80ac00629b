#include "console/ExchangeClock.h"

#include "app/Terminal.h"
#include "console/DirectiveEntry.h"
#include "directives/ComposedDirectives.h"
#include "directives/ui/MaskEdit.h"
#include "platform/Clock.h"
#include "platform/Registry.h"

ExchangeClock::ExchangeClock(QObject* parent, DirectiveEntry& entry, Terminal& term)
    : QObject(parent), m_entry(entry), m_term(term) {}

void ExchangeClock::SetClick() {
    m_entry.Reset();
    bool fourDigits = false;
    {
        // An accessor of its own, closed before the directive goes out.
        Registry reg(m_term.RegistryPath());
        RegistryKey key{reg, CreateSettings::kKey, true};
        if (!key) return;
        fourDigits = key->ReadBool(QStringLiteral("FourDigitYear"), false);
    }
    m_entry.SendFixed(ComposedDirectives::ClockSetting(Clock::Now(), fourDigits));
    m_entry.Edit()->setFocus();
    m_entry.Edit()->SetCaretPos(3);
}
