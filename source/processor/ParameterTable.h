#pragma once

// Everything the plug-in knows about each of its ten host parameters, in one table: what the
// host shows, what the saved state calls it, how a host value becomes an engine value and back,
// what a change makes the processor do, and how the editor's control shows it. Program records,
// parameter texts, the state reader and writer, the processor's parameter dispatch and the
// editor all read it, so a parameter is described once.

// The ten host parameters in index order.
enum ParameterIndex
{
    dualTriodesParameter = 0,
    inputParameter,
    gainParameter,
    trebleParameter,
    middleParameter,
    bassParameter,
    outputParameter,
    oversamplingParameter,
    monoStereoParameter,
    showSettingsParameter,
    numParameters
};

// How a normalized value x (0..1) becomes an engine value 0..top, in 32-bit float.
enum class ParameterSteps
{
    nearest,   // trunc (x * top + 0.5): a switch or a choice
    truncated, // trunc (x * top): a stepped knob
    continuous // x * top: a level, not rounded to a step
};

// What the processor does when a parameter's engine value changes.
enum class ParameterChange
{
    reloadValveSet,
    inputLevel,
    gainPosition,
    tonePosition,
    outputLevel,
    reloadRate,
    editorOnly
};

// The editor control of a parameter shows engine * scale + offset, moving in steps of step.
struct ParameterControl
{
    double scale = 1.0;
    double offset = 0.0;
    double step = 1.0;
};

struct ParameterSpec
{
    const char* name; // what the host shows
    const char* key;  // the parameter ID and the saved-state attribute
    float top;        // engine values run from 0 to top
    ParameterSteps steps;
    const char* const* choices; // the text of each engine step of a switch; nullptr for knobs
    int numChoices;
    float missingDefault; // normalized value of a saved program that lacks the attribute
    ParameterChange change;
    ParameterControl control;
};

bool isParameterIndex (int index) noexcept;

// The table entry of a valid index (0..9); callers check the index first.
const ParameterSpec& getParameterSpec (int index) noexcept;

// Engine value of a parameter from the host's normalized value and back. The arithmetic is
// 32-bit float with truncation toward zero, so a value restored from the host lands on the same
// step it was saved from. x is limited to 0..1 first (NaN counts as 0): no engine value can leave
// its range, whatever a host sends. An index outside 0..9 gives 0.
float normalizedToEngine (int index, float x) noexcept;
float engineToNormalized (int index, float v) noexcept;

// The editor control's value for an engine value, and the normalized value a control value
// sends to the host (computed in double and rounded once to float).
double engineToControl (int index, float v) noexcept;
float controlToNormalized (int index, double controlValue) noexcept;
