// Deterministic generator of a synthetic folder tree for the scan benchmarks.
//
//   gentree [--preset 1m|200k] [--files N] [--dirs D] [--top T] [--seed S] [--dry-run] <dir>
//
// The same arguments give the same tree on any machine: the shape comes from
// one seeded generator, and every name and size from a hash of the seed and
// the entry's number. The shape is uneven on purpose: top folders of very
// different weights, a few wide folders with many subfolders, some long
// chains of nested folders, and file counts per folder with a heavy tail.
// Files are sparse (created empty and extended with ftruncate), so a tree of
// terabytes of apparent size costs only its inodes. Everything is created
// relative to the parent's descriptor, so no path is ever resolved twice.
//
// On success one line gives the totals a scan must find, e.g.
//   seed=1 files=1000000 dirs=50000 top=20 bytes=... root_files=25 root_bytes=...
// The folder's whole tree holds `files` files, `dirs` folders and `bytes`
// bytes; its breakdown leaves out the `root_files` files directly in it.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int kMaxDepth = 150;         // below the tree's own folder
const int kMaxPathBytes = 2000;    // relative paths stay far below PATH_MAX for every tool
const int kNameBytes = 240;        // below NAME_MAX with room for an extension
const uint64_t kWeightCap = 20000; // heaviest folder weight; Pareto tail below it

enum HashKind { kDirName = 1, kFileName = 2, kFileSize = 3, kDirWeight = 4 };

