// POSIX listing: every folder is opened relative to its open parent, so no
// path is ever formed and no length limit applies; sizes come from fstatat
// without following links. On Linux the entries are read with getdents64
// into buffers from a small pool, so a walk allocates nothing per folder.
#include "../dirreader.h"
#include "../listing.h"
#include "../summary.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <sys/resource.h>
#ifdef __linux__
#if defined(__has_include)
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define TF_HAVE_OPENAT2 1
#endif
#endif
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#endif

namespace {

// Deeper than this many open folders, the outer ones are closed and reopened
// through ".." on the way back, so a deep tree never runs out of descriptors.
const int kOpenWindow = 64;
const int kBufferSize = 32 * 1024;

struct Level {
    int fd;             // -1 while closed by the window, or after a failed reopen
    dev_t dev;
    ino_t ino;
    int mode;
    bool eof;
#ifdef __linux__
    char* buf;
    int len;
    int pos;
    int64_t resumeOff;  // position after the last entry handed out
#else
    DIR* dir;
#endif
    const char* curName;
    dev_t curDev;
    ino_t curIno;
};

struct PseudoCacheEntry {
    dev_t dev;
    bool pseudo;
};

}  // namespace

struct ListContext {
    std::vector<Level> levels;
    int depth = 0;
    std::vector<char*> freeBuffers;
    PseudoCacheEntry pseudoCache[16];
    int pseudoCount = 0;
};

