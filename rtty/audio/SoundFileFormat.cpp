#include "rtty/audio/SoundFileFormat.h"

#include <cstring>

namespace rtty {

namespace {

bool startsWith(const unsigned char* header, size_t size, const char* magic, size_t at = 0)
{
    const size_t length = std::strlen(magic);
    return size >= at + length && std::memcmp(header + at, magic, length) == 0;
}

// Formats people try to feed a decoder, named so that the refusal says what
// the file is rather than only what it is not.
const char* knownOtherFormat(const unsigned char* h, size_t size)
{
    if (startsWith(h, size, "OggS")) return "an Ogg stream (Vorbis, Opus or Ogg FLAC)";
    if (startsWith(h, size, ".snd") || startsWith(h, size, "dns.")) return "a Sun/NeXT AU file";
    static const unsigned char ircam[][4] = {{0x64, 0xa3, 0x01, 0x00}, {0x00, 0x01, 0xa3, 0x64},
                                             {0x64, 0xa3, 0x02, 0x00}, {0x00, 0x02, 0xa3, 0x64},
                                             {0x64, 0xa3, 0x03, 0x00}, {0x00, 0x03, 0xa3, 0x64},
                                             {0x64, 0xa3, 0x04, 0x00}, {0x00, 0x04, 0xa3, 0x64}};
    for (const auto& magic : ircam)
        if (size >= 4 && std::memcmp(h, magic, 4) == 0) return "an IRCAM sound file";
    if (startsWith(h, size, "FORM") && (startsWith(h, size, "AIFF", 8) || startsWith(h, size, "AIFC", 8)))
        return "an AIFF file";
    if (startsWith(h, size, "FORM")) return "an IFF file (8SVX or similar)";
    if (startsWith(h, size, "ID3") || (size >= 2 && h[0] == 0xff && (h[1] & 0xe0) == 0xe0)) return "an MP3 file";
    if (startsWith(h, size, "caff")) return "a Core Audio file";
    if (startsWith(h, size, "wvpk")) return "a WavPack file";
    if (startsWith(h, size, "RIFX")) return "a big-endian RIFF file";
    if (startsWith(h, size, "RIFF")) return "a RIFF file that holds no WAVE audio";
    if (startsWith(h, size, "BW64")) return "a BW64 file";
    if (startsWith(h, size, "MThd")) return "a MIDI file";
    return nullptr;
}

}  // namespace

SoundFileKind soundFileKind(const unsigned char* header, size_t size)
{
    if (startsWith(header, size, "RIFF") && startsWith(header, size, "WAVE", 8)) return {true, "WAV"};
    if (startsWith(header, size, "RF64") && startsWith(header, size, "WAVE", 8)) return {true, "RF64"};
    if (startsWith(header, size, "fLaC")) return {true, "FLAC"};
    if (size == 0) return {false, "an empty file"};
    if (const char* other = knownOtherFormat(header, size)) return {false, other};
    return {false, "not a sound file this program knows"};
}

std::string refusedSoundFileText(const std::string& path, const SoundFileKind& kind)
{
    return "cannot read sound file " + path + ": it is " + kind.name
         + "; WAV (also WAVE_FORMAT_EXTENSIBLE and RF64) and FLAC files are read, and raw PCM as raw:PATH@RATE";
}

}  // namespace rtty
