#include "editor/VarkelPreampEditor.h"

#include "EditorImages.h"
#include "editor/ValveGlow.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <algorithm>

namespace
{
juce::Image picture (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

// The valve-type outlines: the normal picture marks the selected type (opacity 1) or is hidden
// (opacity 0); the darker over picture shows under the mouse and while pressed.
void setOutlineImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over,
                       float normalOpacity)
{
    button.setImages (false, true, true, normal, normalOpacity, juce::Colours::transparentBlack, over, 1.0f,
                      juce::Colours::transparentBlack, juce::Image(), 1.0f, juce::Colours::transparentBlack,
                      0.0f);
}
} // namespace

VarkelPreampEditor::VarkelPreampEditor (VarkelPreampAudioProcessor& p)
    : juce::AudioProcessorEditor (p), owner (p),
      backgroundImage (picture (BinaryData::background_png, BinaryData::background_pngSize)),
      monoStereoImage (picture (BinaryData::monoStereo_png, BinaryData::monoStereo_pngSize)),
      gainStripImage (picture (BinaryData::gainStrip_png, BinaryData::gainStrip_pngSize)),
      toneStripImage (picture (BinaryData::toneStrip_png, BinaryData::toneStrip_pngSize)),
      oversamplingImage (picture (BinaryData::oversampling_png, BinaryData::oversampling_pngSize)),
      valveGlowImage (picture (BinaryData::valveGlow_jpg, BinaryData::valveGlow_jpgSize)),
      valveGlowBlurredImage (
          picture (BinaryData::valveGlowBlurred_jpg, BinaryData::valveGlowBlurred_jpgSize)),
      levelStripImage (picture (BinaryData::levelStrip_png, BinaryData::levelStrip_pngSize)),
      ehNormalImage (picture (BinaryData::ehNormal_png, BinaryData::ehNormal_pngSize)),
      ehOverImage (picture (BinaryData::ehOver_png, BinaryData::ehOver_pngSize)),
      rsdNormalImage (picture (BinaryData::rsdNormal_png, BinaryData::rsdNormal_pngSize)),
      rsdOverImage (picture (BinaryData::rsdOver_png, BinaryData::rsdOver_pngSize)),
      valveGlow (&valveGlowImage, 24), valveGlowBlurred (&valveGlowBlurredImage, 24),
      background (&backgroundImage, false), ehButton ("new button"), rsdButton ("new button"),
      settingsButton ("new button"), monoStereoButton (&monoStereoImage, true),
      inputKnob (&levelStripImage, 50), gainKnob (&gainStripImage, 17), trebleKnob (&toneStripImage, 15),
      middleKnob (&toneStripImage, 15), bassKnob (&toneStripImage, 15), outputKnob (&levelStripImage, 50),
      oversamplingKnob (&oversamplingImage, 5)
{
    for (auto* glow : {&valveGlow, &valveGlowBlurred})
    {
        addAndMakeVisible (*glow);
        glow->setRange (0.0, 23.0, 1.0);
    }

    addAndMakeVisible (background);
    background.setName ("new component");

    addAndMakeVisible (ehButton);
    ehButton.addListener (this);
    setOutlineImages (ehButton, ehNormalImage, ehOverImage, 0.0f);

    addAndMakeVisible (rsdButton);
    rsdButton.addListener (this);
    setOutlineImages (rsdButton, rsdNormalImage, rsdOverImage, 0.0f);

    // No pictures: the tab is painted on the background; this only takes the clicks.
    addAndMakeVisible (settingsButton);
    settingsButton.addListener (this);

    addAndMakeVisible (monoStereoButton);
    monoStereoButton.setName ("new component");
    monoStereoButton.addListener (this);

    for (const auto& binding : knobBindings())
    {
        // The oversampling selector is a horizontal strip; the bars are linear bars.
        const auto style = binding.parameter == oversamplingParameter ? juce::Slider::LinearHorizontal
                                                                      : juce::Slider::LinearBar;
        const auto& spec = getParameterSpec (binding.parameter);
        addAndMakeVisible (*binding.knob);
        binding.knob->setName ("new component");
        binding.knob->setSliderStyle (style);
        binding.knob->setRange (engineToControl (binding.parameter, 0.0f),
                                engineToControl (binding.parameter, spec.top), spec.control.step);
        // Registered after the range is set, so setting it notifies nobody.
        binding.knob->addListener (this);
    }

    modelStatus.setColour (juce::Label::textColourId, juce::Colour (240, 226, 200));
    modelStatus.setColour (juce::Label::backgroundColourId, juce::Colours::black.withAlpha (0.72f));
    modelStatus.setColour (juce::Label::outlineColourId, juce::Colour (200, 120, 60).withAlpha (0.8f));
    modelStatus.setJustificationType (juce::Justification::centredLeft);
    modelStatus.setBorderSize (juce::BorderSize<int> (3, 6, 3, 6));
    modelStatus.setFont (juce::Font (12.0f));
    modelStatus.setMinimumHorizontalScale (0.8f);
    modelStatus.setInterceptsMouseClicks (false, false);
    addChildComponent (modelStatus);

    setSize (width, height);

    settingsShown = true;
    lastGlowValue = 0.0f;
    owner.addChangeListener (this);
    refreshFromProcessor();
    startTimer (glowIntervalMs);
}

VarkelPreampEditor::~VarkelPreampEditor()
{
    stopTimer();
    owner.removeChangeListener (this);
}

