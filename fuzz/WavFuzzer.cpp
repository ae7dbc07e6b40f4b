// The sound-file reader behind wav: sources on any file: it opens or says
// why, and what it reads is finite samples at a positive rate, whatever the
// header claims, the same from a file as from memory. Run under LeakSanitizer: a refused file leaks nothing.
#include "rtty/audio/WavSource.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

std::string scratchFile()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/fuzz-wav-XXXXXX";
    const int fd = mkstemp(path.data());
    require(fd >= 0, "a scratch file");
    close(fd);
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = scratchFile();
    FILE* file = std::fopen(path.c_str(), "wb");
    require(file != nullptr, "the scratch file opens");
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    // From the file, as wav: sources open it, and from memory: the same
    // decision and the same samples.
    rtty::WavSource source(path, false, false);
    rtty::WavSource inMemory(std::vector<unsigned char>(data, data + size), "fuzz input");
    require(source.isOpen() == inMemory.isOpen(), "file and memory agree on opening");
    if (!source.isOpen()) {
        require(!source.errorText().empty() && !inMemory.errorText().empty(), "a refused file says why");
        return 0;
    }
    require(source.sampleRate() > 0 && std::isfinite(source.sampleRate()), "a positive rate");
    require(source.sampleRate() == inMemory.sampleRate(), "file and memory agree on the rate");
    float samples[512];
    float again[512];
    // A header may claim any length: a bounded number of reads is enough.
    for (int reads = 0; reads < 256; ++reads) {
        const size_t got = source.read(samples, 512);
        require(inMemory.read(again, 512) == got, "file and memory give as many samples");
        if (got == 0) break;
        require(got <= 512, "no more samples than asked for");
        for (size_t i = 0; i < got; ++i) {
            require(std::isfinite(samples[i]), "finite samples");
            require(samples[i] == again[i], "file and memory give the same samples");
        }
    }
    return 0;
}
