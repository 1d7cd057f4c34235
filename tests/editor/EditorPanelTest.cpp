#include "MessagePump.h"
#include "editor/FilmStripKnob.h"
#include "editor/VarkelPreampEditor.h"
#include "processor/VarkelPreampAudioProcessor.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
// Children in the order the editor stacks them, bottom to top.
enum Child
{
    valveGlow,
    valveGlowBlurred,
    background,
    ehButton,
    rsdButton,
    settingsButton,
    monoStereoButton,
    inputKnob,
    gainKnob,
    trebleKnob,
    middleKnob,
    bassKnob,
    outputKnob,
    oversamplingKnob,
    numPanelChildren
};

const Child settingsOnly[] = {inputKnob,  gainKnob,         trebleKnob, middleKnob, bassKnob,
                              outputKnob, oversamplingKnob, ehButton,   rsdButton};

// Records what the host would be told.
struct HostListener : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        changes.push_back ({index, value});
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    std::vector<std::pair<int, float>> changes;
};

class EditorPanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        processor = std::make_unique<VarkelPreampAudioProcessor>();
        editor.reset (dynamic_cast<VarkelPreampEditor*> (processor->createEditor()));
        ASSERT_NE (editor, nullptr);
        dispatchPendingMessages();
        processor->addListener (&host);
    }

    void TearDown() override
    {
        if (processor != nullptr)
            processor->removeListener (&host);
        editor.reset();
        processor.reset();
    }

    juce::Component& child (Child c) { return *editor->getChildComponent (c); }
    juce::Slider& slider (Child c) { return dynamic_cast<juce::Slider&> (child (c)); }
    juce::Button& button (Child c) { return dynamic_cast<juce::Button&> (child (c)); }

    const ProgramRecord& program() { return processor->getProgramRecord (processor->getCurrentProgram()); }

    void setFromHost (int index, float normalized)
    {
        JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
        processor->setParameter (index, normalized);
        JUCE_END_IGNORE_WARNINGS_GCC_LIKE
        dispatchPendingMessages();
    }

    void click (Child c)
    {
        button (c).triggerClick();
        dispatchPendingMessages();
    }

    int drawnPixels (Child c)
    {
        auto& component = child (c);
        juce::Image canvas (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
        juce::Graphics g (canvas);
        component.paintEntireComponent (g, false);
        int drawn = 0;
        for (int y = 0; y < canvas.getHeight(); ++y)
            for (int x = 0; x < canvas.getWidth(); ++x)
                drawn += canvas.getPixelAt (x, y).getAlpha() != 0 ? 1 : 0;
        return drawn;
    }

    void expectSettingsView (bool shown)
    {
        EXPECT_EQ (editor->isSettingsShown(), shown);
        EXPECT_EQ (child (valveGlowBlurred).isVisible(), shown);
        EXPECT_EQ (button (background).getToggleState(), shown);
        for (auto c : settingsOnly)
            EXPECT_EQ (child (c).isVisible(), shown) << "child " << c;
        for (auto c : {valveGlow, background, settingsButton, monoStereoButton})
            EXPECT_TRUE (child (c).isVisible()) << "child " << c;
    }

    std::unique_ptr<VarkelPreampAudioProcessor> processor;
    std::unique_ptr<VarkelPreampEditor> editor;
    HostListener host;
};

