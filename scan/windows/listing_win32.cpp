// Win32 listing: FindFirstFileExW with the basic information level and large
// fetches, on long-path forms (\\?\), so neither depth nor path length limits
// a walk. Paths and names pass through the program's 8-bit text (CP_ACP)
// only at the edges; children are opened with their UTF-16 names as listed.
#include "../dirreader.h"
#include "../listing.h"
#include "../summary.h"

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
// forward slashes) into its long form without a trailing backslash, appended
// to out at len.
bool AppendLongPath(std::vector<wchar_t>* out, size_t* len, const char* path);

bool PushPath(ListContext* ctx, const char* path, int mode) {
    size_t saved = ctx->pathLen;
    bool ok = AppendLongPath(&ctx->path, &ctx->pathLen, path) && OpenTop(ctx, mode);
    if (!ok) {
        ctx->pathLen = saved;
        if (!ctx->path.empty()) ctx->path[saved] = L'\0';
    }
    return ok;
}

bool AppendRaw(std::vector<wchar_t>* out, size_t* len, const wchar_t* s, size_t n) {
    size_t need = *len + n + 1;
    if (out->size() < need) {
        size_t size = out->empty() ? 1024 : out->size();
        while (size < need) size *= 2;
        try {
            out->resize(size);
        } catch (...) {
            return false;
        }
    }
    std::memcpy(&(*out)[*len], s, n * sizeof(wchar_t));
    *len += n;
    (*out)[*len] = L'\0';
    return true;
}

