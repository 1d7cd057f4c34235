#include "engine/CircuitNetlist.h"

#include <array>
#include <cmath>
#include <utility>

namespace
{
constexpr int maxNodes = 24;
constexpr int maxColumns = 16; // nx + nu + ni

// What a group of merged nodes is: ground, held by an input source, or a free unknown.
struct NodeRole
{
    enum Kind
    {
        ground,
        input,
        free
    } kind = free;
    int index = 0; // input number or free-unknown number
};

class NodalSystem
{
public:
    NodalSystem (const CircuitNetlist& netlist, const SSParamsVec& model)
        : netlist (netlist), nx (static_cast<int> (model.numStates)), nu (static_cast<int> (model.numInputs)),
          ni (static_cast<int> (model.numNonlinearOutputs)), numColumns (nx + nu + ni)
    {
        mergeZeroOhmParts();
        classifyNodes();
    }

    bool fits() const
    {
        return netlist.numNodes <= maxNodes && numColumns <= maxColumns && netlist.inputNodes.count == nu &&
               netlist.ports.count == ni;
    }

    void assemble (double sampleRate)
    {
        for (int r = 0; r < numFree; ++r)
        {
            for (int c = 0; c < numFree; ++c)
                Y[r][c] = 0.0;
            for (int c = 0; c < numColumns; ++c)
                Z[r][c] = 0.0;
        }

        for (const auto& element : netlist.elements)
        {
            if (element.kind == ElementKind::resistor)
            {
                if (element.value != 0.0)
                    stampConductance (element.first, element.second, 1.0 / element.value);
                continue;
            }
            stampConductance (element.first, element.second, 2.0 * sampleRate * element.value);
            if (find (element.first) == find (element.second))
                continue; // a shorted capacitor's history current circulates inside one node
            inject (element.first, element.state, 1.0);
            inject (element.second, element.state, -1.0);
        }

        for (int m = 0; m < ni; ++m)
        {
            const auto& port = netlist.ports[m];
            inject (port.currentFrom, nx + nu + m, -1.0);
            inject (port.currentTo, nx + nu + m, 1.0);
        }
    }

    // Gaussian elimination with partial pivoting on [Y | Z]; afterwards row r of Z holds the
    // voltage of free node r as coefficients on (x, u, i).
    void solve()
    {
        for (int k = 0; k < numFree; ++k)
        {
            int pivot = k;
            for (int r = k + 1; r < numFree; ++r)
                if (std::abs (Y[r][k]) > std::abs (Y[pivot][k]))
                    pivot = r;
            if (pivot != k)
            {
                std::swap (Y[pivot], Y[k]);
                std::swap (Z[pivot], Z[k]);
            }

            for (int r = k + 1; r < numFree; ++r)
            {
                if (Y[r][k] == 0.0)
                    continue;
                const double factor = Y[r][k] / Y[k][k];
                for (int c = k; c < numFree; ++c)
                    Y[r][c] -= factor * Y[k][c];
                for (int c = 0; c < numColumns; ++c)
                    Z[r][c] -= factor * Z[k][c];
            }
        }

        for (int k = numFree - 1; k >= 0; --k)
        {
            for (int c = 0; c < numColumns; ++c)
            {
                double sum = Z[k][c];
                for (int j = k + 1; j < numFree; ++j)
                    sum -= Y[k][j] * Z[j][c];
                Z[k][c] = sum / Y[k][k];
            }
        }
    }

    // Coefficients of V(node) on (x, u, i).
    void voltage (int node, double* row) const
    {
        const auto& role = roles[static_cast<size_t> (find (node))];
        for (int c = 0; c < numColumns; ++c)
            row[c] = 0.0;
        if (role.kind == NodeRole::input)
            row[nx + role.index] = 1.0;
        else if (role.kind == NodeRole::free)
            for (int c = 0; c < numColumns; ++c)
                row[c] = Z[role.index][c];
    }

    // Coefficients of V(a) - V(b); exactly zero when a and b are merged.
    void difference (int a, int b, double* row) const
    {
        if (find (a) == find (b))
        {
            for (int c = 0; c < numColumns; ++c)
                row[c] = 0.0;
            return;
        }
        std::array<double, maxColumns> other{};
        voltage (a, row);
        voltage (b, other.data());
        for (int c = 0; c < numColumns; ++c)
            row[c] -= other[static_cast<size_t> (c)];
    }

    const CircuitNetlist& netlist;
    const int nx, nu, ni, numColumns;

private:
    int find (int node) const
    {
        while (parent[static_cast<size_t> (node)] != node)
            node = parent[static_cast<size_t> (node)];
        return node;
    }

