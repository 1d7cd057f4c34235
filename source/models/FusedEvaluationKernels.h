// The fused evaluations, included by FusedEvaluation.cpp once per instruction set it builds them
// for, each time inside a namespace of its own that defines
//   constexpr bool wideVectors: whether the hidden layer may use 8-lane (AVX) registers,
// with the intrinsics headers, CompiledNetwork.h, RegionNetwork.h and NetworkKernels.h already
// included, and with `A` naming CompiledNetwork::Activation. Deliberately no include guard.
//
// Whatever the registers, every lane sees the operations of networkkernels::runLayer in its
// order, each rounded to float on its own (no fused multiply-add: the file is compiled with
// -ffp-contract=off and the wide copy's target has no FMA), so both copies give the same floats.

// Where a layer reads the values of the layer before, each broadcast to every lane: from memory,
// or (the network's input) from one register, so the scaled inputs never make a round trip through
// memory on the way from the region step's point to the hidden layer.
template <uint32_t Unused = 0>
struct ValuesInMemory
{
    const float* v;
    __attribute__ ((always_inline)) __m128 narrow (uint32_t h) const noexcept { return _mm_set1_ps (v[h]); }
    __attribute__ ((always_inline)) __m256 wide (uint32_t h) const noexcept { return _mm256_set1_ps (v[h]); }
};

// Lanes 0 to Bias - 1 of x, then the bias neuron's 1 at index Bias.
template <uint32_t Bias>
struct ValuesInRegister
{
    __m128 x;
    __attribute__ ((always_inline)) __m128 narrow (uint32_t h) const noexcept
    {
        if (h == Bias)
            return _mm_set1_ps (1.0f);
        switch (h)
        {
        case 0:
            return _mm_shuffle_ps (x, x, _MM_SHUFFLE (0, 0, 0, 0));
        case 1:
            return _mm_shuffle_ps (x, x, _MM_SHUFFLE (1, 1, 1, 1));
        case 2:
            return _mm_shuffle_ps (x, x, _MM_SHUFFLE (2, 2, 2, 2));
        default:
            return _mm_shuffle_ps (x, x, _MM_SHUFFLE (3, 3, 3, 3));
        }
    }
    __attribute__ ((always_inline)) __m256 wide (uint32_t h) const noexcept
    {
        if (h == Bias)
            return _mm256_set1_ps (1.0f);
        return _mm256_broadcastss_ps (h == 0 ? x : narrow (h));
    }
};

