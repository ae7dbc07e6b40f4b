#include "synopdecoder/ProgramDirectory.h"

#include <unistd.h>

namespace synop {

std::string programDirectory()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string directory(path, static_cast<size_t>(length));
    const size_t slash = directory.rfind('/');
    if (slash == std::string::npos) return {};
    directory.erase(slash + 1);
    return directory;
}

}  // namespace synop
