#include "Installation.h"

#include <climits>
#include <unistd.h>

namespace tollbook::agent {

std::string installationFolderOf(const std::string& executable)
{
    std::string folder = executable;
    for (int level = 0; level < 3; ++level) {
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos) {
            return ".";
        }
        folder.erase(slash == 0 ? 1 : slash);
    }
    return folder;
}

std::string runningExecutable()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return std::string();
    }
    return std::string(path, static_cast<std::size_t>(length));
}

std::string localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "localhost";
    }
    return name;
}

} // namespace tollbook::agent