// One layer, four or eight neurons per register: per lane the operations of
// networkkernels::runLayer in its order (the leftover connections from the highest down, then
// each group of four summed among itself before it joins the sum; the steepness product, the
// clipping, the activation).
template <uint32_t Lanes, uint32_t Count, A function, class Values>
__attribute__ ((always_inline)) inline __m128 layerNarrow (const CompiledNetwork::LayerView& y,
                                                           const Values& v, float* out) noexcept
{
    constexpr uint32_t vectors = Lanes / 4;
    const __m128 sign = _mm_set1_ps (-0.0f);
    __m128 sum[vectors];
    for (uint32_t k = 0; k < vectors; ++k)
        sum[k] = _mm_setzero_ps();

    constexpr uint32_t rest = Count & 3u;
    for (uint32_t h = rest; h-- > 0;)
    {
        const __m128 value = v.narrow (h);
        for (uint32_t k = 0; k < vectors; ++k)
            sum[k] = _mm_add_ps (sum[k], _mm_mul_ps (_mm_load_ps (y.weights + h * Lanes + 4 * k), value));
    }
    for (uint32_t h = rest; h < Count; h += 4)
    {
        const __m128 v0 = v.narrow (h), v1 = v.narrow (h + 1);
        const __m128 v2 = v.narrow (h + 2), v3 = v.narrow (h + 3);
        for (uint32_t k = 0; k < vectors; ++k)
        {
            const float* c0 = y.weights + h * Lanes + 4 * k;
            __m128 group =
                _mm_add_ps (_mm_mul_ps (_mm_load_ps (c0), v0), _mm_mul_ps (_mm_load_ps (c0 + Lanes), v1));
            group = _mm_add_ps (group, _mm_mul_ps (_mm_load_ps (c0 + 2 * Lanes), v2));
            group = _mm_add_ps (group, _mm_mul_ps (_mm_load_ps (c0 + 3 * Lanes), v3));
            sum[k] = _mm_add_ps (sum[k], group);
        }
    }

    __m128 last = _mm_setzero_ps();
    for (uint32_t k = 0; k < vectors; ++k)
    {
        // s > bound ? bound : (s < -bound ? -bound : s), NaN staying NaN: maxps and minps
        // return their second operand unless the first compares greater (smaller).
        const __m128 bound = _mm_load_ps (y.bound + 4 * k);
        __m128 s = _mm_mul_ps (_mm_load_ps (y.steepness + 4 * k), sum[k]);
        s = _mm_min_ps (bound, _mm_max_ps (_mm_xor_ps (bound, sign), s));
        const __m128 one = _mm_set1_ps (1.0f);
        if constexpr (function == A::elliotSymmetric)
        {
            // s / (1 + (s > 0 ? s : -s)); clearing the sign gives the same magnitude for every
            // s, zeros and NaN included, and the quotient of a NaN is that NaN either way.
            s = _mm_div_ps (s, _mm_add_ps (one, _mm_andnot_ps (sign, s)));
        }
        else if constexpr (function == A::linearPiece)
        {
            // s < 0 ? 0 : (s > 1 ? 1 : s)
            s = _mm_max_ps (_mm_setzero_ps(), _mm_min_ps (one, s));
        }
        else if constexpr (function == A::linearPieceSymmetric)
        {
            // s < -1 ? -1 : (s > 1 ? 1 : s)
            s = _mm_max_ps (_mm_set1_ps (-1.0f), _mm_min_ps (one, s));
        }
        _mm_store_ps (out + 4 * k, s);
        last = s;
    }
    return last; // the last four neurons, which for a layer of four are all of them
}

// The hidden layer (Elliot activation) with eight neurons per register: half the products, sums
// and divisions of the four-lane form, each lane's operations unchanged. A layer of 12 takes one
// register of eight and one of four. The weight rows are only 16-byte aligned.
template <uint32_t Lanes, uint32_t Count, class Values>
__attribute__ ((always_inline)) inline void hiddenLayerWide (const CompiledNetwork::LayerView& y,
                                                             const Values& v, float* out) noexcept
{
    constexpr uint32_t wide = Lanes / 8;
    constexpr bool tail = (Lanes & 4u) != 0;
    constexpr uint32_t tailLane = 8 * wide;
    __m256 sum[wide];
    for (uint32_t k = 0; k < wide; ++k)
        sum[k] = _mm256_setzero_ps();
    __m128 sumTail = _mm_setzero_ps();

    constexpr uint32_t rest = Count & 3u;
    for (uint32_t h = rest; h-- > 0;)
    {
        const __m256 value = v.wide (h);
        const float* column = y.weights + h * Lanes;
        for (uint32_t k = 0; k < wide; ++k)
            sum[k] = _mm256_add_ps (sum[k], _mm256_mul_ps (_mm256_loadu_ps (column + 8 * k), value));
        if constexpr (tail)
            sumTail = _mm_add_ps (
                sumTail, _mm_mul_ps (_mm_load_ps (column + tailLane), _mm256_castps256_ps128 (value)));
    }
    for (uint32_t h = rest; h < Count; h += 4)
    {
        const __m256 v0 = v.wide (h), v1 = v.wide (h + 1);
        const __m256 v2 = v.wide (h + 2), v3 = v.wide (h + 3);
        const float* c0 = y.weights + h * Lanes;
        for (uint32_t k = 0; k < wide; ++k)
        {
            const float* c = c0 + 8 * k;
            __m256 group = _mm256_add_ps (_mm256_mul_ps (_mm256_loadu_ps (c), v0),
                                          _mm256_mul_ps (_mm256_loadu_ps (c + Lanes), v1));
            group = _mm256_add_ps (group, _mm256_mul_ps (_mm256_loadu_ps (c + 2 * Lanes), v2));
            group = _mm256_add_ps (group, _mm256_mul_ps (_mm256_loadu_ps (c + 3 * Lanes), v3));
            sum[k] = _mm256_add_ps (sum[k], group);
        }
        if constexpr (tail)
        {
            const float* c = c0 + tailLane;
            __m128 group = _mm_add_ps (_mm_mul_ps (_mm_load_ps (c), _mm256_castps256_ps128 (v0)),
                                       _mm_mul_ps (_mm_load_ps (c + Lanes), _mm256_castps256_ps128 (v1)));
            group = _mm_add_ps (group, _mm_mul_ps (_mm_load_ps (c + 2 * Lanes), _mm256_castps256_ps128 (v2)));
            group = _mm_add_ps (group, _mm_mul_ps (_mm_load_ps (c + 3 * Lanes), _mm256_castps256_ps128 (v3)));
            sumTail = _mm_add_ps (sumTail, group);
        }
    }

    // As in layerNarrow: the steepness product, clipping with max and min (NaN kept), the Elliot
    // quotient with the magnitude taken by clearing the sign.
    const __m256 sign = _mm256_set1_ps (-0.0f);
    const __m256 one = _mm256_set1_ps (1.0f);
    for (uint32_t k = 0; k < wide; ++k)
    {
        const __m256 bound = _mm256_loadu_ps (y.bound + 8 * k);
        __m256 s = _mm256_mul_ps (_mm256_loadu_ps (y.steepness + 8 * k), sum[k]);
        s = _mm256_min_ps (bound, _mm256_max_ps (_mm256_xor_ps (bound, sign), s));
        s = _mm256_div_ps (s, _mm256_add_ps (one, _mm256_andnot_ps (sign, s)));
        _mm256_storeu_ps (out + 8 * k, s);
    }
    if constexpr (tail)
    {
        const __m128 bound = _mm_load_ps (y.bound + tailLane);
        __m128 s = _mm_mul_ps (_mm_load_ps (y.steepness + tailLane), sumTail);
        s = _mm_min_ps (bound, _mm_max_ps (_mm_xor_ps (bound, _mm256_castps256_ps128 (sign)), s));
        s = _mm_div_ps (
            s, _mm_add_ps (_mm256_castps256_ps128 (one), _mm_andnot_ps (_mm256_castps256_ps128 (sign), s)));
        _mm_store_ps (out + tailLane, s);
    }
}

