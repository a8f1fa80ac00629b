// The simulated exchange driven directly: codes in, codes out, time passed in.
#include "Answers.h"
#include "Exchange.h"
#include "Image.h"
#include "link/LineCode.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <vector>

using namespace sim;

namespace {
SimOptions Quiet() {
    SimOptions o;
    o.seed = 11;
    o.callsPerMinute = 0;
    o.animateMs = 0;
    o.clock = QDateTime(QDate(2026, 12, 5), QTime(14, 5, 30));
    return o;
}

// What the terminal would send for a directive: its leading 0, then the
// codes from the Latin register on.
std::vector<uint8_t> Directive(const QString& text) {
    std::vector<uint8_t> buf(256);
    LineCodeState st;
    buf.resize(size_t(EncodeCodes(st, text, buf.data(), int(buf.size()))));
    return buf;
}

// Printout text as the terminal's roll decoder shows it, lines joined by "|"
// and the line's spaces (which the roll shows as "_") as blanks.
QString Text(const std::vector<uint8_t>& codes) {
    LineCodeState st;
    QString t = DecodeCodes(st, codes.data(), int(codes.size()), [] { return QString(); });
    t.replace(QStringLiteral("\r\n  "), QStringLiteral("|"));
    t.replace(QLatin1Char('_'), QLatin1Char(' '));
    return t;
}

QString Ask(SimExchange& ex, const char* directive, int64_t now = 0) {
    const auto codes = Directive(QString::fromUtf8(directive));
    ex.Receive(codes.data(), codes.size(), now);
    return Text(ex.TakeAll(now));
}

// Whether the printout of a directive ends with tail; what it printed when not.
testing::AssertionResult Ends(SimExchange& ex, const char* directive, const char* tail,
                              int64_t now = 0) {
    const QString t = Ask(ex, directive, now);
    if (t.endsWith(QString::fromUtf8(tail))) return testing::AssertionSuccess();
    return testing::AssertionFailure() << directive << " printed " << t.toStdString();
}

// Nibbles of one data frame (header checked).
std::vector<uint8_t> FrameNibbles(const std::vector<uint8_t>& codes, size_t at, size_t n) {
    std::vector<uint8_t> out;
    EXPECT_GE(codes.size(), at + 3 + n);
    if (codes.size() < at + 3 + n) return out;
    EXPECT_TRUE(codes[at] == 14 && codes[at + 1] == 14 && codes[at + 2] == 14);
    for (size_t k = 0; k < n; ++k)
        out.push_back(LineCode::Nibble(codes[at + 3 + k]));
    return out;
}
} // namespace

TEST(SimDirectiveReader, ReadsDirectivesBetweenNoiseAndAbandonsAnUnfinishedOne) {
    DirectiveReader r;
    QStringList done, abandoned;
    auto feed = [&](const char* text) {
        const auto codes =
            text ? Directive(QString::fromUtf8(text)) : std::vector<uint8_t>{4, 4, 8, 2};
        for (uint8_t c : codes) {
            const auto e = r.Feed(c);
            if (e == DirectiveReader::Event::Complete) done << r.Text();
            if (e == DirectiveReader::Event::Abandoned) abandoned << r.Text();
        }
    };
    feed(nullptr); // the port-open space and line noise: nothing
    feed("ТО_5,-");
    feed("A1B-"); // Latin first: no switch after the 0
    feed("");     // an empty directive, then a real one
    feed("ЗЯ_EC,100-");
    feed("ТО_8,5B2C"); // unfinished: given up at the next directive
    feed("МВ_-");
    EXPECT_EQ(done, (QStringList{"ТО_5,-", "A1B-", "ЗЯ_EC,100-", "МВ_-"}));
    EXPECT_EQ(abandoned, QStringList{"ТО_8,5B2C"});
}