namespace {

bool IsDotName(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

#ifdef __linux__

const char* const kPseudoTypes[] = {
    "proc",  "sysfs",    "devtmpfs", "devpts", "cgroup",    "cgroup2",  "debugfs",     "tracefs",
    "securityfs", "bpf", "pstore",   "configfs", "fusectl", "mqueue",   "hugetlbfs",   "binfmt_misc",
};

const long kPseudoMagics[] = {
    0x9fa0, 0x62656572, 0x1cd1, 0x27e0eb, 0x63677270, 0x64626720, 0x74726163, 0x73636673,
    static_cast<long>(0xcafe4a11), 0x6165676c, 0x62656570, 0x65735543, 0x19800202,
    static_cast<long>(0x958458f6), 0x42494e4d,
};

bool IsPseudoTypeName(const char* type) {
    for (const char* t : kPseudoTypes) {
        if (std::strcmp(t, type) == 0) return true;
    }
    return false;
}

// Looks the device up in the mount table; 1 pseudo, 0 real, -1 not found.
int PseudoByMountTable(dev_t dev) {
    FILE* f = std::fopen("/proc/self/mountinfo", "re");
    if (!f) return -1;
    char line[4096];
    int result = -1;
    while (result < 0 && std::fgets(line, sizeof line, f)) {
        unsigned maj = 0, mnr = 0;
        if (std::sscanf(line, "%*s %*s %u:%u", &maj, &mnr) != 2) continue;
        if (maj != major(dev) || mnr != minor(dev)) continue;
        const char* sep = std::strstr(line, " - ");
        if (!sep) continue;
        char type[64];
        if (std::sscanf(sep + 3, "%63s", type) != 1) continue;
        result = IsPseudoTypeName(type) ? 1 : 0;
    }
    std::fclose(f);
    return result;
}

bool PseudoByMagicFd(int fd) {
    struct statfs sf;
    bool pseudo = false;
    if (fstatfs(fd, &sf) == 0) {
        for (long m : kPseudoMagics) {
            if (static_cast<long>(sf.f_type) == m) pseudo = true;
        }
    }
    return pseudo;
}

bool PseudoByMagic(int parentFd, const char* name) {
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool pseudo = PseudoByMagicFd(fd);
    close(fd);
    return pseudo;
}

#endif

// Only folders on another device than their parent get here: mount points.
bool IsPseudoFileSystem(ListContext* ctx, dev_t dev, int parentFd, const char* name) {
#ifdef __linux__
    for (int i = 0; i < ctx->pseudoCount; i++) {
        if (ctx->pseudoCache[i].dev == dev) return ctx->pseudoCache[i].pseudo;
    }
    int byTable = PseudoByMountTable(dev);
    bool pseudo = byTable >= 0 ? byTable == 1 : PseudoByMagic(parentFd, name);
    if (ctx->pseudoCount < 16) ctx->pseudoCache[ctx->pseudoCount++] = {dev, pseudo};
    return pseudo;
#else
    (void)ctx; (void)dev; (void)parentFd; (void)name;
    return false;
#endif
}

#ifdef __linux__
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

char* TakeBuffer(ListContext* ctx) {
    if (!ctx->freeBuffers.empty()) {
        char* b = ctx->freeBuffers.back();
        ctx->freeBuffers.pop_back();
        return b;
    }
    return static_cast<char*>(std::malloc(kBufferSize));
}

void GiveBuffer(ListContext* ctx, char* b) {
    if (b) ctx->freeBuffers.push_back(b);
}
#endif

// Makes the level ready to read from its descriptor's current position.
bool AttachStream(ListContext* ctx, Level* l) {
#ifdef __linux__
    l->buf = TakeBuffer(ctx);
    l->len = 0;
    l->pos = 0;
    return l->buf != nullptr;
#else
    (void)ctx;
    int dupFd = dup(l->fd);
    if (dupFd < 0) return false;
    l->dir = fdopendir(dupFd);
    if (!l->dir) {
        close(dupFd);
        return false;
    }
    return true;
#endif
}

void DetachStream(ListContext* ctx, Level* l) {
#ifdef __linux__
    GiveBuffer(ctx, l->buf);
    l->buf = nullptr;
#else
    (void)ctx;
    if (l->dir) closedir(l->dir);
    l->dir = nullptr;
#endif
}

void CloseLevel(ListContext* ctx, Level* l) {
    DetachStream(ctx, l);
    if (l->fd >= 0) close(l->fd);
    l->fd = -1;
}

bool PushFd(ListContext* ctx, int fd, int mode, dev_t dev, ino_t ino) {
    if (ctx->depth >= static_cast<int>(ctx->levels.size())) {
        ctx->levels.resize(ctx->levels.empty() ? 16 : ctx->levels.size() * 2);
    }
    Level* l = &ctx->levels[ctx->depth];
    std::memset(l, 0, sizeof *l);
    l->fd = fd;
    l->dev = dev;
    l->ino = ino;
    l->mode = mode;
    if (!AttachStream(ctx, l)) {
        CloseLevel(ctx, l);
        return false;
    }
    ctx->depth++;
#ifdef __linux__
    // Close the outermost level that left the window; its position stays.
    int old = ctx->depth - 1 - kOpenWindow;
    if (old >= 0 && ctx->levels[old].fd >= 0) CloseLevel(ctx, &ctx->levels[old]);
#endif
    return true;
}

ListContext* Begin(void*) {
    return new (std::nothrow) ListContext();
}

void End(ListContext* ctx) {
    while (ctx->depth > 0) {
        ctx->depth--;
        CloseLevel(ctx, &ctx->levels[ctx->depth]);
    }
#ifdef __linux__
    for (char* b : ctx->freeBuffers) std::free(b);
#endif
    delete ctx;
}

bool PushPath(ListContext* ctx, const char* path, int mode) {
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return false;
    }
    return PushFd(ctx, fd, mode, st.st_dev, st.st_ino);
}

bool PushChild(ListContext* ctx, int mode) {
    if (ctx->depth == 0) return false;
    Level* top = &ctx->levels[ctx->depth - 1];
    if (top->fd < 0 || !top->curName) return false;
    int fd = openat(top->fd, top->curName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    dev_t dev = top->curDev;
    ino_t ino = top->curIno;
    if (ino == 0) {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            close(fd);
            return false;
        }
        dev = st.st_dev;
        ino = st.st_ino;
    }
    return PushFd(ctx, fd, mode, dev, ino);
}

void Pop(ListContext* ctx) {
    if (ctx->depth == 0) return;
    Level* top = &ctx->levels[ctx->depth - 1];
    if (ctx->depth >= 2) {
        Level* parent = &ctx->levels[ctx->depth - 2];
        if (parent->fd < 0 && !parent->eof) {
            // Reopen the parent that the window closed, and make sure it is
            // still the same folder before reading on from where it was.
            bool ok = false;
            int fd = top->fd >= 0 ? openat(top->fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            if (fd >= 0) {
                struct stat st;
                ok = fstat(fd, &st) == 0 && st.st_dev == parent->dev && st.st_ino == parent->ino;
#ifdef __linux__
                ok = ok && lseek(fd, static_cast<off_t>(parent->resumeOff), SEEK_SET) >= 0;
#endif
                if (ok) {
                    parent->fd = fd;
                    ok = AttachStream(ctx, parent);
                    if (!ok) parent->fd = -1;
                }
                if (!ok) close(fd);
            }
            // A folder that moved away meanwhile ends its listing here.
            if (!ok) parent->eof = true;
        }
    }
    CloseLevel(ctx, top);
    ctx->depth--;
}

// Reads the next raw entry of the level: name and type; false at the end.
bool ReadRaw(Level* l, const char** name, unsigned char* type) {
#ifdef __linux__
    if (l->pos >= l->len) {
        long n = syscall(SYS_getdents64, l->fd, l->buf, kBufferSize);
        if (n <= 0) return false;
        l->len = static_cast<int>(n);
        l->pos = 0;
    }
    LinuxDirent64* d = reinterpret_cast<LinuxDirent64*>(l->buf + l->pos);
    l->pos += d->d_reclen;
    l->resumeOff = d->d_off;
    *name = d->d_name;
    *type = d->d_type;
    return true;
#else
    struct dirent* d = readdir(l->dir);
    if (!d) return false;
    *name = d->d_name;
#ifdef DT_UNKNOWN
    *type = d->d_type;
#else
    *type = 0;
#endif
    return true;
#endif
}

bool Next(ListContext* ctx, ListEntry* e) {
    if (ctx->depth == 0) return false;
    Level* l = &ctx->levels[ctx->depth - 1];
    l->curName = nullptr;
    if (l->eof || l->fd < 0) return false;
    for (;;) {
        const char* name;
        unsigned char type;
        if (!ReadRaw(l, &name, &type)) {
            l->eof = true;
            return false;
        }
        e->name = name;
        e->bytes = 0;
        l->curName = name;
        l->curDev = 0;
        l->curIno = 0;
        if (IsDotName(name)) {
            e->kind = kListDirLeaf;
            return true;
        }
        if (l->mode == kListKindsOnly && type != DT_UNKNOWN) {
            e->kind = type == DT_DIR ? kListDir : kListFile;
            return true;
        }
        struct stat st;
        if (fstatat(l->fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // gone since the listing was read
            // Listed but not examinable (no search permission): count it by its type.
            e->kind = type == DT_DIR ? kListDir : kListFile;
            return true;
        }
        if (S_ISDIR(st.st_mode)) {
            l->curDev = st.st_dev;
            l->curIno = st.st_ino;
            bool leaf = st.st_dev != l->dev && IsPseudoFileSystem(ctx, st.st_dev, l->fd, name);
            e->kind = leaf ? kListDirLeaf : kListDir;
        } else {
            e->kind = kListFile;
            e->bytes = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
        }
        return true;
    }
}

const ListingOps kPosixListing = {Begin, End, PushPath, PushChild, Next, Pop, nullptr};

}  // namespace

// ---- Folder reading for the parallel scan ----

struct DirPlace {
    int fd = -1;
    dev_t dev = 0;
    int64_t resumeOff = 0;  // reading position after the last entry delivered
    bool started = false;
    bool seek = false;      // the descriptor's position is past resumeOff
    bool eof = false;
#ifndef __linux__
    DIR* dir = nullptr;
#endif
};

struct DirScratch {
    char buf[16 * 1024];
    int len;  // bytes of names read by ReadPlaceNames
};

struct DirShared {
    std::mutex lock;
    PseudoCacheEntry cache[16];
    int count = 0;
};

namespace {

// Only folders on another device than their parent get here: mount points.
bool IsPseudoShared(DirShared* shared, dev_t dev, int fd) {
#ifdef __linux__
    {
        std::lock_guard<std::mutex> g(shared->lock);
        for (int i = 0; i < shared->count; i++) {
            if (shared->cache[i].dev == dev) return shared->cache[i].pseudo;
        }
    }
    int byTable = PseudoByMountTable(dev);
    bool pseudo = byTable >= 0 ? byTable == 1 : PseudoByMagicFd(fd);
    std::lock_guard<std::mutex> g(shared->lock);
    if (shared->count < 16) shared->cache[shared->count++] = {dev, pseudo};
    return pseudo;
#else
    (void)shared; (void)dev; (void)fd;
    return false;
#endif
}

int OpenFailure() { return errno == EMFILE || errno == ENFILE ? kDirNoHandles : kDirUnlistable; }

#ifdef TF_HAVE_OPENAT2
// Whether the kernel has openat2: -1 not yet known, 0 missing (an old
// kernel, or a filter refuses it), 1 present.
std::atomic<int>& Openat2State() {
    static std::atomic<int> state(-1);
    return state;
}
#endif

}  // namespace

DirShared* NewDirShared() { return new (std::nothrow) DirShared(); }
void DeleteDirShared(DirShared* shared) { delete shared; }
DirPlace* NewDirPlace() { return new (std::nothrow) DirPlace(); }
void DeleteDirPlace(DirPlace* place) {
    ResetPlace(place);
    delete place;
}
DirScratch* NewDirScratch() { return new (std::nothrow) DirScratch(); }
void DeleteDirScratch(DirScratch* scratch) { delete scratch; }

bool DirPlacesUseDescriptors() { return true; }

int DirDescriptorBudget() {
    struct rlimit rl;
    rlim_t soft = 1024;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0) soft = rl.rlim_cur;
    if (soft == RLIM_INFINITY || soft > 4096) soft = 4096;
    int budget = static_cast<int>(soft / 4);
    return budget < 8 ? 8 : budget > 512 ? 512 : budget;
}

int OpenRootPlace(DirShared*, DirPlace* place, const char* path) {
    ResetPlace(place);
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return OpenFailure();
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return kDirUnlistable;
    }
    place->fd = fd;
    place->dev = st.st_dev;
    return kDirOpened;
}

