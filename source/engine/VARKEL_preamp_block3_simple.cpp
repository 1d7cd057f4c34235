#include "engine/VARKEL_preamp_block3_simple.h"

#include "engine/CircuitNetlist.h"

#include <array>

namespace
{
enum Node
{
    ground,
    IN, // signal input (block 2's output)
    VB, // 345 V supply: plate resistor and the cathode follower's plate
    G1, // stage triode
    K1,
    P1, // stage plate = cathode follower grid = output
    K2, // cathode follower's cathode
    nodeCount
};

const VARKEL_preamp_block3_simple::TriodePairs triodePorts{{{0, -1.0, +1.0}, {2, +1.0, +1.0}}};
} // namespace

VARKEL_preamp_block3_simple::VARKEL_preamp_block3_simple (double rate, int32_t positions,
                                                          int32_t automationValues)
    : PreampBlock ({2, 2, 4, 4, 1}, triodePorts, rate, positions, automationValues)
{
    updateMatrices();
}

void VARKEL_preamp_block3_simple::updateMatrices()
{
    // The netlist reads as a table: one element per line.
    // clang-format off
    const CircuitElement elements[] = {
        resistor (IN, G1, R1),
        capacitor (IN, G1, C1, 0),
        resistor (G1, ground, R2),
        resistor (K1, ground, Rk),
        capacitor (K1, ground, Ck, 1),
        resistor (VB, P1, Rp),
        resistor (K2, ground, R4),
        resistor (K2, ground, R5),
    };
    const int inputs[] = { IN, VB };
    const CircuitPort ports[] = {
        { K1, G1, G1, K1 }, // stage triode: -Vgk, grid current
        { P1, K1, P1, K1 }, // stage triode: Vpk, cathode current
        { P1, K2, P1, K2 }, // cathode follower: Vgk, grid current
        { VB, K2, VB, K2 }, // cathode follower: Vpk, cathode current
    };
    // clang-format on
    solveNetlistMatrices ({nodeCount, elements, inputs, ports, P1}, sampleRate, *this);
}

template class VARKEL_preamp_block3_simple_Automation<DempwolfTriode2<0>, 0>;