uint64_t SplitMix(uint64_t* state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t Hash(uint64_t seed, uint64_t kind, uint64_t index) {
    uint64_t s = seed * 0x9E3779B97F4A7C15ull ^ (kind << 56) ^ index;
    SplitMix(&s);
    return SplitMix(&s);
}

struct Plan {
    uint64_t seed;
    int files;
    int dirs;
    int top;
    std::vector<int> parent;       // -1: the tree's own folder
    std::vector<int> localIndex;   // position among the parent's subfolders
    std::vector<unsigned char> shortName;
    std::vector<int> fileBegin;    // dirs + 1 entries; the root's files come first
    int rootFiles;
    std::vector<int> childBegin;   // dirs + 2 entries over nodes 0 (root) .. dirs
    std::vector<int> children;
    uint64_t bytes;
    uint64_t rootBytes;
    uint64_t largest;
    int maxDepth;
};

const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-. ";
const char* const kWide[] = {"\xC3\xA9", "\xC3\xBC", "\xC3\x9F", "\xE6\x97\xA5", "\xE6\x9C\xAC", "\xE2\x82\xAC"};
const char* const kExtensions[] = {".txt", ".c", ".h", ".so", ".jpg", ".png", ".json", ".log",
                                   ".tar.gz", ".html", ".py", ".mp4", ".o", ".md", ".xml", ".bin"};

void AppendBase36(char* out, int* n, int value) {
    char digits[16];
    int k = 0;
    do {
        int d = value % 36;
        digits[k++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        value /= 36;
    } while (value > 0);
    while (k > 0) out[(*n)++] = digits[--k];
}

// Names are unique within a folder: the position in base 36 comes first and
// ends at a separator that base 36 never uses, '_' for folders and '-' for
// files, so no file can share a name with a folder either.
int MakeName(char* out, uint64_t h, int local, bool folder, bool shortName) {
    int n = 0;
    AppendBase36(out, &n, local);
    out[n++] = folder ? '_' : '-';
    int len;
    uint64_t r = h % 100;
    if (shortName) len = static_cast<int>((h >> 8) % 3);
    else if (r < 70) len = 2 + static_cast<int>((h >> 8) % 14);
    else if (r < 95) len = 16 + static_cast<int>((h >> 8) % 48);
    else len = 64 + static_cast<int>((h >> 8) % 120);
    uint64_t s = h;
    for (int i = 0; i < len && n < kNameBytes - 4; i++) {
        uint64_t c = SplitMix(&s);
        if (c % 40 == 0) {
            const char* w = kWide[(c >> 8) % (sizeof kWide / sizeof kWide[0])];
            size_t wl = std::strlen(w);
            std::memcpy(out + n, w, wl);
            n += static_cast<int>(wl);
        } else {
            out[n++] = kChars[(c >> 8) % (sizeof kChars - 1)];
        }
    }
    if (!folder && !shortName && (h >> 40) % 10 < 7) {
        const char* e = kExtensions[(h >> 44) % (sizeof kExtensions / sizeof kExtensions[0])];
        size_t el = std::strlen(e);
        std::memcpy(out + n, e, el);
        n += static_cast<int>(el);
    }
    out[n] = '\0';
    return n;
}

// Mostly small files on a logarithmic scale up to 16 MiB, some empty ones,
// and two in ten thousand between 256 MiB and 16 GiB.
uint64_t FileSize(uint64_t seed, int k) {
    uint64_t h = Hash(seed, kFileSize, static_cast<uint64_t>(k));
    uint64_t r = h % 10000;
    if (r < 1200) return 0;
    if (r < 9998) {
        int bits = 1 + static_cast<int>((h >> 16) % 24);
        uint64_t base = 1ull << (bits - 1);
        return base + (h >> 24) % base;
    }
    uint64_t base = (256ull << 20) << ((h >> 16) % 7);
    return base + (h >> 24) % base;
}

int PickWeighted(const std::vector<uint64_t>& w, uint64_t total, uint64_t r) {
    uint64_t x = r % total;
    for (size_t i = 0; i < w.size(); i++) {
        if (x < w[i]) return static_cast<int>(i);
        x -= w[i];
    }
    return static_cast<int>(w.size()) - 1;
}

void MakePlan(Plan* p) {
    const int D = p->dirs, T = p->top;
    p->parent.assign(D, -1);
    p->localIndex.assign(D, 0);
    p->shortName.assign(D, 0);
    std::vector<int> depth(D, 1), pathLen(D, 0), topOf(D, 0), childCount(D + 1, 0);
    std::vector<std::vector<int>> members(T);
    uint64_t state = p->seed;
    std::vector<uint64_t> topWeight(T);
    uint64_t topTotal = 0;
    for (int t = 0; t < T; t++) {
        uint64_t r = SplitMix(&state) % 100;
        topWeight[t] = 1 + r * r;
        topTotal += topWeight[t];
    }
    char name[kNameBytes + 32];
    int chainTip = -1, chainLeft = 0;
    for (int i = 0; i < D; i++) {
        int par = -1;
        if (i >= T) {
            if (chainLeft > 0 && depth[chainTip] < kMaxDepth && pathLen[chainTip] < kMaxPathBytes) {
                par = chainTip;
                chainLeft--;
                p->shortName[i] = 1;
            } else {
                chainLeft = 0;
                int t = PickWeighted(topWeight, topTotal, SplitMix(&state));
                const std::vector<int>& m = members[t];
                uint64_t r = SplitMix(&state) % 1000;
                uint64_t pick = SplitMix(&state);
                if (r < 3) {
                    // A long chain of nested folders starts here.
                    chainLeft = 10 + static_cast<int>(pick % 60);
                    par = m[(pick >> 16) % m.size()];
                } else if (r < 200) {
                    // A wide folder: one of the first few of this top folder.
                    size_t hubs = m.size() < 3 ? m.size() : 3;
                    par = m[(pick >> 16) % hubs];
                } else {
                    par = m[(pick >> 16) % m.size()];
                }
                if (depth[par] >= kMaxDepth || pathLen[par] >= kMaxPathBytes) par = t;
            }
        }
        p->parent[i] = par;
        p->localIndex[i] = childCount[par + 1]++;
        int len = MakeName(name, Hash(p->seed, kDirName, static_cast<uint64_t>(i)), p->localIndex[i], true,
                           p->shortName[i] != 0);
        if (par < 0) {
            topOf[i] = i;
            depth[i] = 1;
            pathLen[i] = len;
        } else {
            topOf[i] = topOf[par];
            depth[i] = depth[par] + 1;
            pathLen[i] = pathLen[par] + 1 + len;
        }
        members[topOf[i]].push_back(i);
        if (chainLeft > 0) chainTip = i;
        if (depth[i] > p->maxDepth) p->maxDepth = depth[i];
    }

    // Children lists, by node: 0 is the tree's own folder, i + 1 is folder i.
    p->childBegin.assign(D + 2, 0);
    for (int n = 0; n <= D; n++) p->childBegin[n + 1] = p->childBegin[n] + childCount[n];
    p->children.assign(D, 0);
    std::vector<int> fill(p->childBegin.begin(), p->childBegin.end() - 1);
    for (int i = 0; i < D; i++) p->children[fill[p->parent[i] + 1]++] = i;

    // Files per folder: weights with a heavy tail (most folders hold a few
    // files, a few hold tens of thousands), split exactly with integer sums.
    p->rootFiles = p->files < 25 ? p->files : 25;
    int rest = p->files - p->rootFiles;
    std::vector<uint64_t> weight(D);
    uint64_t wsum = 0;
    for (int i = 0; i < D; i++) {
        uint64_t h = Hash(p->seed, kDirWeight, static_cast<uint64_t>(i));
        weight[i] = kWeightCap / (1 + h % kWeightCap);
        wsum += weight[i];
    }
    p->fileBegin.assign(D + 1, 0);
    uint64_t cum = 0;
    for (int i = 0; i < D; i++) {
        p->fileBegin[i] = p->rootFiles + static_cast<int>(cum * static_cast<uint64_t>(rest) / wsum);
        cum += weight[i];
    }
    p->fileBegin[D] = p->files;

    p->bytes = p->rootBytes = p->largest = 0;
    for (int k = 0; k < p->files; k++) {
        uint64_t s = FileSize(p->seed, k);
        p->bytes += s;
        if (k < p->rootFiles) p->rootBytes += s;
        if (s > p->largest) p->largest = s;
    }
}

bool Fail(const char* what, const char* name) {
    std::fprintf(stderr, "gentree: %s %s: %s\n", what, name, std::strerror(errno));
    return false;
}

bool MakeFiles(const Plan& p, int fd, int begin, int end) {
    char name[kNameBytes + 32];
    for (int k = begin; k < end; k++) {
        MakeName(name, Hash(p.seed, kFileName, static_cast<uint64_t>(k)), k - begin, false, false);
        uint64_t size = FileSize(p.seed, k);
        if (size == 0) {
            if (mknodat(fd, name, S_IFREG | 0644, 0) != 0) return Fail("cannot create", name);
            continue;
        }
        int f = openat(fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (f < 0) return Fail("cannot create", name);
        bool ok = ftruncate(f, static_cast<off_t>(size)) == 0;
        close(f);
        if (!ok) return Fail("cannot size", name);
    }
    return true;
}

struct Open {
    int node;  // 0: the tree's own folder, i + 1: folder i
    int fd;
    int next;  // next index into children
};

bool Create(const Plan& p, int rootFd) {
    if (!MakeFiles(p, rootFd, 0, p.rootFiles)) return false;
    std::vector<Open> stack;
    stack.push_back({0, rootFd, p.childBegin[0]});
    char name[kNameBytes + 32];
    bool ok = true;
    while (!stack.empty()) {
        Open& top = stack.back();
        if (!ok || top.next >= p.childBegin[top.node + 1]) {
            if (top.node != 0) close(top.fd);
            stack.pop_back();
            continue;
        }
        int d = p.children[top.next++];
        MakeName(name, Hash(p.seed, kDirName, static_cast<uint64_t>(d)), p.localIndex[d], true, p.shortName[d] != 0);
        if (mkdirat(top.fd, name, 0755) != 0) {
            ok = Fail("cannot create folder", name);
            continue;
        }
        int fd = openat(top.fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            ok = Fail("cannot open folder", name);
            continue;
        }
        ok = MakeFiles(p, fd, p.fileBegin[d], p.fileBegin[d + 1]);
        stack.push_back({d + 1, fd, p.childBegin[d + 1]});
    }
    return ok;
}

bool IsEmptyFolder(const char* path) {
    DIR* d = opendir(path);
    if (!d) return false;
    bool empty = true;
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(d);
    return empty;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: gentree [--preset 1m|200k] [--files N] [--dirs D] [--top T] [--seed S] [--dry-run] <dir>\n"
                 "  1m: 1,000,000 files in 50,000 folders; 200k: 200,000 files in 10,000 folders;\n"
                 "  both under 20 top folders. <dir> must be absent or empty.\n");
    return 2;
}

bool ParseNumber(const char* s, long long lo, long long hi, long long* out) {
    char* end = nullptr;
    long long v = std::strtoll(s, &end, 10);
    if (end == s || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    long long files = 1000000, dirs = 50000, top = 20, seed = 1;
    bool dryRun = false;
    const char* dir = nullptr;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        bool more = i + 1 < argc;
        if (std::strcmp(a, "--preset") == 0 && more) {
            const char* v = argv[++i];
            if (std::strcmp(v, "1m") == 0) { files = 1000000; dirs = 50000; top = 20; }
            else if (std::strcmp(v, "200k") == 0) { files = 200000; dirs = 10000; top = 20; }
            else return Usage();
        } else if (std::strcmp(a, "--files") == 0 && more) {
            if (!ParseNumber(argv[++i], 0, 100000000, &files)) return Usage();
        } else if (std::strcmp(a, "--dirs") == 0 && more) {
            if (!ParseNumber(argv[++i], 1, 1000000, &dirs)) return Usage();
        } else if (std::strcmp(a, "--top") == 0 && more) {
            if (!ParseNumber(argv[++i], 1, 10000, &top)) return Usage();
        } else if (std::strcmp(a, "--seed") == 0 && more) {
            if (!ParseNumber(argv[++i], 0, 1ll << 62, &seed)) return Usage();
        } else if (std::strcmp(a, "--dry-run") == 0) {
            dryRun = true;
        } else if (a[0] == '-' || dir) {
            return Usage();
        } else {
            dir = a;
        }
    }
    if (!dir || top > dirs) return Usage();

    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    Plan p;
    p.seed = static_cast<uint64_t>(seed);
    p.files = static_cast<int>(files);
    p.dirs = static_cast<int>(dirs);
    p.top = static_cast<int>(top);
    p.maxDepth = 0;
    MakePlan(&p);

    if (!dryRun) {
        if (mkdir(dir, 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "gentree: cannot create %s: %s\n", dir, std::strerror(errno));
            return 1;
        }
        if (!IsEmptyFolder(dir)) {
            std::fprintf(stderr, "gentree: %s is not an empty folder\n", dir);
            return 1;
        }
        int rootFd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (rootFd < 0) {
            std::fprintf(stderr, "gentree: cannot open %s: %s\n", dir, std::strerror(errno));
            return 1;
        }
        bool ok = Create(p, rootFd);
        close(rootFd);
        if (!ok) return 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    double ms = static_cast<double>(t1.tv_sec - t0.tv_sec) * 1e3 + static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e6;
    std::printf("seed=%llu files=%d dirs=%d top=%d bytes=%llu root_files=%d root_bytes=%llu largest=%llu "
                "max_depth=%d wall_ms=%.0f\n",
                static_cast<unsigned long long>(p.seed), p.files, p.dirs, p.top,
                static_cast<unsigned long long>(p.bytes), p.rootFiles,
                static_cast<unsigned long long>(p.rootBytes), static_cast<unsigned long long>(p.largest),
                p.maxDepth, ms);
    return 0;
}