TEST(SimExchange, ClockDirectivesPrintAndSetTheMachineTime) {
    SimExchange ex(Quiet());
    EXPECT_EQ(Ask(ex, "МВ_-"),
              QStringLiteral("|14.05.30 05.12.26|МАШИННОЕ ВРЕМЯ 14.05.30 05.12.2026"));
    // The clock runs on with the exchange's time.
    EXPECT_TRUE(Ends(ex, "МВ_-", "14.06.31 05.12.2026", 61000));
    EXPECT_EQ(Ask(ex, "КВ_09,07,03,02,27-", 70000),
              QStringLiteral("|09.07.00 03.02.27|ВРЕМЯ УСТАНОВЛЕНО"));
    EXPECT_TRUE(Ends(ex, "МВ_-", "09.07.05 03.02.2027", 75000));
    Ask(ex, "КВ_23,59,31,12,2030-", 80000);
    EXPECT_EQ(ex.MachineTime(80000), QDateTime(QDate(2030, 12, 31), QTime(23, 59)));

    // Impossible dates and wrong forms leave the clock alone.
    for (const char* bad : {"КВ_24,00,01,01,26-", "КВ_12,00,30,02,26-", "КВ_12,00,01,01,226-",
                            "КВ_12,00,01,01-", "МВ_1-"})
        EXPECT_TRUE(Ends(ex, bad, "НЕВЕРНЫЕ ПАРАМЕТРЫ", 80000));
    EXPECT_EQ(ex.MachineTime(80000), QDateTime(QDate(2030, 12, 31), QTime(23, 59)));
}

TEST(SimExchange, DirectiveRepliesControlUnitStateAndTheFaultsCommand) {
    SimExchange ex(Quiet());
    EXPECT_TRUE(Ends(ex, "ХХ_1-", "|НЕИЗВЕСТНАЯ ДИРЕКТИВА"));
    EXPECT_TRUE(Ends(ex, "ТО5-", "|ОШИБКА В ДИРЕКТИВЕ"));
    EXPECT_TRUE(Ends(ex, "ТО_12,2,5-", "|ДИРЕКТИВА ПРИНЯТА"));
    QString t = Ask(ex, "ТО_5,-");
    EXPECT_TRUE(t.contains(QStringLiteral("СОСТОЯНИЕ ПУУ"))) << t.toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("|СТАТИВ 3  БГ 0000 0000  ВВК 41 23  УВП 3C15 5A2B|")))
        << t.toStdString();
    EXPECT_TRUE(t.endsWith(QStringLiteral("|РСП ЭУМ 0 8400  ЭУМ 1 8400"))) << t.toStdString();
    EXPECT_TRUE(Ends(ex, "РЯ_27192-", "27192+-00023"));
    EXPECT_TRUE(Ends(ex, "РЯ_271E7-", "271E7+-17015"));

    EXPECT_TRUE(ex.Command(QStringLiteral("faults on"), 0).ok);
    t = Ask(ex, "ТО_5,-");
    EXPECT_TRUE(t.contains(QStringLiteral("|СТАТИВ 1  БГ 0001 8000  ВВК 41 23")))
        << t.toStdString();
    EXPECT_TRUE(t.endsWith(QStringLiteral("ЭУМ 1 8300"))) << t.toStdString();
    EXPECT_EQ(ex.Memory().Word(layout::kSyncMode) >> 13, 0);
    EXPECT_TRUE(ex.Command(QStringLiteral("faults off"), 0).ok);
    EXPECT_EQ(ex.Memory().Word(layout::kSyncMode) >> 13, 6);
    EXPECT_FALSE(Ask(ex, "ТО_5,-").contains(QStringLiteral("8000")));
    EXPECT_FALSE(ex.Command(QStringLiteral("faults maybe"), 0).ok);
}

