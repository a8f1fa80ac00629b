#pragma once
// Incoming trunk kits ("ВК"): 192 kits in 32 directions, with the direction
// attribute words (signalling type, number reception, the five check boxes of
// the detail window) and the bundle kind of each kit.
#include "stats/TrunkStats.h"

// The kind: steps 100..105 (base words into StatBase slots 0..5), 1..5 and
// the live step 6; tables "TableVK1".."TableVK4", "TableNaprVK1"..
const TrunkKind& VkKind();

// The protocol object of an incoming trunk run.
class TStatVKAts : public TrunkStats {
public:
    explicit TStatVKAts(const QString& curDir) : TrunkStats(VkKind(), curDir) {}
};

// Texts of the detail header.
QString VkSignallingText(int typePN);    // "Декадно-шлейфный".. for 0..4, else empty
QString VkNumberReceptionText(int prIN); // "ПБ" for 0, "ВК" for 1
