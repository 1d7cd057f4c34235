// Opens the plug-in's editor in a desktop window (under Xvfb on a server) and writes snapshots
// of both views at the dimmest and brightest valve glow:
//   varkel_editor_snapshot <output folder>
// Files: editor-<plain|settings>-glow<0|23>.png. The output folder is not part of the sources.

#include "editor/VarkelPreampEditor.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <memory>

namespace juce
{
// JUCE's Linux message-loop step; modal loops are off in this build.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
void dispatchPendingMessages()
{
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}

// JUCE 7.0.5 looks these window-manager atoms up without creating them and then uses them even
// when they do not exist (atom 0), which a display without a window manager (bare Xvfb) answers
// with a fatal BadAtom error. Creating them first lets the window open there.
// The connection stays open: an X server may reset, dropping the atoms, when its last client leaves.
::Display* internWindowManagerAtoms()
{
    ::Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return nullptr;
    for (const char* name :
         {"WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "_NET_WM_PING", "WM_CHANGE_STATE", "WM_STATE",
          "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE_NORMAL",
          "_NET_WM_WINDOW_TYPE_COMBO", "_MOTIF_WM_HINTS", "_NET_WM_ALLOWED_ACTIONS", "_NET_FRAME_EXTENTS"})
        XInternAtom (display, name, False);
    XSync (display, False);
    return display;
}

void setParameter (VarkelPreampAudioProcessor& processor, int index, float value)
{
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    processor.setParameterNotifyingHost (index, value);
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    dispatchPendingMessages();
}

bool writePng (const juce::File& file, const juce::Image& image)
{
    file.deleteFile();
    juce::FileOutputStream stream (file);
    return stream.openedOk() && juce::PNGImageFormat().writeImageToStream (image, stream);
}

int run (const juce::File& folder)
{
    if (!folder.createDirectory())
    {
        std::fprintf (stderr, "error: cannot create %s\n", folder.getFullPathName().toRawUTF8());
        return 1;
    }

    auto processor = std::make_unique<VarkelPreampAudioProcessor>();
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditor());
    if (dynamic_cast<VarkelPreampEditor*> (editor.get()) == nullptr)
    {
        std::fprintf (stderr, "error: the processor did not create the VARKEL editor\n");
        return 1;
    }

    editor->setTopLeftPosition (40, 40);
    editor->addToDesktop (0); // as a host embeds it: a plain window, no decorations
    editor->setVisible (true);
    dispatchPendingMessages();
    if (editor->getPeer() == nullptr)
    {
        std::fprintf (stderr, "error: the editor did not open a window\n");
        return 1;
    }

    // The two valve pictures are the bottom children; the glow is set on them directly, as the
    // level timer would for a silent and for a loud signal.
    auto* glow = dynamic_cast<juce::Slider*> (editor->getChildComponent (0));
    auto* glowBlurred = dynamic_cast<juce::Slider*> (editor->getChildComponent (1));
    if (glow == nullptr || glowBlurred == nullptr)
    {
        std::fprintf (stderr, "error: unexpected editor layout\n");
        return 1;
    }

    bool ok = true;
    for (const bool settings : {false, true})
    {
        setParameter (*processor, showSettingsParameter, settings ? 1.0f : 0.0f);
        for (const int frame : {0, 23})
        {
            glow->setValue (frame, juce::dontSendNotification);
            glowBlurred->setValue (frame, juce::dontSendNotification);
            const auto file =
                folder.getChildFile (juce::String ("editor-") + (settings ? "settings" : "plain") + "-glow" +
                                     juce::String (frame) + ".png");
            const bool written = writePng (file, editor->createComponentSnapshot (editor->getLocalBounds()));
            std::printf ("%s %s\n", written ? "wrote" : "FAILED", file.getFullPathName().toRawUTF8());
            ok &= written;
        }
    }

    // The editor must stop listening before the processor goes.
    editor.reset();
    processor.reset();
    return ok ? 0 : 1;
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    ::Display* atomKeeper = internWindowManagerAtoms();
    int result = 0;
    {
        const juce::ScopedJuceInitialiser_GUI juce;
        result = run (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    }
    if (atomKeeper != nullptr)
        XCloseDisplay (atomKeeper);
    return result;
}