TEST(SimExchange, CellsInTheAddressNotation) {
    SimExchange ex(Quiet());
    // The four cells of the exchange state summary, with the prefixes the
    // terminal waits for.
    EXPECT_TRUE(Ends(ex, "РЯ_77-", "|00077+-00061"));
    EXPECT_TRUE(Ends(ex, "РЯ_11078-", "|11078+-00001"));
    EXPECT_TRUE(Ends(ex, "РЯ_11079-", "|11079+-0000E"));
    EXPECT_TRUE(Ends(ex, "РЯ_EC-", "|000EC+-60000"));
    EXPECT_EQ(ex.Memory().Word(0x2478), 1);

    // Writing a cell answers with its new content; a range prints line by line.
    EXPECT_TRUE(Ends(ex, "ЗЯ_EC,100-", "|000EC+-00100"));
    EXPECT_EQ(ex.Memory().Word(0xEC), 0x100);
    ex.Memory().SetWord(0x2000, 0xBFC0);
    EXPECT_TRUE(Ends(ex, "РМ_073FF,10001-", "|073FF+-00000|10000+-573C0|10001+-00000"));

    // Six characters name a memory block; the end of a range without a block
    // digit lies in the start's block.
    ex.Memory().SetWord(0x8175, 0x1234);
    EXPECT_TRUE(Ends(ex, "РЯ_340175-", "|340175+-46240"));
    EXPECT_TRUE(Ends(ex, "РЯ_40175-", "|40175+-04234"));
    EXPECT_TRUE(Ends(ex, "ЗЯ_340176,00007-", "|340176+-00007"));
    EXPECT_EQ(ex.Memory().BankWord(3, 0x8176), 7);
    EXPECT_NE(ex.Memory().Word(0x8176), 7);
    EXPECT_TRUE(Ends(ex, "РМ_340175,40176-", "|340175+-46240|340176+-00007"));
    Ask(ex, "ЗМ_240000,240001,00005-");
    EXPECT_EQ(ex.Memory().BankWord(2, 0x8001), 5);

    // Digits out of the notation's range, a range across blocks, a block
    // digit out of range.
    for (const char* bad :
         {"РЯ_5F30-", "РЯ_800000-", "РМ_340175,240176-", "РЯ_740175-", "ЗЯ_A40175,1-"})
        EXPECT_TRUE(Ends(ex, bad, "НЕВЕРНЫЕ ПАРАМЕТРЫ"));

    // A printout starts with a line feed and never ends on a frame header
    // code (this value ends in "C", code 14).
    ex.Memory().SetWord(0x77, 0x00EC);
    const auto codes = Directive(QStringLiteral("РЯ_77-"));
    ex.Receive(codes.data(), codes.size(), 0);
    const auto out = ex.TakeAll(0);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], LineCode::kLineFeed);
    EXPECT_EQ(out[1], LineCode::kCarriageReturn);
    EXPECT_NE(out.back(), 11);
    EXPECT_NE(out.back(), 14);
    EXPECT_TRUE(Text(out).endsWith(QStringLiteral("|00077+-000EC")));
}

