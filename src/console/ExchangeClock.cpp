#include "console/ExchangeClock.h"

#include "console/ComposedDirectives.h"
#include "console/DirectiveEntry.h"
#include "console/MainSettings.h"
#include "console/MaskEdit.h"
#include "link/AppState.h"
#include "platform/Clock.h"
#include "platform/Registry.h"

ExchangeClock::ExchangeClock(QObject* parent, DirectiveEntry& entry, AppState& app)
    : QObject(parent), m_entry(entry), m_app(app) {}

void ExchangeClock::SetClick() {
    m_entry.Reset();
    bool fourDigits = false;
    {
        // An accessor of its own, closed before the directive goes out.
        Registry reg(m_app.RegistryPath);
        if (!reg.OpenKey(MainSettings::kKey, true)) return;
        fourDigits = reg.ReadBool(QStringLiteral("FourDigitYear"), false);
    }
    m_entry.SendFixed(ComposedDirectives::ClockSetting(Clock::Now(), fourDigits));
    m_entry.Edit()->setFocus();
    m_entry.Edit()->SetCaretPos(3);
}
