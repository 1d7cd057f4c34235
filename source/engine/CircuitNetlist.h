#pragma once

#include "engine/SSParamsVec.h"

#include <cstdint>

// A block's circuit as data: two-terminal elements between numbered nodes (node 0 is ground),
// ideal voltage sources from a node to ground for the block inputs, the triode ports and one
// output node. Each block writes its netlist as a table in its own source file; the nodal solver
// turns it into the nine state-space matrices.

enum class ElementKind
{
    resistor,
    capacitor
};

struct CircuitElement
{
    ElementKind kind;
    int first; // for a capacitor, the terminal into which its history current flows
    int second;
    double value; // ohms or farads
    int state;    // index of the capacitor's history current in x; -1 for a resistor
};

constexpr CircuitElement resistor (int first, int second, double ohms)
{
    return {ElementKind::resistor, first, second, ohms, -1};
}

constexpr CircuitElement capacitor (int first, int second, double farads, int state)
{
    return {ElementKind::capacitor, first, second, farads, state};
}

// Port voltage V(voltagePlus) - V(voltageMinus); the port current leaves the network at
// currentFrom and re-enters it at currentTo.
struct CircuitPort
{
    int voltagePlus;
    int voltageMinus;
    int currentFrom;
    int currentTo;
};

template <typename T>
struct TableView
{
    const T* items = nullptr;
    int count = 0;

    template <size_t N>
    TableView (const T (&array)[N]) : items (array), count (static_cast<int> (N))
    {
    }

    const T& operator[] (int index) const { return items[index]; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }
};

struct CircuitNetlist
{
    int numNodes; // including ground (node 0)
    TableView<CircuitElement> elements;
    TableView<int> inputNodes; // node held at u[j] for input j
    TableView<CircuitPort> ports;
    int outputNode;
};

// Discretises the netlist with the trapezoidal rule at sampleRate and writes A..K of `model`
// (already sized to the block's dimensions). A resistor of exactly 0 ohms merges its nodes, so
// a potentiometer turned to its end stays finite. Uses fixed-size scratch storage: no allocation.
void solveNetlistMatrices (const CircuitNetlist& netlist, double sampleRate, SSParamsVec& model);
