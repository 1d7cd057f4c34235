#pragma once

#include "editor/FilmStripKnob.h"
#include "editor/ImageToggleButton.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

class VarkelPreampAudioProcessor;

// The plug-in's window: a fixed 460 x 368 picture of two valves whose glow follows the level of
// the last stage, with a "Settings" tab that lays the settings panel (six bars, the oversampling
// selector and the valve-type buttons) over a blurred copy of the picture. Everything is drawn
// from the embedded pictures; the editor paints nothing itself.
//
// All of it runs on the message thread. The processor's callback lock is taken only to copy
// numbers out (program values, level sums); parameters are written through the host-notifying
// path, and the processor's change messages bring the view back in line.
class VarkelPreampEditor : public juce::AudioProcessorEditor,
                           public juce::ChangeListener,
                           public juce::Timer,
                           public juce::Slider::Listener,
                           public juce::Button::Listener
{
public:
    static constexpr int width = 460;
    static constexpr int height = 368;
    static constexpr int glowIntervalMs = 50;

    explicit VarkelPreampEditor (VarkelPreampAudioProcessor& owner);
    ~VarkelPreampEditor() override;

    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster* source) override;
    void timerCallback() override;
    void sliderValueChanged (juce::Slider* slider) override;
    void buttonClicked (juce::Button* button) override;

    bool isSettingsShown() const noexcept { return settingsShown; }

private:
    void refreshFromProcessor();
    void showSettings (bool shown);
    void showValveType (bool agedValves);
    void showModelStatus();
    void sendParameter (int index, float normalizedValue);

    // The seven knobs and the parameter each one sets, in parameter order.
    struct KnobBinding
    {
        FilmStripKnob* knob;
        int parameter;
    };
    std::array<KnobBinding, 7> knobBindings() noexcept;

    VarkelPreampAudioProcessor& owner;

    // Pictures first: the controls point at them, so they must outlive the controls.
    juce::Image backgroundImage;
    juce::Image monoStereoImage;
    juce::Image gainStripImage;
    juce::Image toneStripImage;
    juce::Image oversamplingImage;
    juce::Image valveGlowImage;
    juce::Image valveGlowBlurredImage;
    juce::Image levelStripImage;
    juce::Image ehNormalImage;
    juce::Image ehOverImage;
    juce::Image rsdNormalImage;
    juce::Image rsdOverImage;

    // Children, bottom to top.
    FilmStripKnob valveGlow;
    FilmStripKnob valveGlowBlurred;
    ImageToggleButton background;
    juce::ImageButton ehButton;
    juce::ImageButton rsdButton;
    juce::ImageButton settingsButton;
    ImageToggleButton monoStereoButton;
    FilmStripKnob inputKnob;
    FilmStripKnob gainKnob;
    FilmStripKnob trebleKnob;
    FilmStripKnob middleKnob;
    FilmStripKnob bassKnob;
    FilmStripKnob outputKnob;
    FilmStripKnob oversamplingKnob;

    // Tells a user whose plug-in is silent why (missing or unreadable model data).
    juce::Label modelStatus;

    bool settingsShown = true;
    float lastGlowValue = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VarkelPreampEditor)
};
