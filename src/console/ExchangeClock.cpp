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
    Registry* reg = m_app.Reg;
    if (!reg || !reg->OpenKey(MainSettings::kKey, true)) return;
    const bool fourDigits = reg->ReadBool(QStringLiteral("FourDigitYear"), false);
    // The key is closed before the directive goes out: sending waits for the
    // line, and other handlers use the same accessor meanwhile.
    reg->CloseKey();
    m_entry.SendFixed(ComposedDirectives::ClockSetting(Clock::Now(), fourDigits));
    m_entry.Edit()->setFocus();
    m_entry.Edit()->SetCaretPos(3);
}
