// Benchmark driver: scans a folder the way the program does and prints the
// totals, the wall time and the peak memory, one line per run, as key=value
// pairs in a fixed order so that scripts can pick them out.
//
//   tfbench [--threads N] [--repeat K] [--self] [--records] <folder>
//
// By default the folder is broken down into its subfolders (the folder's own
// files count nowhere); --self totals the folder's whole tree instead, which
// is what other disk-usage tools report.
#include "scan.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Totals {
    uint64_t bytes;
    uint64_t files;
    uint64_t dirs;
    uint64_t largest;
    int64_t records;
};

double NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double TimevalMs(const struct timeval& tv) {
    return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
}

void AddSummary(Totals* t, const FolderSummary& s) {
    t->bytes += s.totalBytes;
    t->files += s.fileCount;
    t->dirs += s.dirCount;
    if (s.largest[0].bytes > t->largest) t->largest = s.largest[0].bytes;
}

void PrintRecord(const FolderSummary& s) {
    std::printf("record bytes=%llu files=%lu dirs=%lu largest=%llu name=%s\n",
                static_cast<unsigned long long>(s.totalBytes), static_cast<unsigned long>(s.fileCount),
                static_cast<unsigned long>(s.dirCount),
                static_cast<unsigned long long>(s.largest[0].bytes), s.name);
}

Totals RunOnce(const char* folder, const ScanEnv& env, bool self, bool records) {
    Totals t = {0, 0, 0, 0, 0};
    if (self) {
        FolderSummary s = ScanFolderTree(folder, env);
        AddSummary(&t, s);
        t.records = 1;
        if (records) {
            CopyName(s.name, kNameSize, folder);
            PrintRecord(s);
        }
        return t;
    }
    Breakdown b = BuildBreakdown(folder, env);
    for (int32_t i = 0; i < b.folderCount; i++) {
        AddSummary(&t, b.folders[i]);
        if (records) PrintRecord(b.folders[i]);
    }
    t.records = b.folderCount;
    if (t.bytes != b.totalBytes) {
        std::fprintf(stderr, "tfbench: breakdown total %llu differs from the records' sum %llu\n",
                     static_cast<unsigned long long>(b.totalBytes),
                     static_cast<unsigned long long>(t.bytes));
    }
    ReleaseFolders(b.folders);
    return t;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tfbench [--threads N] [--repeat K] [--self] [--records] <folder>\n"
                 "  --threads N  listing threads (0: the default, 1: single-threaded)\n"
                 "  --repeat K   run the scan K times, one line each\n"
                 "  --self       total the folder's whole tree instead of its breakdown\n"
                 "  --records    also print one line per record\n");
    return 2;
}

bool ParseInt(const char* s, int lo, int* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < lo || v > 1000000) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 0;
    int repeat = 1;
    bool self = false;
    bool records = false;
    const char* folder = nullptr;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (std::strcmp(a, "--threads") == 0 && i + 1 < argc) {
            if (!ParseInt(argv[++i], 0, &threads)) return Usage();
        } else if (std::strcmp(a, "--repeat") == 0 && i + 1 < argc) {
            if (!ParseInt(argv[++i], 1, &repeat)) return Usage();
        } else if (std::strcmp(a, "--self") == 0) {
            self = true;
        } else if (std::strcmp(a, "--records") == 0) {
            records = true;
        } else if (a[0] == '-' && a[1] != '\0') {
            return Usage();
        } else if (!folder) {
            folder = a;
        } else {
            return Usage();
        }
    }
    if (!folder) return Usage();

    // The scan reports nothing about a folder it cannot list; a benchmark of
    // such a folder would time nothing, so say so.
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "tfbench: cannot list %s\n", folder);
        return 1;
    }
    close(fd);

    StopFlag stop(0);
    ScanEnv env = {&stop, nullptr, nullptr, threads};
    for (int r = 0; r < repeat; r++) {
        struct rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        double t0 = NowMs();
        Totals t = RunOnce(folder, env, self, records);
        double wall = NowMs() - t0;
        getrusage(RUSAGE_SELF, &after);
        std::printf("mode=%s threads=%d bytes=%llu files=%llu dirs=%llu records=%lld largest=%llu "
                    "wall_ms=%.1f user_ms=%.1f sys_ms=%.1f maxrss_kb=%ld\n",
                    self ? "self" : "breakdown", threads, static_cast<unsigned long long>(t.bytes),
                    static_cast<unsigned long long>(t.files), static_cast<unsigned long long>(t.dirs),
                    static_cast<long long>(t.records), static_cast<unsigned long long>(t.largest), wall,
                    TimevalMs(after.ru_utime) - TimevalMs(before.ru_utime),
                    TimevalMs(after.ru_stime) - TimevalMs(before.ru_stime), after.ru_maxrss);
        std::fflush(stdout);
    }
    return 0;
}