int OpenChildPlace(DirShared* shared, const DirPlace* parent, const char* name, const void*, int,
                   DirPlace* child) {
    if (parent->fd < 0) return kDirUnlistable;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = -1;
    dev_t dev = parent->dev;
    bool checked = false;
#ifdef TF_HAVE_OPENAT2
    // Refusing to cross a mount point spares a stat of every folder: only
    // mount points need their file system looked at.
    if (Openat2State().load(std::memory_order_relaxed) != 0) {
        struct open_how how;
        std::memset(&how, 0, sizeof how);
        how.flags = flags;
        how.resolve = RESOLVE_NO_XDEV;
        fd = static_cast<int>(syscall(SYS_openat2, parent->fd, name, &how, sizeof how));
        if (fd >= 0) {
            Openat2State().store(1, std::memory_order_relaxed);
            checked = true;
        } else if (errno == ENOSYS || errno == EPERM || errno == EINVAL || errno == E2BIG) {
            Openat2State().store(0, std::memory_order_relaxed);
        } else if (errno != EXDEV) {
            return OpenFailure();
        }
    }
#endif
    if (fd < 0) {
        fd = openat(parent->fd, name, flags);
        if (fd < 0) return OpenFailure();
    }
    if (!checked) {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            close(fd);
            return kDirUnlistable;
        }
        if (st.st_dev != parent->dev && IsPseudoShared(shared, st.st_dev, fd)) {
            close(fd);
            return kDirUnlistable;
        }
        dev = st.st_dev;
    }
    if (child->started && !child->eof) {
#ifdef __linux__
        // A reopened listing goes on from where it stopped.
        child->seek = true;
#else
        child->eof = true;
#endif
    }
    child->fd = fd;
    child->dev = dev;
    return kDirOpened;
}

