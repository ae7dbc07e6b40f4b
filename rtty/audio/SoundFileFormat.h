#pragma once

#include <cstddef>
#include <string>

namespace rtty {

// What the first bytes of a sound file say it is. Only the containers a
// receiver's recording comes in are handed to libsndfile; its parsers for
// the rest (AU, IRCAM, Ogg and others) have had faults that a damaged or
// hostile file reaches, and no listener needs them.
struct SoundFileKind {
    bool accepted = false;
    std::string name;  // "WAV", "RF64", "FLAC"; for a refused file what it looks like
};

// At least kSoundFileHeaderBytes should be given when the file has them.
constexpr size_t kSoundFileHeaderBytes = 12;
SoundFileKind soundFileKind(const unsigned char* header, size_t size);

// The sentence that refuses a file of this kind, naming what is accepted.
std::string refusedSoundFileText(const std::string& path, const SoundFileKind& kind);

}  // namespace rtty
