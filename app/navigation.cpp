#include "navigation.h"

#include <cstdio>
#include <cstring>

namespace {

bool CutAtLastBackslash(char* path) {
    char* cut = std::strrchr(path, '\\');
    if (!cut) return false;
    *cut = '\0';
    return true;
}

}  // namespace

void StartFolder(char* out, size_t size, const char* modulePath) {
    if (size == 0) return;
    std::snprintf(out, size, "%s", modulePath);
    CutAtLastBackslash(out);
    if (std::strlen(out) > 2) CutAtLastBackslash(out);
}

bool BackPath(char* path) {
    if (std::strlen(path) < 3) return false;
    return CutAtLastBackslash(path);
}

const char* LastComponent(const char* path) {
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

bool FormatScanTitle(char* out, size_t size, const char* title, const char* path) {
    if (std::strlen(path) <= 2) return false;
    std::snprintf(out, size, "%s - %s", title, LastComponent(path));
    return true;
}
