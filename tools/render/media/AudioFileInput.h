#pragma once

#include "WavFile.h"

#include <string>

// Reads any file the framework's audio formats read (WAV, AIFF, FLAC, Ogg Vorbis) into planar
// float channels at the file's rate. On failure returns false and a reason for a person to read.
bool readAudioFile (const std::string& path, Audio& audio, std::string& error);
