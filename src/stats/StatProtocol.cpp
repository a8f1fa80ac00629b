#include "stats/StatProtocol.h"

#include "stats/StatValues.h"

StatProtocol::~StatProtocol() = default;

void StatProtocol::Decode(const StatStep& step, const uint8_t* data, StatFields& fields) {
    if (step.storeSlot >= 0 && step.storeSlot < int(fields.StatBase.size()))
        fields.StatBase[size_t(step.storeSlot)] = stats::Word(data);
}

void StatProtocol::Frame(const StatStep&, const uint8_t*, StatFields&) {}

QString StepDirective(const StatStep& step, const StatFields& fields) {
    int address = step.address;
    if (address < 0 && step.baseSlot >= 0 && step.baseSlot < int(fields.StatBase.size()))
        address = fields.StatBase[size_t(step.baseSlot)];
    return stats::ReadDirective(address < 0 ? 0 : address, step.codes);
}
