// A simulated card that the tests of both backends use the same way. On the
// host it is a CardSimulator attached to the host layer's device namespace
// in this process; under wine64 it is the kernel-mode test driver, installed
// and started by the first use in a test program and stopped and deleted when
// the program ends, controlled through its private control code.
#pragma once

#include "sim/card_sim.h"

class TestCard {
public:
    // The card of this test program.
    static TestCard& Instance();

    // Power-on state (default identity, no faults, empty log, no connection)
    // and no names: nothing opens the card until names are linked again.
    void Reset();

    // "\\.\<dos_name>" opens the card: a VxD name such as "SUKES48.VXD", or
    // an adapter's instance id such as "{0A1B...}".
    void LinkDosName(const char* dos_name);
    // The NT device "\Device\<name>" of the card, without a DOS name, as the
    // NT 4.0 driver makes it (for example "SLKES522").
    void AddNtDevice(const char* name);

    void SetFaults(const cardsim::Faults& faults);
    void SetIdentity(const cardsim::Identity& identity);

    // Everything the card holds now: settings received and active, counters,
    // the request log.
    cardsim::CardState State();
};