template <uint32_t In, uint32_t Hidden, uint32_t Out, A Output, bool everyOutput>
void evaluateFused (const RegionNetwork& r, const double* u, double* i, RegionScratch& scratch) noexcept
{
    constexpr uint32_t hiddenLanes = static_cast<uint32_t> (networkkernels::roundUp4 (Hidden));
    float* scaled = scratch.scaledInput.data();
    // (u - min) * scale - 1 in double, rounded to float once, two inputs per register; the
    // floats stay in one register for the hidden layer.
    const RegionNetwork::FusedScaling& scaling = r.fusedScaling;
    const __m128d one = _mm_set1_pd (1.0);
    __m128 pair[2] = {_mm_setzero_ps(), _mm_setzero_ps()};
    for (uint32_t q = 0; q + 2 <= In; q += 2)
    {
        const __m128d shifted = _mm_sub_pd (_mm_loadu_pd (u + q), _mm_loadu_pd (scaling.inputMin + q));
        pair[q / 2] =
            _mm_cvtpd_ps (_mm_sub_pd (_mm_mul_pd (shifted, _mm_loadu_pd (scaling.inputScale + q)), one));
        _mm_storel_pi (reinterpret_cast<__m64*> (scaled + q), pair[q / 2]);
    }
    if constexpr ((In & 1u) != 0)
    {
        constexpr uint32_t q = In - 1;
        const float s = static_cast<float> ((u[q] - scaling.inputMin[q]) * scaling.inputScale[q] - 1.0);
        pair[q / 2] = _mm_set_ss (s);
        scaled[q] = s;
    }
    const ValuesInRegister<In> input{In > 2 ? _mm_movelh_ps (pair[0], pair[1]) : pair[0]};

    alignas (32) float hiddenValues[hiddenLanes + 4];
    if constexpr (wideVectors && hiddenLanes >= 8)
        hiddenLayerWide<hiddenLanes, In + 1> (r.fusedLayers[0], input, hiddenValues);
    else
        layerNarrow<hiddenLanes, In + 1, A::elliotSymmetric> (r.fusedLayers[0], input, hiddenValues);
    hiddenValues[Hidden] = 1.0f;
    float* outputs = scratch.network.data();
    const __m128 outputVector =
        layerNarrow<4, Hidden + 1, Output> (r.fusedLayers[1], ValuesInMemory<>{hiddenValues}, outputs);
    scratch.networkOutput = outputs;

    if constexpr (everyOutput)
    {
        // Every entry of i driven, in order: the mask loop without its tests, four lanes at once.
        // The product and the sum are rounded to float as in writeCurrents; current >= 0 is false
        // for NaN, so the mask makes negative and NaN currents +0 and keeps -0.
        const __m128 current = _mm_add_ps (_mm_mul_ps (_mm_load_ps (scaling.outputScale), outputVector),
                                           _mm_load_ps (scaling.outputMin));
        const __m128 kept = _mm_and_ps (current, _mm_cmpge_ps (current, _mm_setzero_ps()));
        const __m128d low = _mm_cvtps_pd (kept);
        if constexpr (Out >= 2)
            _mm_storeu_pd (i, low);
        else
            _mm_store_sd (i, low);
        if constexpr (Out >= 3)
        {
            const __m128d high = _mm_cvtps_pd (_mm_movehl_ps (kept, kept));
            if constexpr (Out == 4)
                _mm_storeu_pd (i + 2, high);
            else
                _mm_store_sd (i + 2, high);
        }
    }
    else
        r.writeCurrents (outputs, i);
}

