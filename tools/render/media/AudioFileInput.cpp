#include "media/AudioFileInput.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace
{
// An hour of 192 kHz stereo: beyond that the whole file would not sit in memory comfortably.
constexpr juce::int64 maxSamplesPerChannel = 192000LL * 3600LL;
} // namespace

bool readAudioFile (const std::string& path, Audio& audio, std::string& error)
{
    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (path.c_str()));
    if (!file.existsAsFile())
    {
        error = path + ": no such file";
        return false;
    }
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    const std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
    {
        error = path + ": not an audio file this tool reads (it reads " +
                formats.getWildcardForAllFormats().toStdString() + ")";
        return false;
    }
    const auto length = reader->lengthInSamples;
    const auto channels = static_cast<int> (reader->numChannels);
    if (length <= 0 || channels <= 0)
    {
        error = path + ": the file holds no audio";
        return false;
    }
    if (length > maxSamplesPerChannel)
    {
        error = path + ": longer than an hour at 192 kHz; cut it into parts";
        return false;
    }
    juce::AudioBuffer<float> buffer (channels, static_cast<int> (length));
    if (!reader->read (&buffer, 0, static_cast<int> (length), 0, true, true))
    {
        error = path + ": the audio could not be read to its end";
        return false;
    }
    audio.sampleRate = reader->sampleRate;
    audio.channels.assign (static_cast<size_t> (channels), {});
    for (int c = 0; c < channels; ++c)
        audio.channels[static_cast<size_t> (c)].assign (buffer.getReadPointer (c),
                                                        buffer.getReadPointer (c) + length);
    return true;
}