void VarkelPreampEditor::resized()
{
    // Fixed layout: the pictures have fixed sizes.
    valveGlow.setBounds (0, 0, 460, 368);
    valveGlowBlurred.setBounds (0, 0, 460, 368);
    background.setBounds (0, 0, 460, 368);
    ehButton.setBounds (155, 44, 74, 32);
    rsdButton.setBounds (234, 44, 76, 32);
    settingsButton.setBounds (176, 0, 112, 24);
    monoStereoButton.setBounds (420, 4, 37, 22);
    inputKnob.setBounds (127, 102, 208, 23);
    gainKnob.setBounds (127, 132, 208, 23);
    trebleKnob.setBounds (127, 162, 208, 23);
    middleKnob.setBounds (127, 192, 208, 23);
    bassKnob.setBounds (127, 222, 208, 23);
    outputKnob.setBounds (127, 252, 208, 23);
    oversamplingKnob.setBounds (198, 287, 152, 29);
    // Bottom left, clear of the caption and of the settings controls.
    modelStatus.setBounds (8, 322, 310, 40);
}

void VarkelPreampEditor::changeListenerCallback (juce::ChangeBroadcaster*)
{
    refreshFromProcessor();
}

void VarkelPreampEditor::refreshFromProcessor()
{
    float values[numParameters];
    {
        const juce::ScopedLock lock (owner.getCallbackLock());
        const auto& record = owner.getProgramRecord (owner.getCurrentProgram());
        std::copy (record.values, record.values + numParameters, values);
    }

    showSettings (values[showSettingsParameter] != 0.0f);
    settingsButton.setToggleState (settingsShown, juce::dontSendNotification);
    showValveType (values[dualTriodesParameter] == 1.0f);

    // Asynchronous notification: a value the slider has to snap to its step comes back through
    // sliderValueChanged and is written to the parameter, so host and view agree.
    for (const auto& binding : knobBindings())
        binding.knob->setValue (engineToControl (binding.parameter, values[binding.parameter]),
                                juce::sendNotificationAsync);

    monoStereoButton.setToggleState ((int)values[monoStereoParameter] != 0, juce::dontSendNotification);

    showModelStatus();
}

void VarkelPreampEditor::showSettings (bool shown)
{
    settingsShown = shown;
    valveGlowBlurred.setVisible (shown);
    background.setToggleState (shown, juce::dontSendNotification);
    for (juce::Component* c :
         std::initializer_list<juce::Component*>{&inputKnob, &gainKnob, &trebleKnob, &middleKnob, &bassKnob,
                                                 &outputKnob, &oversamplingKnob, &ehButton, &rsdButton})
        c->setVisible (shown);
}

void VarkelPreampEditor::showValveType (bool agedValves)
{
    setOutlineImages (ehButton, ehNormalImage, ehOverImage, agedValves ? 0.0f : 1.0f);
    setOutlineImages (rsdButton, rsdNormalImage, rsdOverImage, agedValves ? 1.0f : 0.0f);
    ehButton.repaint();
    rsdButton.repaint();
}

void VarkelPreampEditor::showModelStatus()
{
    const auto status = owner.getModelStatus();
    modelStatus.setText (status, juce::dontSendNotification);
    modelStatus.setVisible (status.isNotEmpty());
}

void VarkelPreampEditor::timerCallback()
{
    ValveGlow::LevelStatistics first, second;
    bool stereo = false;
    {
        const juce::ScopedLock lock (owner.getCallbackLock());
        const auto& window0 = owner.getChain (0).levelWindow;
        first = {window0.invLength, window0.sum, window0.sumSquares};
        stereo = owner.getProgramRecord (owner.getCurrentProgram()).values[monoStereoParameter] != 0.0f;
        if (stereo)
        {
            const auto& window1 = owner.getChain (1).levelWindow;
            second = {window1.invLength, window1.sum, window1.sumSquares};
        }
    }

    const float glow = ValveGlow::glowValueFor (first, second, stereo);
    if (glow == lastGlowValue)
        return; // a steady level causes no repaint

    valveGlow.setValue (glow, juce::dontSendNotification);
    valveGlowBlurred.setValue (glow, juce::dontSendNotification);
    lastGlowValue = glow;
}

void VarkelPreampEditor::sliderValueChanged (juce::Slider* slider)
{
    for (const auto& binding : knobBindings())
        if (slider == binding.knob)
            sendParameter (binding.parameter, controlToNormalized (binding.parameter, slider->getValue()));
}

std::array<VarkelPreampEditor::KnobBinding, 7> VarkelPreampEditor::knobBindings() noexcept
{
    return {{{&inputKnob, inputParameter},
             {&gainKnob, gainParameter},
             {&trebleKnob, trebleParameter},
             {&middleKnob, middleParameter},
             {&bassKnob, bassParameter},
             {&outputKnob, outputParameter},
             {&oversamplingKnob, oversamplingParameter}}};
}

void VarkelPreampEditor::buttonClicked (juce::Button* button)
{
    if (button == &ehButton || button == &rsdButton)
    {
        const bool aged = button == &rsdButton;
        sendParameter (dualTriodesParameter, aged ? 1.0f : 0.0f);
        showValveType (aged);
        repaint();
    }
    else if (button == &settingsButton)
    {
        // The tab's own toggle state follows at the next refresh.
        showSettings (!settingsShown);
        sendParameter (showSettingsParameter, settingsShown ? 1.0f : 0.0f);
        repaint();
    }
    else if (button == &monoStereoButton)
    {
        sendParameter (monoStereoParameter, monoStereoButton.getToggleState() ? 1.0f : 0.0f);
    }
}

void VarkelPreampEditor::sendParameter (int index, float normalizedValue)
{
    // The processor keeps the index-based parameter interface that JUCE 7 marks deprecated.
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    owner.setParameterNotifyingHost (index, normalizedValue);
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
}