    void mergeZeroOhmParts()
    {
        for (int n = 0; n < maxNodes; ++n)
            parent[static_cast<size_t> (n)] = n;
        for (const auto& element : netlist.elements)
        {
            if (element.kind != ElementKind::resistor || element.value != 0.0)
                continue;
            const int a = find (element.first);
            const int b = find (element.second);
            // The smaller index represents the group; classifyNodes gives the group the role of
            // its ground or source member, whichever node represents it.
            if (a < b)
                parent[static_cast<size_t> (b)] = a;
            else if (b < a)
                parent[static_cast<size_t> (a)] = b;
        }
    }

    void classifyNodes()
    {
        for (auto& role : roles)
            role = NodeRole{};
        for (int j = 0; j < netlist.inputNodes.count; ++j)
            roles[static_cast<size_t> (find (netlist.inputNodes[j]))] = {NodeRole::input, j};
        roles[static_cast<size_t> (find (0))] = {NodeRole::ground, 0};

        numFree = 0;
        for (int n = 0; n < netlist.numNodes; ++n)
            if (find (n) == n && roles[static_cast<size_t> (n)].kind == NodeRole::free)
                roles[static_cast<size_t> (n)].index = numFree++;
    }

    void stampConductance (int a, int b, double g)
    {
        const int ra = find (a);
        const int rb = find (b);
        if (ra == rb)
            return;
        stampSide (ra, rb, g);
        stampSide (rb, ra, g);
    }

    void stampSide (int self, int other, double g)
    {
        const auto& mine = roles[static_cast<size_t> (self)];
        if (mine.kind != NodeRole::free)
            return;
        const auto& theirs = roles[static_cast<size_t> (other)];
        Y[mine.index][mine.index] += g;
        if (theirs.kind == NodeRole::free)
            Y[mine.index][theirs.index] -= g;
        else if (theirs.kind == NodeRole::input)
            Z[mine.index][nx + theirs.index] += g;
    }

    void inject (int node, int column, double sign)
    {
        const auto& role = roles[static_cast<size_t> (find (node))];
        if (role.kind == NodeRole::free)
            Z[role.index][column] += sign;
    }

    std::array<int, maxNodes> parent{};
    std::array<NodeRole, maxNodes> roles{};
    int numFree = 0;
    std::array<std::array<double, maxNodes>, maxNodes> Y{};
    std::array<std::array<double, maxColumns>, maxNodes> Z{};
};

void writeRow (const double* row, int firstColumn, int rowIndex, double scale, StateSpaceMatrix& m)
{
    for (uint32_t c = 0; c < m.cols; ++c)
        m (static_cast<uint32_t> (rowIndex), c) = scale * row[firstColumn + static_cast<int> (c)];
}
} // namespace

void solveNetlistMatrices (const CircuitNetlist& netlist, double sampleRate, SSParamsVec& model)
{
    NodalSystem system (netlist, model);
    if (!system.fits())
        return;
    system.assemble (sampleRate);
    system.solve();

    const int nx = system.nx;
    const int uColumn = nx;
    const int iColumn = nx + system.nu;
    std::array<double, maxColumns> row{};

    for (const auto& element : netlist.elements)
    {
        if (element.kind != ElementKind::capacitor)
            continue;
        // x_k[n] = 4 fs C_k w_k - x_k[n-1], with w_k the voltage across the capacitor.
        const double twiceConductance = 4.0 * sampleRate * element.value;
        const int k = element.state;
        system.difference (element.first, element.second, row.data());
        writeRow (row.data(), 0, k, twiceConductance, model.A);
        model.A (static_cast<uint32_t> (k), static_cast<uint32_t> (k)) -= 1.0;
        writeRow (row.data(), uColumn, k, twiceConductance, model.B);
        writeRow (row.data(), iColumn, k, twiceConductance, model.C);
    }

    for (int m = 0; m < netlist.ports.count; ++m)
    {
        system.difference (netlist.ports[m].voltagePlus, netlist.ports[m].voltageMinus, row.data());
        writeRow (row.data(), 0, m, 1.0, model.D);
        writeRow (row.data(), uColumn, m, 1.0, model.E);
        writeRow (row.data(), iColumn, m, 1.0, model.F);
    }

    system.voltage (netlist.outputNode, row.data());
    writeRow (row.data(), 0, 0, 1.0, model.G);
    writeRow (row.data(), uColumn, 0, 1.0, model.H);
    writeRow (row.data(), iColumn, 0, 1.0, model.K);
}
