#include "scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "readahead.h"

namespace {

void ClearSummary(FolderSummary* s) {
    s->totalBytes = 0;
    s->fileCount = 0;
    s->dirCount = 0;
    for (LargeFile& f : s->largest) {
        f.name[0] = '\0';
        f.bytes = 0;
    }
}

void AddChild(FolderSummary* parent, const FolderSummary& child) {
    parent->totalBytes += child.totalBytes;
    parent->fileCount += child.fileCount;
    parent->dirCount += child.dirCount + 1;
    MergeRanking(parent->largest, child.largest);
}

bool StopRequested(const ScanEnv& env) {
    return env.stop->load(std::memory_order_relaxed) != 0;
}

// One scan's working state: the summaries of the open levels live on the
// heap, so the depth of a tree is bounded by memory, not by a thread's stack.
// The vector grows only when a walk goes deeper than any before it.
struct Walk {
    const ListingOps* ops;
    ListContext* ctx;
    std::vector<FolderSummary> levels;
    ReadAheadConfig config;
    ListingOps readAhead;
};

// Walks the folder that is already the listing's top and pops it. The order
// of examination is the recursive one: each subfolder's tree is finished
// before the next entry of its parent is looked at.
void WalkTop(Walk* w, const ScanEnv& env, FolderSummary* out) {
    size_t depth = 0;
    if (w->levels.empty()) w->levels.resize(16);
    ClearSummary(&w->levels[0]);
    ListEntry e;
    for (;;) {
        FolderSummary* cur = &w->levels[depth];
        bool more = w->ops->next(w->ctx, &e);
        if (more && IsSkippedName(e.name)) continue;
        if (more && StopRequested(env)) more = false;
        if (!more) {
            w->ops->pop(w->ctx);
            if (depth == 0) break;
            depth--;
            AddChild(&w->levels[depth], *cur);
            continue;
        }
        if (e.kind == kListFile) {
            cur->totalBytes += e.bytes;
            cur->fileCount += 1;
            RankFile(cur->largest, e.name, e.bytes);
        } else if (e.kind == kListDir && w->ops->pushChild(w->ctx, kListFull)) {
            if (depth + 1 >= w->levels.size()) w->levels.resize(w->levels.size() * 2);
            depth++;
            ClearSummary(&w->levels[depth]);
        } else {
            // A leaf folder, or one that cannot be listed: one folder, nothing else.
            cur->dirCount += 1;
        }
    }
    *out = w->levels[0];
}

// A walk of a tree reads ahead on the worker pool unless the caller asked
// for one thread or brought its own listing: a listing of the caller's is
// only ever called from the walk's thread, exactly as without threads.
bool BeginWalk(Walk* w, const ScanEnv& env, bool wholeTree) {
    if (!env.listing && wholeTree && env.threads != 1) {
        w->config.workers = env.threads > 0 ? env.threads : DefaultScanWorkers();
        w->config.stop = env.stop;
        w->readAhead = ReadAheadListing(&w->config);
        w->ops = &w->readAhead;
        w->ctx = w->ops->begin(w->ops->user);
        if (w->ctx) return true;
    }
    w->ops = env.listing ? env.listing : PlatformListing();
    w->ctx = w->ops->begin(w->ops->user);
    return w->ctx != nullptr;
}

// Forms "path<sep>name" into a record name; false when it would not fit.
bool JoinRecordName(char* dst, const char* path, const char* name) {
    int n = std::snprintf(dst, kNameSize, "%s%c%s", path, PathSeparator(), name);
    return n >= 0 && n <= kPathLimit;
}

// The counting and filling passes must agree on which entries are subfolders.
bool IsBreakdownFolder(const ListEntry& e, const char* path) {
    if (e.kind == kListFile || IsSkippedName(e.name)) return false;
    // A subfolder whose path would not fit a record is left out of both passes.
    return std::strlen(path) + 1 + std::strlen(e.name) <= static_cast<size_t>(kPathLimit);
}

}  // namespace

FolderSummary ScanFolderTree(const char* path, const ScanEnv& env) {
    FolderSummary s;
    ClearSummary(&s);
    Walk w;
    if (!BeginWalk(&w, env, true)) return s;
    if (w.ops->pushPath(w.ctx, path, kListFull)) WalkTop(&w, env, &s);
    w.ops->end(w.ctx);
    return s;
}

int32_t CountSubfolders(const char* path, const ScanEnv& env) {
    Walk w;
    if (!BeginWalk(&w, env, false)) return 0;
    int32_t n = 0;
    if (w.ops->pushPath(w.ctx, path, kListKindsOnly)) {
        ListEntry e;
        while (w.ops->next(w.ctx, &e)) {
            if (IsBreakdownFolder(e, path)) n++;
        }
        w.ops->pop(w.ctx);
    }
    w.ops->end(w.ctx);
    return n;
}

Breakdown BuildBreakdown(const char* path, const ScanEnv& env) {
    Breakdown b = {nullptr, 0, 0};
    int32_t n = CountSubfolders(path, env);
    void* (*alloc)(size_t) = env.allocRecords ? env.allocRecords : std::malloc;
    size_t room = static_cast<size_t>(n) + 1;
    if (room <= SIZE_MAX / sizeof(FolderSummary)) {
        b.folders = static_cast<FolderSummary*>(alloc(sizeof(FolderSummary) * room));
    }
    if (!b.folders) {
        // Out of memory: an empty breakdown that publishes and releases like any other.
        b.folders = static_cast<FolderSummary*>(alloc(sizeof(FolderSummary)));
        return b;
    }
    Walk w;
    if (!BeginWalk(&w, env, true)) return b;
    if (w.ops->pushPath(w.ctx, path, kListFull)) {
        ListEntry e;
        while (w.ops->next(w.ctx, &e)) {
            if (!IsBreakdownFolder(e, path)) continue;
            // A folder that appeared after the count finds no room and is left out.
            if (b.folderCount >= n) continue;
            FolderSummary* rec = &b.folders[b.folderCount];
            char name[kNameSize];
            JoinRecordName(name, path, e.name);
            if (e.kind == kListDir && w.ops->pushChild(w.ctx, kListFull)) {
                WalkTop(&w, env, rec);
            } else {
                ClearSummary(rec);
            }
            std::memcpy(rec->name, name, sizeof name);
            rec->shareMille = 0;
            rec->barLeft = 0;
            rec->barRight = 0;
            rec->color = 0;
            b.totalBytes += rec->totalBytes;
            b.folderCount++;
        }
        w.ops->pop(w.ctx);
    }
    w.ops->end(w.ctx);
    return b;
}

FolderSummary ScanFolderTree(const char* path, const StopFlag& stop) {
    ScanEnv env = {&stop, nullptr, nullptr, 0};
    return ScanFolderTree(path, env);
}

int32_t CountSubfolders(const char* path) {
    static const StopFlag never(0);
    ScanEnv env = {&never, nullptr, nullptr, 0};
    return CountSubfolders(path, env);
}

Breakdown BuildBreakdown(const char* path, const StopFlag& stop) {
    ScanEnv env = {&stop, nullptr, nullptr, 0};
    return BuildBreakdown(path, env);
}

void ReleaseFolders(FolderSummary* folders) { std::free(folders); }