TEST_F (EditorPanel, ChildrenHaveTheirPlacesNamesAndOrder)
{
    struct Expected
    {
        Child child;
        juce::Rectangle<int> bounds;
        const char* name;
    };
    const Expected layout[] = {
        {valveGlow, {0, 0, 460, 368}, "Slider"},
        {valveGlowBlurred, {0, 0, 460, 368}, "Slider"},
        {background, {0, 0, 460, 368}, "new component"},
        {ehButton, {155, 44, 74, 32}, "new button"},
        {rsdButton, {234, 44, 76, 32}, "new button"},
        {settingsButton, {176, 0, 112, 24}, "new button"},
        {monoStereoButton, {420, 4, 37, 22}, "new component"},
        {inputKnob, {127, 102, 208, 23}, "new component"},
        {gainKnob, {127, 132, 208, 23}, "new component"},
        {trebleKnob, {127, 162, 208, 23}, "new component"},
        {middleKnob, {127, 192, 208, 23}, "new component"},
        {bassKnob, {127, 222, 208, 23}, "new component"},
        {outputKnob, {127, 252, 208, 23}, "new component"},
        {oversamplingKnob, {198, 287, 152, 29}, "new component"},
    };

    EXPECT_EQ (editor->getWidth(), 460);
    EXPECT_EQ (editor->getHeight(), 368);
    ASSERT_GE (editor->getNumChildComponents(), (int)numPanelChildren);
    for (const auto& e : layout)
    {
        EXPECT_EQ (child (e.child).getBounds(), e.bounds) << "child " << e.child;
        EXPECT_EQ (child (e.child).getName(), e.name) << "child " << e.child;
    }

    const struct
    {
        Child child;
        double minimum, maximum, step;
    } ranges[] = {
        {valveGlow, 0, 23, 1}, {valveGlowBlurred, 0, 23, 1}, {inputKnob, 0, 12.25, 0.25},
        {gainKnob, 0, 16, 1},  {trebleKnob, 0, 14, 1},       {middleKnob, 0, 14, 1},
        {bassKnob, 0, 14, 1},  {outputKnob, -37, 12, 1},     {oversamplingKnob, 0, 4, 1},
    };
    for (const auto& r : ranges)
    {
        EXPECT_EQ (slider (r.child).getMinimum(), r.minimum) << "child " << r.child;
        EXPECT_EQ (slider (r.child).getMaximum(), r.maximum) << "child " << r.child;
        EXPECT_EQ (slider (r.child).getInterval(), r.step) << "child " << r.child;
    }
}

TEST_F (EditorPanel, MouseReachesTheTopmostControlAndTheBackgroundElsewhere)
{
    editor->setVisible (true);
    setFromHost (showSettingsParameter, 1.0f);
    EXPECT_EQ (editor->getComponentAt (200, 10), &child (settingsButton));
    EXPECT_EQ (editor->getComponentAt (150, 140), &child (gainKnob));
    EXPECT_EQ (editor->getComponentAt (250, 300), &child (oversamplingKnob));
    EXPECT_EQ (editor->getComponentAt (30, 200), &child (background));

    // The background takes the click and does nothing with it.
    host.changes.clear();
    click (background);
    EXPECT_TRUE (button (background).getToggleState());
    EXPECT_TRUE (host.changes.empty());
}

TEST_F (EditorPanel, SettingsTabTogglesTheViewAndTheParameter)
{
    setFromHost (showSettingsParameter, 0.0f);
    expectSettingsView (false);

    click (settingsButton);
    expectSettingsView (true);
    EXPECT_EQ (program().values[showSettingsParameter], 1.0f);
    ASSERT_FALSE (host.changes.empty());
    EXPECT_EQ (host.changes.back(), std::make_pair ((int)showSettingsParameter, 1.0f));
    EXPECT_TRUE (button (settingsButton).getToggleState()); // after the processor's change message

    click (settingsButton);
    expectSettingsView (false);
    EXPECT_EQ (program().values[showSettingsParameter], 0.0f);
    EXPECT_EQ (host.changes.back(), std::make_pair ((int)showSettingsParameter, 0.0f));
}

TEST_F (EditorPanel, SlidersSendTheirNormalizedValuesToTheHost)
{
    const struct
    {
        Child child;
        double value;
        int parameter;
        float normalized;
        float engineValue;
    } cases[] = {
        {gainKnob, 16.0, gainParameter, 1.0f, 16.0f},
        {gainKnob, 8.0, gainParameter, 0.5f, 8.0f},
        {outputKnob, -37.0, outputParameter, 0.0f, 0.0f},
        {outputKnob, 12.0, outputParameter, 1.0f, 49.0f},
        {inputKnob, 12.25, inputParameter, 1.0f, 49.0f},
        {inputKnob, 0.0, inputParameter, 0.0f, 0.0f},
        {trebleKnob, 14.0, trebleParameter, 1.0f, 14.0f},
        {middleKnob, 7.0, middleParameter, 0.5f, 7.0f},
        {bassKnob, 0.0, bassParameter, 0.0f, 0.0f},
        {oversamplingKnob, 3.0, oversamplingParameter, 0.75f, 3.0f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.parameter) + " <- " + juce::String (c.value));
        // Start at the other end so the value below is a change.
        auto& s = slider (c.child);
        s.setValue (c.value == s.getMinimum() ? s.getMaximum() : s.getMinimum(), juce::sendNotificationSync);
        host.changes.clear();

        slider (c.child).setValue (c.value, juce::sendNotificationSync);
        ASSERT_EQ (host.changes.size(), 1u);
        EXPECT_EQ (host.changes[0].first, c.parameter);
        EXPECT_EQ (host.changes[0].second, c.normalized);
        EXPECT_EQ (program().values[c.parameter], c.engineValue);
        dispatchPendingMessages();
    }
}

