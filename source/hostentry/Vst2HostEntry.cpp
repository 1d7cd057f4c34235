// The module's VST 2.4 entry point. The framework's wrapper does the work; this thin layer in
// front of its dispatcher fixes the few answers where the wrapper, as built against the free ABI
// header, would tell the host something else:
//  - effCanDo is answered from the plug-in's own table only (the wrapper also claims DPI scaling
//    and vendor extensions the plug-in does not offer);
//  - the vendor version and the effect version are the plug-in's VST 2 version number;
//  - opcodes the header only knows by placeholder values are translated, so the host's bypass,
//    tail size and similar calls reach the wrapper's handlers.

#include "hostentry/Vst2HostAnswers.h"

#include <pluginterfaces/fst/fst.h>

#include <atomic>

// The framework's own entry point, renamed when the wrapper is compiled (see CMakeLists.txt).
extern "C" AEffect* varkelFrameworkVst2Main (audioMasterCallback host);

namespace
{
// Every effect the wrapper creates has the same dispatcher function.
std::atomic<AEffectDispatcherProc> frameworkDispatcher{nullptr};

int32_t translatedOpcode (int32_t opcode) noexcept
{
    switch (opcode)
    {
    case vst2::opcode::setBypass:
        return effSetBypass;
    case vst2::opcode::getTailSize:
        return effGetTailSize;
    case vst2::opcode::keysRequired:
        return effKeysRequired;
    case vst2::opcode::getNumMidiInputChannels:
        return effGetNumMidiInputChannels;
    case vst2::opcode::getNumMidiOutputChannels:
        return effGetNumMidiOutputChannels;
    default:
        return opcode;
    }
}

t_fstPtrInt dispatch (AEffect* effect, int opcode, int index, t_fstPtrInt value, void* const ptr, float opt)
{
    if (opcode == effCanDo)
        return vst2::canDoAnswer (static_cast<const char*> (ptr));
    if (opcode == effGetVendorVersion)
        return VARKEL_VST2_VERSION;

    const AEffectDispatcherProc forward = frameworkDispatcher.load();
    return forward != nullptr ? forward (effect, translatedOpcode (opcode), index, value, ptr, opt) : 0;
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) AEffect* VSTPluginMain (audioMasterCallback host)
{
    // The framework asks the host for its version first and gives no effect to a host answering 0.
    AEffect* const effect = varkelFrameworkVst2Main (host);
    if (effect == nullptr)
        return nullptr;

    frameworkDispatcher.store (effect->dispatcher);
    effect->dispatcher = &dispatch;
    effect->version = VARKEL_VST2_VERSION;
    return effect;
}
