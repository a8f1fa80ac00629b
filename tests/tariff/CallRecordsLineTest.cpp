// Call frames cut out of the line by the exchange objects reach the tables,
// from every exchange.
#include "CallRecordsTestSupport.h"
#include "link/Ats.h"
#include "tables/TxFile.h"

#include <gtest/gtest.h>

namespace {

// A line code carrying a nibble: its bits 4..1 are the nibble's bits 0..3;
// bit 0 is set, as in the frame headers 11 and 17 (and 1).
uint8_t CodeOf(uint8_t nibble) {
    return uint8_t((nibble & 1) << 4 | (nibble & 2) << 2 | (nibble & 4) | (nibble & 8) >> 2 | 1);
}

template <size_t N> std::vector<uint8_t> Codes(const std::array<uint8_t, N>& nibbles) {
    std::vector<uint8_t> codes;
    for (uint8_t n : nibbles)
        codes.push_back(CodeOf(n));
    return codes;
}

// Exchange n of the rig on a port in memory, its call frames going to the rig.
std::unique_ptr<TAts> Exchange(TariffRig& r, int n, FakePort* port) {
    r.app.rollDir = r.env.Dir() + QLatin1Char('/');
    auto ats = std::make_unique<TAts>(r.app, n, std::unique_ptr<SerialPort>(port));
    ats->SwitchPort(true);
    ats->SetCallSink(r.calls.get());
    return ats;
}

} // namespace

TEST(CallRecordsLine, FramesFromEachExchangeAreBilledWithItsNumber) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    std::vector<std::unique_ptr<TAts>> lines;
    std::vector<FakePort*> ports;
    for (int n = 1; n <= 4; ++n) {
        ports.push_back(new FakePort);
        lines.push_back(Exchange(r, n, ports.back()));
    }
    // The same kit on all four exchanges: each end matches its own start.
    for (int n = 0; n < 4; ++n)
        ports[size_t(n)]->Arrive(
            Codes(StartFrame(77, QString::number(1000 + n), QString::number(500 + n), 1)));
    EXPECT_EQ(r.TarifTA().size(), 4);
    Clock::Advance(7000);
    for (int n = 3; n >= 0; --n)
        ports[size_t(n)]->Arrive(Codes(EndFrame(77, QString::number(500 + n))));
    const auto dest = r.DestTar();
    ASSERT_EQ(dest.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dest[i][0].toInt(), 1003 - i);
        EXPECT_EQ(dest[i][5].toInt(), 503 - i);
        EXPECT_EQ(dest[i][3].toInt(), 7);
    }
    EXPECT_TRUE(r.TarifTA().isEmpty());
}

namespace {
// Notes the journal syncs made so far at each read of the line.
class SyncWatchPort : public FakePort {
public:
    qint64 Read(uint8_t* data, qint64 max) override {
        SyncsAtRead.push_back(tables::JournalSyncCount());
        return FakePort::Read(data, max);
    }
    std::vector<quint64> SyncsAtRead;
};
} // namespace

// A call billed on its own is synced before the next read from the line;
// the calls of one read share one sync.
TEST(CallRecordsLine, EachReadWithCallsIsSyncedBeforeTheNextRead) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    auto* port = new SyncWatchPort;
    auto ats = Exchange(r, 1, port);
    for (int kit = 1; kit <= 4; ++kit)
        port->Arrive(Codes(StartFrame(kit, QStringLiteral("1234"), QStringLiteral("5678"), 1)));
    Clock::Advance(9000);
    port->Arrive(Codes(EndFrame(1, QStringLiteral("5678"))));
    std::vector<uint8_t> ends; // three ends in one read
    for (int kit = 2; kit <= 4; ++kit)
        for (uint8_t c : Codes(EndFrame(kit, QStringLiteral("5678"))))
            ends.push_back(c);
    port->Arrive(ends);
    port->Arrive(Codes(StartFrame(9, QStringLiteral("1234"), QStringLiteral("5678"), 1)));
    const auto& s = port->SyncsAtRead;
    ASSERT_EQ(s.size(), 7u);
    for (size_t i = 1; i < s.size(); ++i)
        EXPECT_EQ(s[i], s[i - 1] + 1) << "read " << i; // one sync per read, bursts included
    EXPECT_EQ(r.DestTar().size(), 4);
    // On disk already, as another program reads it.
    EXPECT_EQ(ReadRows(r.tables->TableTarif()->Path()).size(), 4);
}