template <uint32_t In, uint32_t Hidden, uint32_t Out, A Output>
RegionEvaluator forMask (bool everyOutput) noexcept
{
    return everyOutput ? evaluateFused<In, Hidden, Out, Output, true>
                       : evaluateFused<In, Hidden, Out, Output, false>;
}

template <uint32_t In, uint32_t Hidden, uint32_t Out>
RegionEvaluator forOutput (A output, bool everyOutput) noexcept
{
    switch (output)
    {
    case A::linearPiece:
        return forMask<In, Hidden, Out, A::linearPiece> (everyOutput);
    case A::linearPieceSymmetric:
        return forMask<In, Hidden, Out, A::linearPieceSymmetric> (everyOutput);
    default:
        return nullptr;
    }
}

template <uint32_t In, uint32_t Hidden>
RegionEvaluator forOutputs (uint32_t outputs, A output, bool everyOutput) noexcept
{
    switch (outputs)
    {
    case 1:
        return forOutput<In, Hidden, 1> (output, everyOutput);
    case 2:
        return forOutput<In, Hidden, 2> (output, everyOutput);
    case 3:
        return forOutput<In, Hidden, 3> (output, everyOutput);
    case 4:
        return forOutput<In, Hidden, 4> (output, everyOutput);
    default:
        return nullptr;
    }
}

template <uint32_t In>
RegionEvaluator forHidden (uint32_t hidden, uint32_t outputs, A output, bool everyOutput) noexcept
{
    switch (hidden)
    {
    case 4:
        return forOutputs<In, 4> (outputs, output, everyOutput);
    case 6:
        return forOutputs<In, 6> (outputs, output, everyOutput);
    case 8:
        return forOutputs<In, 8> (outputs, output, everyOutput);
    case 10:
        return forOutputs<In, 10> (outputs, output, everyOutput);
    case 12:
        return forOutputs<In, 12> (outputs, output, everyOutput);
    case 16:
        return forOutputs<In, 16> (outputs, output, everyOutput);
    default:
        return nullptr;
    }
}

// The evaluator for a network of `inputs` inputs, `hidden` Elliot neurons and `outputs` outputs
// of the given activation; null for a shape without one.
inline RegionEvaluator evaluatorFor (uint32_t inputs, uint32_t hidden, uint32_t outputs, A output,
                                     bool everyOutput) noexcept
{
    switch (inputs)
    {
    case 1:
        return forHidden<1> (hidden, outputs, output, everyOutput);
    case 2:
        return forHidden<2> (hidden, outputs, output, everyOutput);
    case 3:
        return forHidden<3> (hidden, outputs, output, everyOutput);
    case 4:
        return forHidden<4> (hidden, outputs, output, everyOutput);
    default:
        return nullptr;
    }
}
