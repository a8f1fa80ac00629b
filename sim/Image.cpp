#include "Image.h"

namespace sim {

using namespace layout;

namespace {
// Kit k of an M+1 entry table is element M - k.
constexpr int TrunkElement(int kit) {
    return kTrunkKits - 1 - kit;
}
constexpr int kAkPositions = 64;
constexpr int kRackKits = 32;

uint32_t Pick(std::mt19937& rng, uint32_t n) {
    return uint32_t(rng() % n);
}
bool Chance(std::mt19937& rng, uint32_t percent) {
    return Pick(rng, 100) < percent;
}

void SetState(SimMemory& m, uint16_t table, int element, uint16_t state) {
    const uint16_t a = uint16_t(table + element);
    m.SetWord(a, uint16_t((m.Word(a) & 0x1FFF) | (state << 13)));
}
uint16_t State(const SimMemory& m, uint16_t table, int element) {
    return uint16_t(m.Word(uint16_t(table + element)) >> 13);
}
bool Blocked(uint16_t state) {
    return state == 2 || state == 5;
}

bool RackEquipped(const SimMemory& m, int rack) {
    for (int j = 4 * rack; j < 4 * rack + 4; ++j)
        if (m.Bit(kRackBits, 63 - j)) return true;
    return false;
}

bool BlockPresent(const SimMemory& m, int block) {
    return m.Bit(kAkBlocks, 31 - block);
}

void BuildTrunks(SimMemory& m, std::mt19937& rng, bool incoming) {
    const uint16_t exist = incoming ? kVkExist : kIkExist;
    const uint16_t type = incoming ? kVkType : kIkType;
    const uint16_t napr = incoming ? kVkNapr : kIkNapr;
    const uint16_t okp = incoming ? kVkOkp : kIkOkp;
    const uint16_t busy = incoming ? kVkBusy : kIkBusy;
    const int present = incoming ? kVkPresent : kIkPresent;
    // Kits come in groups of eight: one direction and one kit type per group.
    static constexpr uint8_t kTypes[] = {0, 1, 4, 7, 2, 5, 11, 14};
    for (int kit = 0; kit < kTrunkKits; ++kit) {
        const int e = TrunkElement(kit);
        const bool here = kit < present;
        m.SetBit(exist, e, here);
        const int group = kit / 8;
        m.SetNibble(type, e, kTypes[group % 8]);
        const uint8_t dir = uint8_t(here ? group % 24 : 0);
        // Bits 6-7 of a direction byte: the bundle kind of an incoming kit;
        // outgoing kits carry flags there too.
        const uint8_t bundle = uint8_t((incoming ? group % 3 : group % 4 == 1 ? 2 : 0) << 6);
        m.SetByte(napr, e, uint8_t(dir | bundle));
        const uint16_t state = here && Chance(rng, 4) ? (Chance(rng, 50) ? 2 : 5) : 0;
        m.SetWord(uint16_t(okp + e), uint16_t((state << 13) | (kit & 0xFF)));
        m.SetBit(busy, e, here && !Blocked(state) && Chance(rng, 35));
    }
    if (!incoming) return;
    // Direction attribute words (double words, direction d is element 31 - d).
    for (int d = 0; d < 32; ++d) {
        uint32_t w = 0;
        w |= Pick(rng, 16) | (Pick(rng, 16) << 4) | (Pick(rng, 16) << 8); // restoration values
        w |= (uint32_t(d % 5) << 12);                                     // signalling type
        w |= uint32_t(d % 3 == 0) << 15;                                  // notification
        w |= Pick(rng, 8) << 16;                                          // KolVC
        w |= uint32_t(d % 7 == 0) << 19;                                  // switchboard
        w |= uint32_t(d % 2) << 20;                                       // calling line id
        w |= Pick(rng, 8) << 21;                                          // KolGC
        w |= uint32_t(d % 4 == 1) << 25;                                  // 425 Hz
        w |= uint32_t(d % 2 == 0) << 26;                                  // number reception
        w |= uint32_t(d % 5 == 3) << 27;                                  // no СЗ
        const int e = 31 - d;
        m.SetWord(uint16_t(kVkDir + 2 * e), uint16_t(w >> 16));
        m.SetWord(uint16_t(kVkDir + 2 * e + 1), uint16_t(w & 0xFFFF));
    }
}
} // namespace

void BuildDefaultImage(SimMemory& m) {
    m.Clear();
    std::mt19937 rng(0x5EED1u);
    // Program areas: the main area and the additional banks hold code that
    // nobody here interprets; fill them with stable noise.
    for (uint32_t a = 0x4000; a < 0x8000; ++a)
        m.SetWord(uint16_t(a), uint16_t(rng()));
    for (int bank = 1; bank <= kExtraBanks; ++bank)
        for (uint32_t a = kBankStart; a <= kBankEnd; ++a)
            m.SetBankWord(bank, uint16_t(a), uint16_t(rng()));
    // End word of the fourth bank's summed part, kept in the third bank.
    m.SetBankWord(3, 0x8175, 0x9A40);

    // Base words.
    const std::pair<uint16_t, uint16_t> bases[] = {
        {kVkExistPtr, kVkExist}, {kVkTypePtr, kVkType},    {kVkNaprPtr, kVkNapr},
        {kVkDirPtr, kVkDir},     {kVkOkpPtr, kVkOkp},      {kVkBusyPtr, kVkBusy},
        {kIkExistPtr, kIkExist}, {kIkTypePtr, kIkType},    {kIkNaprPtr, kIkNapr},
        {kIkOkpPtr, kIkOkp},     {kAkBasePtr, kAkBlocked}, {kIskPtr, kIsk},
        {kVskPtr, kVsk}};
    for (const auto& [ptr, table] : bases)
        m.SetWord(ptr, table);

    BuildTrunks(m, rng, true);
    BuildTrunks(m, rng, false);

    // Subscriber blocks: present ones have a few blocked kits and some busy.
    for (int b = 0; b < 32; ++b) {
        const bool here = b < kAkBlocksPresent;
        m.SetBit(kAkBlocks, 31 - b, here);
        for (int p = 0; p < kAkPositions; ++p) {
            const bool blocked = here && Chance(rng, 3);
            m.SetBit(uint16_t(kAkBlocked + 4 * b), 63 - p, blocked);
            m.SetBit(uint16_t(kAkFree + 4 * b), 63 - p, !(here && !blocked && Chance(rng, 8)));
        }
    }

    // Cord kits: the first racks are equipped.
    m.SetWord(kExchangeKind, 1);
    for (int j = 0; j < 64; ++j) // one bit of each equipped rack, the others clear
        m.SetBit(kRackBits, 63 - j, j % 4 == 0 && j / 4 < kRacksEquipped);
    for (uint16_t table : {kIsk, kVsk})
        for (int r = 0; r < 16; ++r)
            for (int i = 0; i < kRackKits; ++i) {
                uint16_t state = 1; // not in service
                if (r < kRacksEquipped) state = Chance(rng, 3) ? 2 : (Chance(rng, 25) ? 3 : 0);
                m.SetWord(uint16_t(table + r * kRackKits + i), uint16_t(state << 13));
            }

    // Battery receivers: 48, two excluded, two blocked.
    m.SetWord(kPbCount, uint16_t(0x0100 | kPbLast));
    for (int i = 0; i <= kPbLast; ++i) {
        const int e = kPbLast - i;
        const bool excluded = i == 13 || i == 40;
        const bool blocked = i == 7 || i == 29;
        m.SetBit(kPbExcluded, e, excluded);
        m.SetBit(kPbBlocked, e, blocked);
        m.SetBit(kPbBusy, e, !excluded && !blocked && Chance(rng, 30));
    }

    // Control machines: machine 1 leads, calls are served, trunk 0 in use,
    // synchronous mode; control units sound.
    m.SetWord(kLeadingMachine, 0x0061);
    m.SetWord(kServiceMode, 0x0001);
    m.SetWord(kTrunkInUse, 0x000E);
    SetUnitFaults(m, false);
}

void SetUnitFaults(SimMemory& m, bool faults) {
    static constexpr uint16_t kVvk[2] = {0x0041, 0x0023}, kUvp[2] = {0x3C15, 0x5A2B};
    m.SetWord(kVvkRef0, kVvk[0]);
    m.SetWord(kVvkRef1, kVvk[1]);
    m.SetWord(kUvpRefLxe, kUvp[0]);
    m.SetWord(kUvpRefLxf, kUvp[1]);
    for (int r = 0; r < kPuuRacks; ++r) {
        const uint16_t at = uint16_t(kPuuState + 8 * r);
        m.SetWord(at, 0);
        m.SetWord(uint16_t(at + 1), 0);
        m.SetWord(uint16_t(at + 2), kVvk[0]);
        m.SetWord(uint16_t(at + 3), kVvk[1]);
        m.SetWord(uint16_t(at + 4), kUvp[0]);
        m.SetWord(uint16_t(at + 5), kUvp[1]);
    }
    // Synchronous work, parity of the low memory byte blocked on both.
    m.SetWord(kFailureWords, 0x8400);
    m.SetWord(uint16_t(kFailureWords + 1), 0x8400);
    m.SetWord(kSyncMode, uint16_t((m.Word(kSyncMode) & 0x1FFF) | 0xC000));
    if (!faults) return;
    m.SetWord(uint16_t(kPuuState + 8 * 1), 0x0001);     // rack 1: БВ01 "60"
    m.SetWord(uint16_t(kPuuState + 8 * 1 + 1), 0x8000); // 0 БП "5" БК
    m.SetWord(uint16_t(kPuuState + 3), kVvk[1] ^ 0x41); // rack 0 ВВК 1 ствол: bits 0, 6
    m.SetWord(uint16_t(kPuuState + 8 * 2 + 4), kUvp[0] ^ 0x104); // rack 2 Lxe: bits 2, 8
    m.SetWord(uint16_t(kPuuState + 8 * 3 + 5), kUvp[1] ^ 0x10);  // rack 3 Lxf: bit 4
    m.SetWord(uint16_t(kFailureWords + 1), 0x8300);              // machine 1 failed its self-test
    m.SetWord(kSyncMode, uint16_t(m.Word(kSyncMode) & 0x1FFF));
}

void Animate(SimMemory& m, std::mt19937& rng, const std::function<bool(int)>& inCall) {
    // Trunk kits: a few present, unblocked kits change their busy bit.
    auto trunks = [&](uint16_t exist, uint16_t okp, uint16_t busy) {
        for (int n = 0; n < 6; ++n) {
            const int e = int(Pick(rng, kTrunkKits));
            if (!m.Bit(exist, e) || Blocked(State(m, okp, e))) continue;
            // Busy kits hang up; free ones pick up half as often, so about a
            // third stay busy.
            m.SetBit(busy, e, !m.Bit(busy, e) && Chance(rng, 50));
        }
    };
    trunks(kVkExist, kVkOkp, kVkBusy);
    trunks(kIkExist, kIkOkp, kIkBusy);

    // Cord kits of equipped racks: free and busy alternate.
    for (uint16_t table : {kIsk, kVsk})
        for (int n = 0; n < 8; ++n) {
            const int r = int(Pick(rng, 16));
            if (!RackEquipped(m, r)) continue;
            const int e = r * kRackKits + int(Pick(rng, kRackKits));
            const uint16_t s = State(m, table, e);
            if (s == 0 && Chance(rng, 35))
                SetState(m, table, e, 3);
            else if (s == 3)
                SetState(m, table, e, 0);
        }

    // Battery receivers.
    const int last = m.Word(kPbCount) & 0x3F;
    for (int n = 0; n < 3; ++n) {
        const int e = int(Pick(rng, uint32_t(last + 1)));
        if (m.Bit(kPbExcluded, e) || m.Bit(kPbBlocked, e)) continue;
        m.SetBit(kPbBusy, e, !m.Bit(kPbBusy, e) && Chance(rng, 45));
    }

    // Subscriber kits outside the generated calls pick up and hang up.
    for (int n = 0; n < 4; ++n) {
        const int kit = int(Pick(rng, 32 * kAkPositions));
        if (!SubscriberPresent(m, kit) || (inCall && inCall(kit))) continue;
        SetSubscriberBusy(m, kit, !SubscriberBusy(m, kit) && Chance(rng, 10));
    }
}

bool SubscriberPresent(const SimMemory& m, int kit) {
    if (kit < 0 || kit >= 32 * kAkPositions) return false;
    const int b = kit / kAkPositions, p = kit % kAkPositions;
    return BlockPresent(m, b) && !m.Bit(uint16_t(kAkBlocked + 4 * b), 63 - p);
}

void SetSubscriberBusy(SimMemory& m, int kit, bool busy) {
    if (kit < 0 || kit >= 32 * kAkPositions) return;
    const int b = kit / kAkPositions, p = kit % kAkPositions;
    m.SetBit(uint16_t(kAkFree + 4 * b), 63 - p, !busy);
}

bool SubscriberBusy(const SimMemory& m, int kit) {
    if (kit < 0 || kit >= 32 * kAkPositions) return false;
    const int b = kit / kAkPositions, p = kit % kAkPositions;
    return !m.Bit(uint16_t(kAkFree + 4 * b), 63 - p);
}

} // namespace sim
