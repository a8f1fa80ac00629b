#pragma once
// The default memory image: a plausible city exchange whose kit tables sit
// where the terminal's statistics look for them, and the live changes of the
// busy bits that make the statistics windows move.
#include "Memory.h"

#include <cstdint>
#include <functional>
#include <random>

namespace sim {

// Where the image keeps things. The base words (pointer cells) hold the
// addresses of the tables; the tables are stored from the highest kit number
// down (kit k of an M+1 entry table is element M - k).
namespace layout {
// Incoming trunk kits (192): base words and tables.
constexpr uint16_t kVkExistPtr = 0x5B2C, kVkExist = 0x5000; // bits
constexpr uint16_t kVkTypePtr = 0x4036, kVkType = 0x5010;   // nibbles
constexpr uint16_t kVkNaprPtr = 0x5779, kVkNapr = 0x5040;   // bytes
constexpr uint16_t kVkDirPtr = 0x576D, kVkDir = 0x50A0;     // 32 double words
constexpr uint16_t kVkOkpPtr = 0x4088, kVkOkp = 0x5100;     // words, state in bits 15-13
constexpr uint16_t kVkBusyPtr = 0x5B0A, kVkBusy = 0x2100;   // bits, live
// Outgoing trunk kits (192).
constexpr uint16_t kIkExistPtr = 0x5B28, kIkExist = 0x5200;
constexpr uint16_t kIkTypePtr = 0x4035, kIkType = 0x5210;
constexpr uint16_t kIkNaprPtr = 0x5B33, kIkNapr = 0x5240;
constexpr uint16_t kIkOkpPtr = 0x4087, kIkOkp = 0x5300;
constexpr uint16_t kIkBusy = 0x2230; // fixed address, live
// Subscriber kits: 32 blocks of 64.
constexpr uint16_t kAkBasePtr = 0x408C;
constexpr uint16_t kAkBlocks = 0x5F34;  // 32 block bits
constexpr uint16_t kAkBlocked = 0x0D80; // 4 words per block
constexpr uint16_t kAkFree = 0x0E00;    // 4 words per block, 1 = free, live
// Cord kits: 16 racks of 32, one state word per kit.
constexpr uint16_t kIskPtr = 0x4085, kIsk = 0x2800;
constexpr uint16_t kVskPtr = 0x4086, kVsk = 0x2A00;
constexpr uint16_t kRackBits = 0x5F30; // 64 bits, 4 per rack
constexpr uint16_t kExchangeKind = 0x601B;
// Battery receivers.
constexpr uint16_t kPbCount = 0x5FA3; // low six bits: highest receiver number
constexpr uint16_t kPbExcluded = 0x5FC4, kPbBlocked = 0x2254, kPbBusy = 0x2224;
// State cells of the control machines.
constexpr uint16_t kLeadingMachine = 0x0077, kServiceMode = 0x2478, kTrunkInUse = 0x2479,
                   kSyncMode = 0x00EC;
// Failure words (РСП) of machines 0 and 1, printed by "ТО_5,-".
constexpr uint16_t kFailureWords = 0x00EE;
// Control-unit state words printed by "ТО_5,-", eight words per rack from
// kPuuState + 8 * rack: БГ 0 and 1 ствол, ВВК 0 and 1 ствол (low bytes),
// УВП Ly по Lxe and Ly по Lxf.
constexpr uint16_t kPuuState = 0x2300;
constexpr int kPuuRacks = 4;
// Reference cells of ВВК ("27191", "27192") and УВП ("271E7", "271E8"): a
// sound unit's state word equals its reference.
constexpr uint16_t kVvkRef0 = 0x5D91, kVvkRef1 = 0x5D92, kUvpRefLxe = 0x5DE7, kUvpRefLxf = 0x5DE8;

constexpr int kTrunkKits = 192;
constexpr int kVkPresent = 160, kIkPresent = 144;
constexpr int kAkBlocksPresent = 24;
constexpr int kRacksEquipped = 10;
constexpr int kPbLast = 47; // 48 receivers
} // namespace layout

// Fills memory with the default image. The image does not depend on any
// seed: stored configuration tables stay valid from one run to the next.
void BuildDefaultImage(SimMemory& memory);

// The control units and machines as a sound exchange has them (faults
// false), or with a few faults to show: БГ, ВВК and УВП state words off their
// references, one machine faulty (00EC bits 15-13 = 0) and its failure word.
void SetUnitFaults(SimMemory& memory, bool faults);

// One step of live change: some busy bits and cord-kit states flip. Blocked
// and absent kits stay as they are; subscriber kits for which inCall is true
// are left to the call generator.
void Animate(SimMemory& memory, std::mt19937& rng, const std::function<bool(int)>& inCall);

// Subscriber kit (block*64 + position) present in the image.
bool SubscriberPresent(const SimMemory& memory, int kit);
// Marks a subscriber kit busy (a call in progress) or free.
void SetSubscriberBusy(SimMemory& memory, int kit, bool busy);
bool SubscriberBusy(const SimMemory& memory, int kit);

} // namespace sim