bool PlaceIsOpen(const DirPlace* place) { return place->fd >= 0; }

void ClosePlace(DirPlace* place) {
#ifndef __linux__
    if (place->dir) closedir(place->dir);
    place->dir = nullptr;
#endif
    if (place->fd >= 0) close(place->fd);
    place->fd = -1;
}

void ResetPlace(DirPlace* place) {
    ClosePlace(place);
    place->dev = 0;
    place->resumeOff = 0;
    place->started = false;
    place->seek = false;
    place->eof = false;
}

namespace {

// Kind and size of a listed entry by its stat; false when it is gone since
// the listing was read. An entry that cannot be examined counts as a file of
// size 0.
bool StatEntry(int dirFd, const char* name, int* kind, uint64_t* bytes) {
    *kind = kListFile;
    *bytes = 0;
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno != ENOENT;
    if (S_ISDIR(st.st_mode)) {
        *kind = kListDir;
    } else if (st.st_size > 0) {
        *bytes = static_cast<uint64_t>(st.st_size);
    }
    return true;
}

#ifdef __linux__
// One entry of a batch; false when it is to be left out.
bool ExamineEntry(int dirFd, const LinuxDirent64* d, int* kind, uint64_t* bytes) {
    if (IsSkippedName(d->d_name)) return false;
    if (d->d_type == DT_DIR) {
        *kind = kListDir;  // its own size never counts; whether it can be entered shows when it is opened
        *bytes = 0;
        return true;
    }
    return StatEntry(dirFd, d->d_name, kind, bytes);
}

// The next getdents64 batch of the place, from its reading position; the
// number of bytes read, or 0 at the end of the listing.
long ReadDents(DirPlace* place, DirScratch* scratch) {
    if (place->seek) {
        place->seek = false;
        if (lseek(place->fd, static_cast<off_t>(place->resumeOff), SEEK_SET) < 0) {
            place->eof = true;
            return 0;
        }
    }
    long n = syscall(SYS_getdents64, place->fd, scratch->buf, sizeof scratch->buf);
    if (n <= 0) {
        place->eof = true;
        return 0;
    }
    return n;
}
#endif

}  // namespace

