#include "engine/VARKEL_preamp_block4.h"

#include "engine/CircuitNetlist.h"

#include <array>

namespace
{
enum Node
{
    ground,
    IN,  // cathode follower's grid (block 3's output)
    VB,  // 345 V on its plate
    KC,  // its cathode, which drives the tone stack (named to keep clear of matrix KC)
    N1,  // treble pot top
    OUT, // treble pot wiper = output
    N2,  // treble pot bottom
    N3,  // slope resistor and both 22 nF capacitors
    M,   // bass pot and middle pot top
    N4,  // middle pot wiper
    nodeCount
};

const VARKEL_preamp_block4::TriodePairs triodePorts{{{0, -1.0, +1.0}}};
} // namespace

VARKEL_preamp_block4::VARKEL_preamp_block4 (double rate, int32_t positions, int32_t automationValues)
    : PreampBlock ({3, 2, 2, 2, 1}, triodePorts, rate, positions, automationValues)
{
    updateMatrices();
}

void VARKEL_preamp_block4::updateMatrices()
{
    // The netlist reads as a table: one element per line.
    // clang-format off
    const CircuitElement elements[] = {
        resistor (KC, ground, Rk),
        capacitor (N1, KC, Ct, 0),
        resistor (N1, OUT, trebleUpper),
        resistor (OUT, N2, trebleLower),
        resistor (KC, N3, R1),
        capacitor (N2, N3, Cb, 1),
        resistor (N2, M, bass),
        resistor (M, N4, middleUpper),
        capacitor (N4, N3, Cm, 2),
        resistor (N4, ground, middleLower),
        resistor (OUT, ground, RL),
    };
    const int inputs[] = { IN, VB };
    const CircuitPort ports[] = {
        { KC, IN, IN, KC }, // cathode follower: -Vgk, grid current
        { VB, KC, VB, KC }, // cathode follower: Vpk, cathode current
    };
    // clang-format on
    solveNetlistMatrices ({nodeCount, elements, inputs, ports, OUT}, sampleRate, *this);
}

template class VARKEL_preamp_block4_Automation<DempwolfTriode2<0>, 0>;