TEST_F (EditorPanel, RefreshShowsHostChangesAndSnapsHalfStepsUpward)
{
    setFromHost (gainParameter, 0.5f);
    EXPECT_EQ (slider (gainKnob).getValue(), 8.0);
    setFromHost (oversamplingParameter, 1.0f);
    EXPECT_EQ (slider (oversamplingKnob).getValue(), 4.0);
    setFromHost (monoStereoParameter, 1.0f);
    EXPECT_TRUE (button (monoStereoButton).getToggleState());
    setFromHost (monoStereoParameter, 0.0f);
    EXPECT_FALSE (button (monoStereoButton).getToggleState());

    // Input and Output at 24.5 fall between the bars' steps: the bars take 25 and write it back.
    setFromHost (inputParameter, 0.0f);
    setFromHost (outputParameter, 0.0f);
    setFromHost (inputParameter, 0.5f);
    setFromHost (outputParameter, 0.5f);
    dispatchPendingMessages();
    EXPECT_EQ (slider (inputKnob).getValue(), 6.25);
    EXPECT_EQ (slider (outputKnob).getValue(), -12.0);
    EXPECT_FLOAT_EQ (program().values[inputParameter], 25.0f);
    EXPECT_FLOAT_EQ (program().values[outputParameter], 25.0f);
}

TEST_F (EditorPanel, ValveTypeOutlineFollowsTheParameter)
{
    setFromHost (showSettingsParameter, 1.0f);
    setFromHost (dualTriodesParameter, 1.0f);
    EXPECT_EQ (drawnPixels (ehButton), 0);
    EXPECT_GT (drawnPixels (rsdButton), 50);

    setFromHost (dualTriodesParameter, 0.0f);
    EXPECT_GT (drawnPixels (ehButton), 50);
    EXPECT_EQ (drawnPixels (rsdButton), 0);

    host.changes.clear();
    click (rsdButton);
    EXPECT_EQ (program().values[dualTriodesParameter], 1.0f);
    ASSERT_FALSE (host.changes.empty());
    EXPECT_EQ (host.changes.front(), std::make_pair ((int)dualTriodesParameter, 1.0f));
    EXPECT_EQ (drawnPixels (ehButton), 0);
    EXPECT_GT (drawnPixels (rsdButton), 50);

    click (ehButton);
    EXPECT_EQ (program().values[dualTriodesParameter], 0.0f);
    EXPECT_GT (drawnPixels (ehButton), 50);
}

TEST_F (EditorPanel, MonoStereoSwitchWritesItsState)
{
    setFromHost (monoStereoParameter, 0.0f);
    host.changes.clear();
    click (monoStereoButton);
    EXPECT_TRUE (button (monoStereoButton).getToggleState());
    EXPECT_EQ (program().values[monoStereoParameter], 1.0f);
    ASSERT_FALSE (host.changes.empty());
    EXPECT_EQ (host.changes.front(), std::make_pair ((int)monoStereoParameter, 1.0f));

    click (monoStereoButton);
    EXPECT_FALSE (button (monoStereoButton).getToggleState());
    EXPECT_EQ (program().values[monoStereoParameter], 0.0f);
}

TEST_F (EditorPanel, SilentChainsLeaveTheValvesDark)
{
    editor->timerCallback();
    EXPECT_EQ (slider (valveGlow).getValue(), 0.0);
    EXPECT_EQ (slider (valveGlowBlurred).getValue(), 0.0);
}

TEST_F (EditorPanel, ModelDataProblemsAreShownAsText)
{
    // The label is the one child beyond the panel's fourteen.
    ASSERT_EQ (editor->getNumChildComponents(), (int)numPanelChildren + 1);
    auto* label = dynamic_cast<juce::Label*> (editor->getChildComponent (numPanelChildren));
    ASSERT_NE (label, nullptr);

    const auto status = processor->getModelStatus();
    EXPECT_EQ (label->getText(), status);
    EXPECT_EQ (label->isVisible(), status.isNotEmpty());
    // It must not take clicks meant for the controls beneath it.
    bool takesClicks = true, childrenTakeClicks = true;
    label->getInterceptsMouseClicks (takesClicks, childrenTakeClicks);
    EXPECT_FALSE (takesClicks);
}
} // namespace
