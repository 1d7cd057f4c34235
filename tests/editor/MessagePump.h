#pragma once

#include <juce_events/juce_events.h>

namespace juce
{
// JUCE's own Linux message-loop step (juce_linux_Messaging.cpp). Modal loops are off in this
// build, so runDispatchLoopUntil is unavailable; tests use this to deliver async messages.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

// Delivers every message already posted to the message thread (this thread, in the tests):
// async change messages, slider notifications, triggered clicks.
inline void dispatchPendingMessages()
{
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i)
    {
    }
}