TEST(SimExchange, DataFrameRepeatsUntilASpaceOrTheNextDirective) {
    SimExchange ex(Quiet());
    ex.Memory().SetWord(0x1000, 0x1234);
    ex.Memory().SetWord(0x1001, 0xABCD);
    const auto req = Directive(QStringLiteral("ТО_8,1000,6,10,,1-"));
    ex.Receive(req.data(), req.size(), 0);
    auto out = ex.TakeAll(0);
    ASSERT_EQ(out.size(), 10u); // header + 7 codes, no printout
    EXPECT_EQ(FrameNibbles(out, 0, 7), (std::vector<uint8_t>{1, 2, 3, 4, 10, 11, 12}));
    EXPECT_EQ(out[3], 16); // nibble 1 travels as code bit 4

    // Repeats every 150 ms, reading memory afresh each time.
    ex.Tick(100);
    EXPECT_TRUE(ex.TakeAll(100).empty());
    ex.Memory().SetWord(0x1000, 0xF234);
    ex.Tick(150);
    out = ex.TakeAll(150);
    EXPECT_EQ(FrameNibbles(out, 0, 7).front(), 15);
    ex.Tick(300);
    EXPECT_EQ(ex.TakeAll(300).size(), 10u);

    // The terminal's continuation (three spaces) stops it; nothing more comes.
    const uint8_t spaces[] = {4, 4, 4};
    ex.Receive(spaces, 3, 320);
    EXPECT_FALSE(ex.Repeating());
    for (int64_t t = 450; t < 2000; t += 150)
        ex.Tick(t);
    EXPECT_TRUE(ex.TakeAll(2000).empty());

    // A frame the line has not taken yet: no second one piles up.
    const auto live = Directive(QStringLiteral("ТО_8,2230,2F,10,,1-"));
    ex.Receive(live.data(), live.size(), 3000);
    ex.Tick(3150);
    ex.Tick(3300);
    EXPECT_EQ(ex.Pending(), 51u);
    EXPECT_EQ(ex.TakeAll(3300).size(), 51u);
    ex.Tick(3310);
    EXPECT_EQ(ex.Pending(), 51u);
    ex.TakeAll(3310);
    // A new request's separator stops the old read before the new one starts.
    const auto next = Directive(QStringLiteral("ТО_8,5FA3,3,10,,1-"));
    ex.Receive(next.data(), next.size(), 3400);
    out = ex.TakeAll(3400);
    ASSERT_EQ(out.size(), 7u);
    const auto n = FrameNibbles(out, 0, 4);
    EXPECT_EQ((n[2] & 3) * 16 + n[3], layout::kPbLast); // the terminal's decoding
}

TEST(SimExchange, DefaultImageAnswersTheStatisticsReads) {
    SimExchange ex(Quiet());
    // Reads a word through the line, as the address steps do.
    auto word = [&](uint16_t a) {
        ex.Receive(nullptr, 0, 0);
        const auto req = Directive(QStringLiteral("ТО_8,%1,3,10,,1-").arg(a, 0, 16).toUpper());
        ex.Receive(req.data(), req.size(), 0);
        const auto n = FrameNibbles(ex.TakeAll(0), 0, 4);
        const uint8_t stop = 4;
        ex.Receive(&stop, 1, 0);
        return n.size() == 4 ? ((n[0] * 16 + n[1]) * 16 + n[2]) * 16 + n[3] : -1;
    };
    // Bit tables: count the set bits of `codes` payload codes at address.
    auto bits = [&](uint16_t a, int codes) {
        int set = 0;
        for (int e = 0; e < codes * 4; ++e)
            set += ex.Memory().Bit(a, e);
        return set;
    };
    EXPECT_EQ(bits(uint16_t(word(0x5B2C)), 48), layout::kVkPresent);
    EXPECT_EQ(bits(uint16_t(word(0x5B28)), 48), layout::kIkPresent);
    EXPECT_EQ(bits(0x5F34, 8), layout::kAkBlocksPresent);
    EXPECT_EQ(word(0x408C), 0x0D80);
    EXPECT_NE(word(0x601B), 0); // city exchange

    // Every present incoming kit has a direction below 32; the tables of the
    // refresh path do not overlap.
    const uint16_t napr = uint16_t(word(0x5779));
    for (int k = 0; k < layout::kVkPresent; ++k) {
        const int e = 191 - k;
        const int byte = ex.Memory().Nibble(napr, 2 * e) * 16 + ex.Memory().Nibble(napr, 2 * e + 1);
        EXPECT_LT(byte & 63, 32);
    }
    struct Span {
        int from, words;
    };
    std::vector<Span> spans = {{word(0x5B2C), 12},  {word(0x4036), 48},  {word(0x5779), 96},
                               {word(0x576D), 64},  {word(0x4088), 192}, {word(0x5B0A), 12},
                               {word(0x5B28), 12},  {word(0x4035), 48},  {word(0x5B33), 96},
                               {word(0x4087), 192}, {0x2230, 12},        {word(0x4085), 512},
                               {word(0x4086), 512}, {0x0D80, 128},       {0x0E00, 128},
                               {0x2224, 4},         {0x2254, 4},         {0x5FC4, 4}};
    for (size_t i = 0; i < spans.size(); ++i)
        for (size_t j = i + 1; j < spans.size(); ++j)
            EXPECT_TRUE(spans[i].from + spans[i].words <= spans[j].from ||
                        spans[j].from + spans[j].words <= spans[i].from)
                << i << " overlaps " << j;
}