bool AppendLongPath(std::vector<wchar_t>* out, size_t* len, const char* path) {
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
    size_t saved = *len;
    bool ok;
    if (std::wcsncmp(p, L"\\\\?\\", 4) == 0 || std::wcsncmp(p, L"\\\\.\\", 4) == 0) {
        ok = AppendRaw(out, len, p, fn);
    } else if (p[0] == L'\\' && p[1] == L'\\') {
        ok = AppendRaw(out, len, L"\\\\?\\UNC\\", 8) && AppendRaw(out, len, p + 2, fn - 2);
    } else {
        ok = AppendRaw(out, len, L"\\\\?\\", 4) && AppendRaw(out, len, p, fn);
    }
    while (ok && *len > saved && (*out)[*len - 1] == L'\\') (*out)[--*len] = L'\0';
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

// ---- Folder reading for the parallel scan ----
// A place is the folder's long path; its listing handle lives only while the
// folder is being read (or waits, half read, for the walk), so no handle is
// held for a folder whose children are still to be opened.

struct DirPlace {
    std::vector<wchar_t> path;  // long path, no trailing backslash
    size_t len = 0;
    bool open = false;
    HANDLE find = INVALID_HANDLE_VALUE;
    bool started = false;
    bool pending = false;  // data holds an entry not yet delivered
    bool eof = false;
    WIN32_FIND_DATAW data;
};

struct DirScratch {
    char name[1024];
};

struct DirShared {
    int unused;
};

DirShared* NewDirShared() { return new (std::nothrow) DirShared(); }
void DeleteDirShared(DirShared* shared) { delete shared; }
DirPlace* NewDirPlace() { return new (std::nothrow) DirPlace(); }
void DeleteDirPlace(DirPlace* place) {
    ResetPlace(place);
    delete place;
}
DirScratch* NewDirScratch() { return new (std::nothrow) DirScratch(); }
void DeleteDirScratch(DirScratch* scratch) { delete scratch; }

bool DirPlacesUseDescriptors() { return false; }
int DirDescriptorBudget() { return 0; }

int OpenRootPlace(DirShared*, DirPlace* place, const char* path) {
    ResetPlace(place);
    place->len = 0;
    if (!AppendLongPath(&place->path, &place->len, path)) return kDirUnlistable;
    place->open = true;
    return kDirOpened;
}

int OpenChildPlace(DirShared*, const DirPlace* parent, const char*, const void* key, int keyLen,
                   DirPlace* child) {
    if (!parent->open || !key || keyLen <= 0) return kDirUnlistable;
    if (child->open) return kDirOpened;
    child->len = 0;
    if (!AppendRaw(&child->path, &child->len, parent->path.data(), parent->len) ||
        !AppendRaw(&child->path, &child->len, L"\\", 1) ||
        !AppendRaw(&child->path, &child->len, static_cast<const wchar_t*>(key),
                   static_cast<size_t>(keyLen) / sizeof(wchar_t))) {
        return kDirUnlistable;
    }
    child->open = true;
    return kDirOpened;
}

bool PlaceIsOpen(const DirPlace* place) { return place->open; }

void ClosePlace(DirPlace* place) {
    // Only a folder whose listing is over is ever closed here.
    if (place->find != INVALID_HANDLE_VALUE) FindClose(place->find);
    place->find = INVALID_HANDLE_VALUE;
    place->open = false;
}

void ResetPlace(DirPlace* place) {
    ClosePlace(place);
    place->len = 0;
    place->started = false;
    place->pending = false;
    place->eof = false;
}

bool ReadPlaceBatch(DirShared*, DirPlace* place, DirScratch* scratch, DirSink* sink) {
    if (place->eof || !place->open) return false;
    if (!place->started) {
        place->started = true;
        size_t folderLen = place->len;
        if (!AppendRaw(&place->path, &place->len, L"\\*", 2)) {
            place->eof = true;
            return false;
        }
        std::memset(&place->data, 0, sizeof place->data);
        place->find = FindFirstFileExW(place->path.data(), FindExInfoBasic, &place->data, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (place->find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) {
            place->find = FindFirstFileExW(place->path.data(), FindExInfoStandard, &place->data,
                                           FindExSearchNameMatch, nullptr, 0);
        }
        place->len = folderLen;
        place->path[folderLen] = L'\0';
        if (place->find == INVALID_HANDLE_VALUE) {
            place->eof = true;
            return false;
        }
        place->pending = true;
    }
    for (int i = 0; i < 256; i++) {
        if (!place->pending) {
            place->data.dwReserved0 = 0;  // some systems leave the tag unwritten
            if (!FindNextFileW(place->find, &place->data)) {
                FindClose(place->find);
                place->find = INVALID_HANDLE_VALUE;
                place->eof = true;
                return false;
            }
            place->pending = true;
        }
        const WIN32_FIND_DATAW& d = place->data;
        if (WideCharToMultiByte(CP_ACP, 0, d.cFileName, -1, scratch->name, sizeof scratch->name, nullptr,
                                nullptr) == 0) {
            scratch->name[0] = '?';
            scratch->name[1] = '\0';
        }
        if (IsSkippedName(scratch->name)) {
            place->pending = false;
            continue;
        }
        int kind = kListFile;
        uint64_t bytes = 0;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            bool link = (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsCloudTag(d.dwReserved0);
            kind = link ? kListDirLeaf : kListDir;
        } else {
            bytes = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
        }
        int keyLen = static_cast<int>(std::wcslen(d.cFileName) * sizeof(wchar_t));
        if (!sink->add(sink, scratch->name, static_cast<int>(std::strlen(scratch->name)), d.cFileName, keyLen,
                       kind, bytes)) {
            return true;  // the pending entry opens the next batch
        }
        place->pending = false;
    }
    return true;
}

const ListingOps* PlatformListing() { return &kWin32Listing; }

char PathSeparator() { return '\\'; }

// Names and sizes come in one step here.
int ReadPlaceNames(DirShared*, DirPlace*, DirScratch*) { return -1; }
int CutPlaceNames(const DirScratch*, int, int* marks, int) {
    marks[0] = marks[1] = 0;
    return 1;
}
void StatPlaceNames(DirShared*, const DirPlace*, const DirScratch*, int, int, DirSink*) {}
void EndPlaceNames(DirPlace*, const DirScratch*) {}
