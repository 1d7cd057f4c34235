#include "engine/VARKEL_preamp_block1.h"

#include "engine/CircuitNetlist.h"

#include <array>

namespace
{
enum Node
{
    ground,
    IN, // signal input
    VB, // 334 V supply of both plate resistors
    G1, // input triode
    K1,
    P1,
    OUT, // far side of the coupling capacitor
    W,   // junction of the mixing resistor and the gain pot top
    G2,  // second triode; its grid is the gain pot wiper
    K2,
    P2,
    nodeCount
};

const VARKEL_preamp_block1::TriodePairs triodePorts{{{0, +1.0, +1.0}, {2, -1.0, -1.0}}};
} // namespace

VARKEL_preamp_block1::VARKEL_preamp_block1 (double rate, int32_t positions, int32_t automationValues)
    : PreampBlock ({5, 2, 4, 4, 1}, triodePorts, rate, positions, automationValues)
{
    updateMatrices();
}

void VARKEL_preamp_block1::updateMatrices()
{
    // The netlist reads as a table: one element per line.
    // clang-format off
    const CircuitElement elements[] = {
        resistor (IN, G1, Rg),
        capacitor (G1, IN, Cg, 4),
        resistor (K1, ground, Rk1),
        capacitor (K1, ground, Ck1, 0),
        resistor (VB, P1, Rp1),
        capacitor (P1, OUT, Cc, 1),
        resistor (OUT, W, Rm),
        capacitor (OUT, W, Cm, 2),
        resistor (W, G2, gainUpper),
        capacitor (W, G2, Cb, 3),
        resistor (G2, ground, gainLower),
        resistor (K2, ground, Rk2),
        resistor (VB, P2, Rp2),
        resistor (P2, ground, Rx),
    };
    const int inputs[] = { IN, VB };
    const CircuitPort ports[] = {
        { G1, K1, G1, K1 }, // input triode: Vgk, grid current
        { P1, K1, P1, K1 }, // input triode: Vpk, cathode current
        { K2, G2, G2, K2 }, // second triode: -Vgk, grid current
        { K2, P2, P2, K2 }, // second triode: -Vpk, cathode current
    };
    // clang-format on
    solveNetlistMatrices ({nodeCount, elements, inputs, ports, OUT}, sampleRate, *this);
}

template class VARKEL_preamp_block1_Automation<DempwolfTriode2<0>, 0>;