TEST(SimExchange, LiveBitsMoveButBlockedKitsStay) {
    SimOptions o = Quiet();
    o.animateMs = 1000;
    SimExchange ex(o);
    const SimMemory before = ex.Memory();
    for (int64_t t = 0; t <= 30000; t += 1000)
        ex.Tick(t);
    int changed = 0;
    for (uint16_t a : {uint16_t(0x2100), uint16_t(0x2230), uint16_t(0x2224)})
        for (int i = 0; i < 12; ++i)
            changed += ex.Memory().Word(uint16_t(a + i)) != before.Word(uint16_t(a + i));
    EXPECT_GT(changed, 0);
    for (int k = 0; k < 192; ++k) {
        const int e = 191 - k;
        const int state = ex.Memory().Word(uint16_t(layout::kVkOkp + e)) >> 13;
        if (state == 2 || state == 5) {
            EXPECT_EQ(ex.Memory().Bit(layout::kVkBusy, e), before.Bit(layout::kVkBusy, e));
        }
    }
}

TEST(SimExchange, MaintenanceDirectivesMoveTheStateCells) {
    SimExchange ex(Quiet());
    // Commissioning work is refused while calls are served.
    EXPECT_TRUE(Ends(ex, "ОО_1-", "|ОШИБКА В ДИРЕКТИВЕ|НУЖЕН РЕЖИМ ПУСКОНАЛАДКИ"));
    EXPECT_TRUE(Ends(ex, "ТО_7-", "|РЕЖИМ ПУСКОНАЛАДКИ"));
    EXPECT_TRUE(Ends(ex, "РЯ_11078-", "|11078+-00000"));
    EXPECT_TRUE(Ends(ex, "ОО_1-", "ВЫПОЛНЕНА"));
    Ask(ex, "ОО_3-");
    EXPECT_TRUE(Ends(ex, "РЯ_11078-", "|11078+-00001"));

    const struct {
        const char* directive;
        const char* cell;
        const char* line;
    } steps[] = {
        {"ТО_4,1-", "РЯ_11079-", "11079+-0000F"}, {"ТО_4,-", "РЯ_11079-", "11079+-0000E"},
        {"УК_4,1-", "РЯ_EC-", "000EC+-70000"},    {"УК_4,0-", "РЯ_EC-", "000EC+-60000"},
        {"УК_0,1-", "РЯ_EC-", "000EC+-20000"},    {"УК_4,1-", "РЯ_EC-", "000EC+-20000"},
        {"УК_1-", "РЯ_EC-", "000EC+-60000"},
    };
    for (const auto& s : steps) {
        Ask(ex, s.directive);
        EXPECT_TRUE(Ends(ex, s.cell, s.line)) << "after " << s.directive;
    }
    const QStringList sums = Ask(ex, "УК_6,-").split(QLatin1Char('|'));
    ASSERT_EQ(sums.size(), 4);
    EXPECT_TRUE(sums[2].startsWith(QStringLiteral("КС ЭУМ 0 = ")));
    EXPECT_EQ(sums[2].right(4), sums[3].right(4));

    // Every answer of the table can be printed on the line.
    for (const QString& d : CannedDirectives()) {
        const auto answer = CannedAnswer(d);
        for (const QString& line : answer->lines)
            EXPECT_TRUE(Printer::Printable(line)) << line.toStdString();
    }
}
