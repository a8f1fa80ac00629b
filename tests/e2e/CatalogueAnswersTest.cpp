// Every fixed directive of the button catalogue is answered by the simulated
// exchange with a printout of its own, or refused outside the commissioning
// mode where the exchange refuses it.
#include "Exchange.h"
#include "directives/DirectiveCatalogue.h"
#include "link/LineCode.h"

#include <gtest/gtest.h>

namespace {
// The answer lines of the simulated exchange to one directive.
QString Answer(sim::SimExchange& ex, const QString& directive) {
    std::vector<uint8_t> codes(256);
    LineCodeState st;
    codes.resize(size_t(EncodeCodes(st, directive, codes.data(), int(codes.size()))));
    ex.Receive(codes.data(), codes.size(), 0);
    const auto out = ex.TakeAll(0);
    LineCodeState rx;
    QString text = DecodeCodes(rx, out.data(), int(out.size()), [] { return QString(); });
    // Lines after the machine-time line; the roll's "_" are the line's spaces.
    return text.section(QStringLiteral("\r\n  "), 2)
        .replace(QStringLiteral("\r\n  "), QStringLiteral("|"))
        .replace(QLatin1Char('_'), QLatin1Char(' '));
}
} // namespace

TEST(CatalogueAnswers, EveryFixedDirectiveHasItsOwnAnswer) {
    sim::SimOptions o;
    o.callsPerMinute = 0;
    o.animateMs = 0;
    sim::SimExchange ex(o);
    const QString generic = QStringLiteral("ДИРЕКТИВА ПРИНЯТА");
    const QString refused = QStringLiteral("ОШИБКА В ДИРЕКТИВЕ");
    for (const bool commissioning : {false, true}) {
        for (const DirectiveButton& b : DirectiveCatalogue::Buttons()) {
            if (b.IsTemplate()) continue;
            // Put the exchange in the mode of this round first.
            Answer(ex, commissioning ? QStringLiteral("ТО_7-") : QStringLiteral("ОО_3-"));
            const QString a = Answer(ex, b.hint);
            const bool needsCommissioning = b.hint.startsWith(QStringLiteral("ОО_")) &&
                                            b.hint != QStringLiteral("ОО_3-") &&
                                            !b.hint.startsWith(QStringLiteral("ОО_F"));
            const std::string what = b.hint.toStdString() + " -> " + a.toStdString();
            EXPECT_FALSE(a.isEmpty()) << what;
            EXPECT_NE(a, generic) << what;
            EXPECT_FALSE(a.contains(QStringLiteral("НЕИЗВЕСТНАЯ")) ||
                         a.contains(QStringLiteral("НЕВЕРНЫЕ")))
                << what;
            EXPECT_EQ(a.startsWith(refused), needsCommissioning && !commissioning) << what;
        }
    }
}
