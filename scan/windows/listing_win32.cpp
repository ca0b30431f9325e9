// Win32 listing: FindFirstFileExW with the basic information level and large
// fetches, on long-path forms (\\?\), so neither depth nor path length limits
// a walk. Paths and names pass through the program's 8-bit text (CP_ACP)
// only at the edges; children are opened with their UTF-16 names as listed.
#include "../listing.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#ifndef FIND_FIRST_EX_LARGE_FETCH
#define FIND_FIRST_EX_LARGE_FETCH 2
#endif

namespace {

struct Level {
    HANDLE find;
    size_t pathLen;   // length of this folder's path in the context's buffer
    bool first;       // the opening already delivered the first entry
    bool eof;
    int mode;
    WIN32_FIND_DATAW data;
};

}  // namespace

struct ListContext {
    std::vector<Level> levels;
    int depth = 0;
    std::vector<wchar_t> path;  // the top folder's long path, no trailing backslash
    size_t pathLen = 0;
    char name[1024];            // the current entry's name in 8-bit text
};

namespace {

bool Reserve(ListContext* ctx, size_t n) {
    if (ctx->path.size() >= n) return true;
    size_t size = ctx->path.empty() ? 1024 : ctx->path.size();
    while (size < n) size *= 2;
    try {
        ctx->path.resize(size);
    } catch (...) {
        return false;
    }
    return true;
}

bool Append(ListContext* ctx, const wchar_t* s, size_t n) {
    if (!Reserve(ctx, ctx->pathLen + n + 1)) return false;
    std::memcpy(&ctx->path[ctx->pathLen], s, n * sizeof(wchar_t));
    ctx->pathLen += n;
    ctx->path[ctx->pathLen] = L'\0';
    return true;
}

// Opens the listing of the folder whose path is in the buffer.
bool OpenTop(ListContext* ctx, int mode) {
    size_t folderLen = ctx->pathLen;
    if (!Append(ctx, L"\\*", 2)) return false;
    if (ctx->depth >= static_cast<int>(ctx->levels.size())) {
        ctx->levels.resize(ctx->levels.empty() ? 16 : ctx->levels.size() * 2);
    }
    Level* l = &ctx->levels[ctx->depth];
    std::memset(&l->data, 0, sizeof l->data);
    l->find = FindFirstFileExW(&ctx->path[0], FindExInfoBasic, &l->data, FindExSearchNameMatch, nullptr,
                               FIND_FIRST_EX_LARGE_FETCH);
    if (l->find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems before Windows 7 know neither the basic level nor large fetches.
        l->find = FindFirstFileExW(&ctx->path[0], FindExInfoStandard, &l->data, FindExSearchNameMatch,
                                   nullptr, 0);
    }
    ctx->pathLen = folderLen;
    ctx->path[folderLen] = L'\0';
    if (l->find == INVALID_HANDLE_VALUE) return false;
    l->pathLen = folderLen;
    l->first = true;
    l->eof = false;
    l->mode = mode;
    ctx->depth++;
    return true;
}

ListContext* Begin(void*) {
    return new (std::nothrow) ListContext();
}

void End(ListContext* ctx) {
    while (ctx->depth > 0) {
        ctx->depth--;
        FindClose(ctx->levels[ctx->depth].find);
    }
    delete ctx;
}

// Turns a path of any shape the program writes (X:, X:\, X:\\dir, \\server\share,
// forward slashes) into its long form without a trailing backslash.
bool PushPath(ListContext* ctx, const char* path, int mode) {
    int wn = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (wn <= 1) return false;
    std::vector<wchar_t> wide(static_cast<size_t>(wn) + 2);
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), wn);
    // A drive alone names its root here, not the drive's current folder.
    if (wn == 3 && wide[1] == L':') {
        wide[2] = L'\\';
        wide[3] = L'\0';
    }
    DWORD fn = GetFullPathNameW(wide.data(), 0, nullptr, nullptr);
    if (fn == 0) return false;
    std::vector<wchar_t> full(fn + 1);
    fn = GetFullPathNameW(wide.data(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (fn == 0 || fn >= full.size()) return false;
    // Doubled backslashes (a folder below a root the browser returned) mean
    // one; the long form takes every character literally.
    size_t w = 2;
    for (size_t r = 2; r < fn; r++) {
        if (full[r] == L'\\' && full[w - 1] == L'\\') continue;
        full[w++] = full[r];
    }
    if (fn >= 2) {
        fn = static_cast<DWORD>(w);
        full[fn] = L'\0';
    }
    const wchar_t* p = full.data();
    size_t saved = ctx->pathLen;
    bool ok;
    if (std::wcsncmp(p, L"\\\\?\\", 4) == 0 || std::wcsncmp(p, L"\\\\.\\", 4) == 0) {
        ok = Append(ctx, p, fn);
    } else if (p[0] == L'\\' && p[1] == L'\\') {
        ok = Append(ctx, L"\\\\?\\UNC\\", 8) && Append(ctx, p + 2, fn - 2);
    } else {
        ok = Append(ctx, L"\\\\?\\", 4) && Append(ctx, p, fn);
    }
    while (ok && ctx->pathLen > saved && ctx->path[ctx->pathLen - 1] == L'\\') {
        ctx->path[--ctx->pathLen] = L'\0';
    }
    ok = ok && OpenTop(ctx, mode);
    if (!ok) {
        ctx->pathLen = saved;
        if (!ctx->path.empty()) ctx->path[saved] = L'\0';
    }
    return ok;
}

bool PushChild(ListContext* ctx, int mode) {
    if (ctx->depth == 0) return false;
    Level* top = &ctx->levels[ctx->depth - 1];
    size_t saved = ctx->pathLen;
    bool ok = Append(ctx, L"\\", 1) && Append(ctx, top->data.cFileName, std::wcslen(top->data.cFileName)) &&
              OpenTop(ctx, mode);
    if (!ok) {
        ctx->pathLen = saved;
        ctx->path[saved] = L'\0';
    }
    return ok;
}

void Pop(ListContext* ctx) {
    if (ctx->depth == 0) return;
    ctx->depth--;
    Level* l = &ctx->levels[ctx->depth];
    FindClose(l->find);
    if (ctx->depth > 0) {
        ctx->pathLen = ctx->levels[ctx->depth - 1].pathLen;
    } else {
        ctx->pathLen = 0;
    }
    ctx->path[ctx->pathLen] = L'\0';
}

bool IsCloudTag(DWORD tag) { return (tag & 0xFFFF0FFFu) == 0x9000001Au; }

bool Next(ListContext* ctx, ListEntry* e) {
    if (ctx->depth == 0) return false;
    Level* l = &ctx->levels[ctx->depth - 1];
    if (l->eof) return false;
    if (l->first) {
        l->first = false;
    } else {
        // Some systems leave the reparse tag unwritten: never read a stale one.
        l->data.dwReserved0 = 0;
        if (!FindNextFileW(l->find, &l->data)) {
            l->eof = true;
            return false;
        }
    }
    const WIN32_FIND_DATAW& d = l->data;
    if (WideCharToMultiByte(CP_ACP, 0, d.cFileName, -1, ctx->name, sizeof ctx->name, nullptr, nullptr) == 0) {
        ctx->name[0] = '?';
        ctx->name[1] = '\0';
    }
    e->name = ctx->name;
    e->bytes = 0;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        bool link = (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsCloudTag(d.dwReserved0);
        e->kind = link ? kListDirLeaf : kListDir;
    } else {
        e->kind = kListFile;
        e->bytes = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    }
    return true;
}

const ListingOps kWin32Listing = {Begin, End, PushPath, PushChild, Next, Pop, nullptr};

}  // namespace

const ListingOps* PlatformListing() { return &kWin32Listing; }

char PathSeparator() { return '\\'; }
