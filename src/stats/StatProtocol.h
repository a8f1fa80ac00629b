#pragma once
// What every kind of kit statistics is made of: its requests (steps, as data)
// and a protocol object that decodes the answer frames of those steps into
// the kind's arrays. The frame counting of the one-shot and live rules is
// done once for all kinds by StatRun (StatRun.h); a kind only decodes.
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

// One memory read of a run.
struct StatStep {
    int code = 0;              // step code (DataCount): 100..105 address steps, 1..6 table steps
    int address = -1;          // fixed address; -1: the address is StatBase[baseSlot]
    int baseSlot = -1;         //
    int codes = 0;             // payload codes N (the frame is N + 3 codes)
    bool bitMode = false;      // one bit per Data element instead of one nibble
    int progress = -1;         // progress bar value once the step is done; -1: none
    int storeSlot = -1;        // address steps: the word read goes to StatBase[storeSlot]
    bool live = false;         // decoded on every frame, no continuation
    bool writesTables = false; // decoded once only (at the third frame)
    bool noContinue = false;   // one-shot without continuation spaces (the frames repeat)

    int FrameLen() const { return codes + 3; }
};

// The statistics fields of one exchange.
struct StatFields {
    // Addresses of kit tables read by the address steps: slots 0-5 incoming
    // trunk kits, 6-8 and 10 outgoing trunk kits, 12 outgoing cord kits, 13
    // incoming cord kits, 14 subscriber kits.
    std::array<int32_t, 15> StatBase{};
    int32_t PbLastKit = 0;    // highest battery-receiver number
    int32_t SelectedUnit = 0; // direction, rack or block of a detail view
};

class StatProtocol {
public:
    virtual ~StatProtocol();

    // The step of a code; nullptr for a code this kind does not know (its
    // frames are ignored).
    virtual const StatStep* Step(int code) const = 0;
    // Decodes the frame of a step (a one-shot step's third frame, every frame
    // of a live step). data holds the frame's payload: N nibbles, or 4N bits.
    // The default stores an address step's word into its StatBase slot.
    virtual void Decode(const StatStep& step, const uint8_t* data, StatFields& fields);
    // Sees every frame of a known step that reaches the protocol, before the
    // frame rules (the ones a one-shot step does not use too). Does nothing
    // unless a kind paints from every frame.
    virtual void Frame(const StatStep& step, const uint8_t* data, StatFields& fields);

    // Called for every frame that reaches the protocol (the window's receive
    // indicator).
    std::function<void()> FrameArrived;
};

// The directive of a step for these fields.
QString StepDirective(const StatStep& step, const StatFields& fields);