bool ReadPlaceBatch(DirShared*, DirPlace* place, DirScratch* scratch, DirSink* sink) {
    if (place->eof || place->fd < 0) return false;
    place->started = true;
#ifdef __linux__
    long n = ReadDents(place, scratch);
    if (n == 0) return false;
    for (long pos = 0; pos < n;) {
        LinuxDirent64* d = reinterpret_cast<LinuxDirent64*>(scratch->buf + pos);
        pos += d->d_reclen;
        int kind;
        uint64_t bytes;
        if (!ExamineEntry(place->fd, d, &kind, &bytes)) {
            place->resumeOff = d->d_off;
            continue;
        }
        if (!sink->add(sink, d->d_name, static_cast<int>(std::strlen(d->d_name)), nullptr, 0, kind, bytes)) {
            place->seek = true;
            return true;
        }
        place->resumeOff = d->d_off;
    }
    return true;
#else
    (void)scratch;
    if (!place->dir) {
        int dupFd = dup(place->fd);
        if (dupFd < 0 || !(place->dir = fdopendir(dupFd))) {
            if (dupFd >= 0) close(dupFd);
            place->eof = true;
            return false;
        }
    }
    for (int i = 0; i < 256; i++) {
        struct dirent* d = readdir(place->dir);
        if (!d) {
            place->eof = true;
            return false;
        }
        int kind;
        uint64_t bytes;
        if (IsSkippedName(d->d_name) || !StatEntry(place->fd, d->d_name, &kind, &bytes)) continue;
        if (!sink->add(sink, d->d_name, static_cast<int>(std::strlen(d->d_name)), nullptr, 0, kind, bytes)) {
            place->eof = true;  // no way back to the entry here
            return false;
        }
    }
    return true;
#endif
}

const ListingOps* PlatformListing() { return &kPosixListing; }

char PathSeparator() { return '/'; }

#ifdef __linux__
int ReadPlaceNames(DirShared*, DirPlace* place, DirScratch* scratch) {
    scratch->len = 0;
    if (place->eof || place->fd < 0) return 0;
    place->started = true;
    long n = ReadDents(place, scratch);
    if (n == 0) return 0;
    scratch->len = static_cast<int>(n);
    int count = 0;
    for (long pos = 0; pos < n; pos += reinterpret_cast<LinuxDirent64*>(scratch->buf + pos)->d_reclen) count++;
    return count;
}

int CutPlaceNames(const DirScratch* scratch, int per, int* marks, int maxPieces) {
    int pieces = 0;
    int inPiece = 0;
    marks[0] = 0;
    for (int pos = 0; pos < scratch->len;) {
        pos += reinterpret_cast<const LinuxDirent64*>(scratch->buf + pos)->d_reclen;
        if (++inPiece == per && pieces + 1 < maxPieces && pos < scratch->len) {
            marks[++pieces] = pos;
            inPiece = 0;
        }
    }
    marks[++pieces] = scratch->len;
    return pieces;
}

void StatPlaceNames(DirShared*, const DirPlace* place, const DirScratch* scratch, int from, int to,
                    DirSink* sink) {
    if (to > scratch->len) to = scratch->len;
    for (int pos = from; pos < to;) {
        const LinuxDirent64* d = reinterpret_cast<const LinuxDirent64*>(scratch->buf + pos);
        pos += d->d_reclen;
        int kind;
        uint64_t bytes;
        if (!ExamineEntry(place->fd, d, &kind, &bytes)) continue;
        if (!sink->add(sink, d->d_name, static_cast<int>(std::strlen(d->d_name)), nullptr, 0, kind, bytes)) return;
    }
}

void EndPlaceNames(DirPlace* place, const DirScratch* scratch) {
    int last = -1;
    for (int pos = 0; pos < scratch->len; pos += reinterpret_cast<const LinuxDirent64*>(scratch->buf + pos)->d_reclen) {
        last = pos;
    }
    if (last >= 0) place->resumeOff = reinterpret_cast<const LinuxDirent64*>(scratch->buf + last)->d_off;
}
#else
int ReadPlaceNames(DirShared*, DirPlace*, DirScratch*) { return -1; }
int CutPlaceNames(const DirScratch*, int, int* marks, int) {
    marks[0] = marks[1] = 0;
    return 1;
}
void StatPlaceNames(DirShared*, const DirPlace*, const DirScratch*, int, int, DirSink*) {}
void EndPlaceNames(DirPlace*, const DirScratch*) {}
#endif
