#pragma once
// Outgoing trunk kits ("ИК"): 192 kits, 256 direction panels (directions
// 64..255 never have members), no attribute words and no bundle kinds; the
// live step reads the busy bits at a fixed address.
#include "stats/TrunkStats.h"

// The kind: steps 100, 101, 102, 104 (base words into StatBase slots 6, 7, 8,
// 10), 1, 2, 3, 5 and the live step 6; tables "TableIK1".., "TableNaprIK1"..
const TrunkKind& IkKind();

class TStatIKAts : public TrunkStats {
public:
    explicit TStatIKAts(const QString& curDir) : TrunkStats(IkKind(), curDir) {}
};
