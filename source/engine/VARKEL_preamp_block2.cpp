#include "engine/VARKEL_preamp_block2.h"

#include "engine/CircuitNetlist.h"

#include <array>

namespace
{
enum Node
{
    ground,
    IN,  // signal input (block 1's output)
    VB1, // 334 V supply of the stage triode
    VB2, // 345 V supply of the load triode
    W,   // junction of the mixing resistor and the gain pot top
    G1,  // stage triode; its grid is the gain pot wiper
    K1,
    P1,
    OUT, // far side of the coupling capacitor
    G2,  // load triode
    K2,
    P2,
    X, // the isolated capacitor's own node
    nodeCount
};

const VARKEL_preamp_block2::TriodePairs triodePorts{{{0, -1.0, +1.0}, {2, -1.0, -1.0}}};
} // namespace

VARKEL_preamp_block2::VARKEL_preamp_block2 (double rate, int32_t positions, int32_t automationValues)
    : PreampBlock ({5, 3, 4, 4, 2}, triodePorts, rate, positions, automationValues)
{
    updateMatrices();
}

void VARKEL_preamp_block2::updateMatrices()
{
    // The netlist reads as a table: one element per line.
    // clang-format off
    const CircuitElement elements[] = {
        resistor (IN, W, Rm),
        capacitor (IN, W, Cm, 0),
        resistor (W, G1, gainUpper),
        capacitor (W, G1, Cb, 1),
        resistor (G1, ground, gainLower),
        resistor (K1, ground, Rk1),
        resistor (VB1, P1, Rp1),
        capacitor (P1, OUT, Cc, 2),
        resistor (OUT, G2, R1),
        resistor (G2, ground, R2),
        capacitor (X, ground, Cx, 3),
        resistor (K2, ground, Rk2),
        capacitor (K2, ground, Ck2, 4),
        resistor (VB2, P2, Rp2),
        resistor (P2, ground, Rx),
    };
    const int inputs[] = { IN, VB1, VB2 };
    const CircuitPort ports[] = {
        { K1, G1, G1, K1 }, // stage triode: -Vgk, grid current
        { P1, K1, P1, K1 }, // stage triode: Vpk, cathode current
        { K2, G2, G2, K2 }, // load triode: -Vgk, grid current
        { K2, P2, P2, K2 }, // load triode: -Vpk, cathode current
    };
    // clang-format on
    solveNetlistMatrices ({nodeCount, elements, inputs, ports, OUT}, sampleRate, *this);
}

template class VARKEL_preamp_block2_Automation<DempwolfTriode2<0>, 0>;
