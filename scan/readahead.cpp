// The read-ahead listing: worker threads list the folders that the walk will
// reach next, in the order it will reach them, into a bounded set of reused
// buffers; the walk consumes a listing that is ready, waits for one that is
// being read, or reads the folder itself when no worker has got to it.
//
// Every folder in flight is a Node. A node's entries are records in a chain
// of fixed-size chunks; the lister appends records and publishes them under
// the scan's lock, the walk reads published records without the lock. The
// nodes form the part of the tree between the walk and the read-ahead: the
// walk's open folders and, below and after them, the folders listed ahead.
// A worker looking for work takes the first folder in depth-first order
// that nobody has opened yet ("the scout"), so the read-ahead runs in the
// walk's own order. Limits on chunks, nodes and descriptors bound the memory
// and handles of a scan whatever the size of the tree; only the folder the
// walk is reading may go past them, so the walk never waits on a full pool.
//
// When the walk leaves a folder (at its end, or early after a stop), every
// node below it is dropped with its buffers: what was read ahead and not
// consumed is thrown away.
#include "readahead.h"

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "dirreader.h"
#include "summary.h"

namespace {

const int kChunkBytes = 4096;
const int kChunkCap = 768;  // chunks the read-ahead of one scan may hold: 3 MiB
const int kNodeCap = 768;   // folders in flight beyond the walk's own
const int kAheadInFolder = 64;  // chunks read ahead in the walk's own folder
const int kChunkBlock = 16;
const int kNodeBlock = 32;
const int kMaxPoolThreads = 64;
const int kOpenMax = 528;   // a name (POSIX) or a UTF-16 key (Windows) for reopening
const int kSplitFrom = 96;  // a batch of more names than this shares its stats out
const int kPieceNames = 48;
const int kMaxPieces = 16;
const int kSplits = 8;      // batches of one scan shared out at once

struct Node;

struct Chunk {
    Chunk* next;
    int used;  // bytes of records published (scan lock)
    int fill;  // bytes written by the lister (lister only)
    alignas(8) char data[kChunkBytes - 16];
};

// One entry; the name (NUL-terminated) and the key follow the header.
struct Rec {
    uint64_t bytes;
    Node* child;  // the node of a folder entry once someone opened it (scan lock)
    uint16_t size;
    uint16_t nameLen;
    uint16_t keyLen;
    uint8_t kind;
    uint8_t pad;
};

inline const char* RecName(const Rec* r) { return reinterpret_cast<const char*>(r + 1); }
inline const void* RecKey(const Rec* r) { return RecName(r) + r->nameLen + 1; }
inline int RecSize(int nameLen, int keyLen) {
    return static_cast<int>((sizeof(Rec) + static_cast<size_t>(nameLen) + 1 + static_cast<size_t>(keyLen) + 7) &
                            ~static_cast<size_t>(7));
}

enum NodeState {
    kOpening,  // a worker is opening it
    kIdle,     // open (or closed to save descriptors) and not being read; more may follow
    kListing,  // a lister is reading it
    kDone,     // every entry published
    kFailed,   // cannot be listed
    kRetry,    // a worker ran out of descriptors; the walk opens it
};

struct Node {
    Node* parent;  // null for a folder opened by path
    DirPlace* place;
    int state;
    bool walkLists;   // the lister (or opener) is the walk, not a worker
    bool head;        // the walk's current folder
    bool dropped;     // left by the walk: freed by the last worker using it
    bool busyPlace;   // the walk is reopening it: nobody else touches the place
    bool inScout;
    bool inIdle;
    int fdUsers;       // threads opening children through its place
    int unopenedDirs;  // published folder entries that have no node yet
    Chunk* first;
    Chunk* last;
    int chunks;  // in the chain
    // The scout's position: the next record to look at for read-ahead.
    Chunk* handChunk;
    int handOff;
    // Children: all live ones (for dropping) and those the scout still visits.
    Node* kidsFirst;
    Node* kidsLast;
    Node* kidPrev;
    Node* kidNext;
    Node* scoutFirst;
    Node* scoutLast;
    Node* scoutPrev;
    Node* scoutNext;
    // Open places that nobody uses, oldest first: closed when descriptors run short.
    Node* idlePrev;
    Node* idleNext;
    // The walk's reading position (walk only).
    Chunk* cur;
    int curOff;
    int curUsed;
    Rec* curRec;
    bool curEntered;
    Node* below;  // the walk's previous top, for a folder opened by path
    Node* freeNext;
    int openLen;
    bool openIsKey;
    char open[kOpenMax];
};

// One piece of a shared batch: the entries between two marks, read into a
// chain of its own that the batch's reader links in order.
struct Piece {
    Chunk* first;
    Chunk* last;
    int chunks;
    int dirs;
};

struct Split {
    bool inUse;
    Node* node;
    DirScratch* scratch;
    int count;  // pieces
    int next;   // the first piece nobody took
    int done;
    int marks[kMaxPieces + 1];
    Piece pieces[kMaxPieces];
};

struct Scan;

struct Pool {
    std::mutex lock;
    std::condition_variable cv;
    int threads = 0;
    std::atomic<int> idle{0};
    std::atomic<int> ringSize{0};
    Scan* ring = nullptr;
};

struct Scan {
    std::mutex lock;
    std::condition_variable walkCv;
    std::condition_variable splitCv;
    Split splits[kSplits] = {};
    int splitsOpen = 0;  // splits with pieces nobody took
    const std::atomic<unsigned char>* stop;
    std::atomic<bool> abandon{false};
    int limit;
    DirShared* shared;
    DirScratch* scratch;
    std::vector<void*> blocks;
    std::vector<Node*> chain;
    Chunk* freeChunks = nullptr;
    int chunksInUse = 0;
    Node* freeNodes = nullptr;
    int nodesInUse = 0;
    bool countFds;
    int fdOpen = 0;
    int fdBudget;
    int opening = 0;
    Node* idleFirst = nullptr;
    Node* idleLast = nullptr;
    Node* root = nullptr;
    Node* top = nullptr;
    int inflight = 0;
    int availableDirs = 0;
    int dirsSeen = 0;
    bool starved = true;  // no worker is looking for work in it
    bool walkWaiting = false;
    Node* waitFor = nullptr;   // the node the walk waits for
    bool waitNews = false;     // it has published something since
    int doneSinceWait = 0;     // folders finished meanwhile
    // Pool side (pool lock).
    Scan* ringPrev = nullptr;
    Scan* ringNext = nullptr;
    bool inRing = false;
    bool wants = false;
    unsigned kickGen = 0;
    int running = 0;
    bool ending = false;
    std::condition_variable poolDone;
};

Pool& ThePool() {
    // Never destroyed: workers may still be waiting in it while the process exits.
    static Pool* pool = new Pool();
    return *pool;
}

typedef std::unique_lock<std::mutex> Guard;

// The scan's lock is held for a few hundred instructions at a time: a short
// spin spares most of the sleeps and wake-ups of a contended mutex.
void Acquire(Guard& g) {
    for (int i = 0; i < 40; i++) {
        if (g.try_lock()) return;
        if (i >= 24) std::this_thread::yield();  // the holder may be waiting for a core
    }
    g.lock();
}

// ---- Pool ----

void WorkerMain();

Scan* PickScan(Pool& p) {
    Scan* s = p.ring;
    if (!s) return nullptr;
    do {
        if (s->wants && !s->ending && s->running < s->limit) {
            p.ring = s->ringNext;  // the next pick starts after this one: fair turns
            return s;
        }
        s = s->ringNext;
    } while (s != p.ring);
    return nullptr;
}

// Tells the pool that the scan may have work. Called with the scan's lock held.
void Kick(Scan* s) {
    Pool& p = ThePool();
    std::lock_guard<std::mutex> g(p.lock);
    if (s->ending) return;
    s->kickGen++;
    s->wants = true;
    if (!s->inRing) {
        if (p.ring) {
            s->ringNext = p.ring;
            s->ringPrev = p.ring->ringPrev;
            s->ringPrev->ringNext = s;
            p.ring->ringPrev = s;
        } else {
            s->ringNext = s->ringPrev = s;
            p.ring = s;
        }
        s->inRing = true;
        p.ringSize++;
    }
    if (s->running >= s->limit) return;
    if (p.idle.load(std::memory_order_relaxed) > 0) {
        p.cv.notify_one();
    } else if (p.threads < kMaxPoolThreads && p.threads < s->limit) {
        try {
            std::thread(WorkerMain).detach();
            p.threads++;
        } catch (...) {
            // No thread to be had: the walk reads everything itself.
        }
    }
}

void LeaveRing(Pool& p, Scan* s) {
    if (!s->inRing) return;
    if (s->ringNext == s) {
        p.ring = nullptr;
    } else {
        s->ringPrev->ringNext = s->ringNext;
        s->ringNext->ringPrev = s->ringPrev;
        if (p.ring == s) p.ring = s->ringNext;
    }
    s->inRing = false;
    p.ringSize--;
}

// ---- Memory ----

// Registers a new block for release with the scan; null if it could not be had.
void* KeepBlock(Scan* s, void* block) {
    if (!block) return nullptr;
    try {
        s->blocks.push_back(block);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return block;
}

Chunk* TakeChunk(Scan* s) {
    if (!s->freeChunks) {
        Chunk* block = static_cast<Chunk*>(KeepBlock(s, std::malloc(sizeof(Chunk) * kChunkBlock)));
        if (!block) return nullptr;
        for (int i = 0; i < kChunkBlock; i++) {
            block[i].next = s->freeChunks;
            s->freeChunks = &block[i];
        }
    }
    Chunk* c = s->freeChunks;
    s->freeChunks = c->next;
    c->next = nullptr;
    c->used = 0;
    c->fill = 0;
    s->chunksInUse++;
    return c;
}

void GiveChunk(Scan* s, Chunk* c) {
    c->next = s->freeChunks;
    s->freeChunks = c;
    s->chunksInUse--;
}

Node* TakeNode(Scan* s) {
    if (!s->freeNodes) {
        Node* block = static_cast<Node*>(KeepBlock(s, std::calloc(kNodeBlock, sizeof(Node))));
        if (!block) return nullptr;
        for (int i = 0; i < kNodeBlock; i++) {
            block[i].place = NewDirPlace();
            if (!block[i].place) continue;  // an unusable slot
            block[i].freeNext = s->freeNodes;
            s->freeNodes = &block[i];
        }
        if (!s->freeNodes) return nullptr;
    }
    Node* n = s->freeNodes;
    s->freeNodes = n->freeNext;
    DirPlace* place = n->place;
    std::memset(static_cast<void*>(n), 0, offsetof(Node, open));
    n->place = place;
    s->nodesInUse++;
    return n;
}

// ---- Lists ----

void IdleRemove(Scan* s, Node* n) {
    if (!n->inIdle) return;
    (n->idlePrev ? n->idlePrev->idleNext : s->idleFirst) = n->idleNext;
    (n->idleNext ? n->idleNext->idlePrev : s->idleLast) = n->idlePrev;
    n->idlePrev = n->idleNext = nullptr;
    n->inIdle = false;
}

void ClosePlaceOf(Scan* s, Node* n) {
    IdleRemove(s, n);
    if (PlaceIsOpen(n->place)) {
        ClosePlace(n->place);
        if (s->countFds) s->fdOpen--;
    }
}

// Keeps the idle list right after a node's state changed.
void UpdateIdle(Scan* s, Node* n) {
    bool idle = s->countFds && n != s->root && !n->dropped && !n->busyPlace && n->fdUsers == 0 &&
                (n->state == kIdle || n->state == kDone) && PlaceIsOpen(n->place);
    if (idle == n->inIdle) return;
    if (!idle) {
        IdleRemove(s, n);
        return;
    }
    n->idlePrev = s->idleLast;
    n->idleNext = nullptr;
    (s->idleLast ? s->idleLast->idleNext : s->idleFirst) = n;
    s->idleLast = n;
    n->inIdle = true;
}

// Closes a place that no child will be opened through any more.
void SettlePlace(Scan* s, Node* n) {
    if (n != s->root && !n->dropped && n->fdUsers == 0 && !n->busyPlace &&
        (n->state == kDone || n->state == kFailed) && n->unopenedDirs == 0) {
        ClosePlaceOf(s, n);
        return;
    }
    UpdateIdle(s, n);
}

// Descriptors ran short: close the places idle longest; they are reopened
// through their parents if the walk needs them again.
void RelieveDescriptors(Scan* s, int keep) {
    while (s->countFds && s->fdOpen > keep && s->idleFirst) ClosePlaceOf(s, s->idleFirst);
}

void LinkChild(Node* parent, Node* n) {
    n->parent = parent;
    n->kidPrev = parent->kidsLast;
    (parent->kidsLast ? parent->kidsLast->kidNext : parent->kidsFirst) = n;
    parent->kidsLast = n;
    n->scoutPrev = parent->scoutLast;
    (parent->scoutLast ? parent->scoutLast->scoutNext : parent->scoutFirst) = n;
    parent->scoutLast = n;
    n->inScout = true;
}

void ScoutUnlink(Node* n) {
    if (!n->inScout) return;
    Node* p = n->parent;
    (n->scoutPrev ? n->scoutPrev->scoutNext : p->scoutFirst) = n->scoutNext;
    (n->scoutNext ? n->scoutNext->scoutPrev : p->scoutLast) = n->scoutPrev;
    n->scoutPrev = n->scoutNext = nullptr;
    n->inScout = false;
}

void Unlink(Node* n) {
    Node* p = n->parent;
    if (!p) return;
    ScoutUnlink(n);
    (n->kidPrev ? n->kidPrev->kidNext : p->kidsFirst) = n->kidNext;
    (n->kidNext ? n->kidNext->kidPrev : p->kidsLast) = n->kidPrev;
    n->kidPrev = n->kidNext = nullptr;
    n->parent = nullptr;
}

bool WorkerHolds(const Node* n) {
    return n->fdUsers > 0 || ((n->state == kListing || n->state == kOpening) && !n->walkLists);
}

void Recycle(Scan* s, Node* n) {
    for (Chunk* c = n->first; c;) {
        Chunk* next = c->next;
        GiveChunk(s, c);
        c = next;
    }
    n->first = n->last = nullptr;
    ClosePlaceOf(s, n);
    ResetPlace(n->place);
    s->availableDirs -= n->unopenedDirs;
    n->freeNext = s->freeNodes;
    s->freeNodes = n;
    s->nodesInUse--;
}

// Frees a node and everything below it, or leaves the freeing to the
// workers still using them.
void Drop(Scan* s, Node* n) {
    while (n->kidsFirst) Drop(s, n->kidsFirst);
    Unlink(n);
    n->head = false;
    if (WorkerHolds(n)) {
        n->dropped = true;
        IdleRemove(s, n);
        return;
    }
    Recycle(s, n);
}

// A worker is done with a node: free it if the walk has let go of it.
void ReleaseByWorker(Scan* s, Node* n) {
    if (n->dropped) {
        if (!WorkerHolds(n)) Recycle(s, n);
        return;
    }
    SettlePlace(s, n);
}

// ---- Publishing ----

bool Stopped(const Scan* s) { return s->stop->load(std::memory_order_relaxed) != 0; }

bool ReadAheadFull(const Scan* s, int percent) {
    return s->chunksInUse * 100 >= kChunkCap * percent || s->nodesInUse * 100 >= kNodeCap * percent ||
           (s->countFds && (s->fdOpen + s->opening) * 100 >= s->fdBudget * percent);
}

bool Stopped(const Scan* s);
bool ReadAheadFull(const Scan* s, int percent);

// The walk is woken when what it waits for is there, and then only once a
// few more folders are ready or nothing else is coming: each wake-up then
// pays for many folders, not one.
void MaybeWakeWalk(Scan* s) {
    if (!s->walkWaiting) return;
    Node* w = s->waitFor;
    bool ready = !w || s->waitNews || (w->state != kListing && w->state != kOpening);
    if (!ready) return;
    if (s->doneSinceWait >= 8 || s->inflight <= 1 || ReadAheadFull(s, 90) || s->availableDirs <= 0 ||
        Stopped(s)) {
        s->walkCv.notify_one();
    }
}

void WakeWalk(Scan* s, Node* n) {
    if (!s->walkWaiting) return;
    if (n == s->waitFor) s->waitNews = true;
    MaybeWakeWalk(s);
}

void WalkWait(Scan* s, Node* n, Guard& g) {
    s->walkWaiting = true;
    s->waitFor = n;
    s->waitNews = false;
    s->doneSinceWait = 0;
    s->walkCv.wait(g);
    s->walkWaiting = false;
    s->waitFor = nullptr;
}

// Work may have appeared: wake a worker if some are waiting for it.
void Offer(Scan* s) {
    if (!s->starved || s->inflight >= s->limit || Stopped(s)) return;
    if (s->dirsSeen < 2) return;  // a tiny folder starts no thread
    s->starved = false;
    Kick(s);
}

struct Lister {
    DirSink sink;
    Scan* s;
    Node* n;
    Piece* piece;  // a piece's own chain instead of the node's
    int dirs;
    int count;  // entries taken since the last publication
    bool failed;
    bool mayAbandon;  // a worker's read-ahead, not the walk's own reading
};

// Makes the records written so far visible. Scan lock held.
void Publish(Lister* l) {
    Node* n = l->n;
    if (n->last) n->last->used = n->last->fill;
    if (l->dirs) {
        n->unopenedDirs += l->dirs;
        l->s->availableDirs += l->dirs;
        l->s->dirsSeen += l->dirs;
        l->dirs = 0;
    }
}

bool SinkAdd(DirSink* sink, const char* name, int nameLen, const void* key, int keyLen, int kind,
             uint64_t bytes) {
    Lister* l = reinterpret_cast<Lister*>(sink);
    Scan* s = l->s;
    if (l->failed) return true;
    // An ended walk wants nothing more.
    if (l->mayAbandon && s->abandon.load(std::memory_order_relaxed)) return false;
    if (nameLen > 0xFFFF - 1 || keyLen > 0xFFFF) return true;
    int need = RecSize(nameLen, keyLen);
    if (need > static_cast<int>(sizeof(Chunk::data))) {
        // No name of any file system is this long; ends the listing here.
        l->failed = true;
        return true;
    }
    Node* n = l->n;
    Piece* piece = l->piece;
    Chunk* c = piece ? piece->last : n->last;
    if (!c || c->fill + need > static_cast<int>(sizeof c->data)) {
        Guard g(s->lock, std::defer_lock);
        Acquire(g);
        Chunk* fresh = TakeChunk(s);
        if (!fresh) {
            l->failed = true;  // out of memory: the listing ends as if complete
            return true;
        }
        if (piece) {
            (c ? c->next : piece->first) = fresh;
            piece->last = fresh;
            piece->chunks++;
        } else {
            Publish(l);
            (c ? c->next : n->first) = fresh;
            n->last = fresh;
            n->chunks++;
            WakeWalk(s, n);
        }
        c = fresh;
    }
    Rec* r = reinterpret_cast<Rec*>(c->data + c->fill);
    r->bytes = bytes;
    r->child = nullptr;
    r->size = static_cast<uint16_t>(need);
    r->nameLen = static_cast<uint16_t>(nameLen);
    r->keyLen = static_cast<uint16_t>(keyLen);
    r->kind = static_cast<uint8_t>(kind);
    r->pad = 0;
    char* p = reinterpret_cast<char*>(r + 1);
    std::memcpy(p, name, static_cast<size_t>(nameLen));
    p[nameLen] = '\0';
    if (keyLen) std::memcpy(p + nameLen + 1, key, static_cast<size_t>(keyLen));
    c->fill += need;
    l->count++;
    if (kind == kListDir) l->dirs++;
    return true;
}

void InitLister(Lister* l, Scan* s, Node* n, Piece* piece, bool mayAbandon) {
    l->sink.add = SinkAdd;
    l->s = s;
    l->n = n;
    l->piece = piece;
    l->dirs = 0;
    l->count = 0;
    l->failed = false;
    l->mayAbandon = mayAbandon;
}

void RunPiece(Scan* s, Split* sp, int i) {
    Piece* piece = &sp->pieces[i];
    Lister l;
    InitLister(&l, s, sp->node, piece, true);
    StatPlaceNames(s->shared, sp->node->place, sp->scratch, sp->marks[i], sp->marks[i + 1], &l.sink);
    piece->dirs = l.dirs;
}

void Offer(Scan* s);

// Reads the sizes of a large batch of names with whichever workers come to
// help, then links the pieces into the node in listing order. Called and
// returns without the scan's lock.
void ShareBatch(Scan* s, Node* n, DirScratch* scratch, Lister* l, Guard& g) {
    Acquire(g);
    Split* sp = nullptr;
    for (Split& x : s->splits) {
        if (!x.inUse) {
            sp = &x;
            break;
        }
    }
    if (!sp) {
        g.unlock();
        StatPlaceNames(s->shared, n->place, scratch, 0, 1 << 30, &l->sink);
        return;
    }
    // The node's own records so far come first.
    if (n->last) n->last->used = n->last->fill;
    sp->inUse = true;
    sp->node = n;
    sp->scratch = scratch;
    sp->count = CutPlaceNames(scratch, kPieceNames, sp->marks, kMaxPieces);
    sp->next = 0;
    sp->done = 0;
    for (int i = 0; i < sp->count; i++) sp->pieces[i] = Piece{nullptr, nullptr, 0, 0};
    s->splitsOpen++;
    s->starved = true;
    Offer(s);
    while (sp->next < sp->count) {
        int i = sp->next++;
        if (sp->next == sp->count) s->splitsOpen--;
        g.unlock();
        RunPiece(s, sp, i);
        Acquire(g);
        sp->done++;
    }
    while (sp->done < sp->count) s->splitCv.wait(g);
    for (int i = 0; i < sp->count; i++) {
        Piece* p = &sp->pieces[i];
        if (!p->first) continue;
        for (Chunk* c = p->first; c; c = c->next) c->used = c->fill;
        (n->last ? n->last->next : n->first) = p->first;
        n->last = p->last;
        n->chunks += p->chunks;
        l->dirs += p->dirs;
    }
    sp->inUse = false;
    g.unlock();
}

// One batch of the node, without the scan's lock; false at the end.
bool ReadRound(Scan* s, Node* n, DirScratch* scratch, Lister* l, Guard& g) {
    int names = ReadPlaceNames(s->shared, n->place, scratch);
    if (names < 0) return ReadPlaceBatch(s->shared, n->place, scratch, &l->sink);
    if (names == 0) return false;
    if (names > kSplitFrom && s->limit > 1) {
        ShareBatch(s, n, scratch, l, g);
    } else {
        StatPlaceNames(s->shared, n->place, scratch, 0, 1 << 30, &l->sink);
    }
    EndPlaceNames(n->place, scratch);
    return true;
}

// Reads the node batch by batch. Scan lock held on entry and on return.
// With `from`, a worker first opens the node (state kOpening) through that
// folder, its parent. The walk reads one round; a worker goes on to the end
// unless the walk has moved on and the read-ahead is full.
void ListBatches(Scan* s, Node* n, DirScratch* scratch, Guard& g, bool once, Node* from) {
    Lister l;
    InitLister(&l, s, n, nullptr, !n->walkLists);
    for (;;) {
        g.unlock();
        int r = kDirOpened;
        if (from) {
            r = OpenChildPlace(s->shared, from->place, n->openIsKey ? "" : n->open, n->openIsKey ? n->open : nullptr,
                               n->openIsKey ? n->openLen : 0, n->place);
        }
        bool more = false;
        if (r == kDirOpened) {
            more = ReadRound(s, n, scratch, &l, g);
            // A small folder mostly ends with its first batch: the next read
            // says so without a round through the lock in between.
            if (more && l.count < 128 && !l.failed) more = ReadRound(s, n, scratch, &l, g);
        }
        Acquire(g);
        if (from) {
            s->opening--;
            if (r == kDirOpened && s->countFds) s->fdOpen++;
            from->fdUsers--;
            ReleaseByWorker(s, from);
            from = nullptr;
            if (r != kDirOpened) {
                if (n->dropped) {
                    n->state = kDone;
                    ReleaseByWorker(s, n);
                } else {
                    n->state = r == kDirNoHandles ? kRetry : kFailed;
                    WakeWalk(s, n);
                }
                return;
            }
            RelieveDescriptors(s, s->fdBudget);
        }
        Publish(&l);
        l.count = 0;
        if (l.failed) more = false;
        if (n->dropped && !n->walkLists) {
            n->state = kDone;
            ReleaseByWorker(s, n);
            return;
        }
        n->state = more ? kListing : kDone;
        if (!more) s->doneSinceWait++;
        WakeWalk(s, n);
        if (s->availableDirs > 0) Offer(s);
        if (!more) break;
        // The walk's own folder may go past the read-ahead's limits (the walk
        // never waits on them), but not by more than its own share.
        if (once || (n->head ? n->chunks >= kAheadInFolder : ReadAheadFull(s, 100)) ||
            s->abandon.load(std::memory_order_relaxed) || Stopped(s)) {
            n->state = kIdle;
            break;
        }
    }
    n->walkLists = false;
    SettlePlace(s, n);
    if (n->head && n->state == kIdle) Offer(s);
}

// ---- The scout ----

bool ScoutDone(const Node* n) {
    return !n->scoutFirst && (n->state == kDone || n->state == kFailed) && n->unopenedDirs <= 0;
}

// The node's next published folder entry that nobody has opened.
Rec* NextUnopened(Node* n) {
    if (!n->handChunk) {
        if (!n->first) return nullptr;
        n->handChunk = n->first;
        n->handOff = 0;
    }
    for (;;) {
        Chunk* c = n->handChunk;
        if (n->handOff < c->used) {
            Rec* r = reinterpret_cast<Rec*>(c->data + n->handOff);
            if (r->kind == kListDir && !r->child) return r;
            n->handOff += r->size;
            continue;
        }
        if (!c->next) return nullptr;
        n->handChunk = c->next;
        n->handOff = 0;
    }
}

bool CanOpenThrough(const Scan* s, const Node* n) {
    return !n->busyPlace && (n->state == kIdle || n->state == kListing || n->state == kDone) &&
           PlaceIsOpen(n->place) && (!s->countFds || n->fdUsers < 64);
}

bool FitsNode(const Rec* r) { return (r->keyLen > 0 ? r->keyLen : r->nameLen) < kOpenMax; }

// A node for the folder entry r of parent; it takes the name to open it by.
Node* NewChild(Scan* s, Node* parent, Rec* r) {
    bool isKey = r->keyLen > 0;
    int len = isKey ? r->keyLen : r->nameLen;
    if (len >= kOpenMax) return nullptr;
    Node* n = TakeNode(s);
    if (!n) return nullptr;
    n->openIsKey = isKey;
    n->openLen = len;
    std::memcpy(n->open, isKey ? RecKey(r) : static_cast<const void*>(RecName(r)), static_cast<size_t>(len));
    n->open[len] = '\0';
    LinkChild(parent, n);
    r->child = n;
    parent->unopenedDirs--;
    s->availableDirs--;
    // Its first buffer comes with it: the lister starts without the lock.
    n->first = n->last = TakeChunk(s);
    n->chunks = n->first ? 1 : 0;
    return n;
}

// Moves the scout past the record the walk is taking.
void HandPast(Node* n, Rec* r) {
    Chunk* c = n->cur;
    int off = static_cast<int>(reinterpret_cast<char*>(r) - c->data) + r->size;
    if (!n->handChunk || (n->handChunk == c && n->handOff < off)) {
        n->handChunk = c;
        n->handOff = off;
    }
}

enum TaskKind { kTaskNone, kTaskOpen, kTaskContinue, kTaskPiece };

// The first folder, in the walk's order, that nobody has opened; or the
// walk's own folder when it waits for more of it and nobody reads it.
int FindWork(Scan* s, Node** out, Split** split, int* piece) {
    if (Stopped(s) || s->abandon.load(std::memory_order_relaxed)) return kTaskNone;
    Node* h = s->top;
    if (h && h->state == kIdle && !h->busyPlace && h->chunks < kAheadInFolder && PlaceIsOpen(h->place)) {
        h->state = kListing;
        h->walkLists = false;
        IdleRemove(s, h);
        *out = h;
        return kTaskContinue;
    }
    if (s->splitsOpen > 0) {
        // Help with a large batch: it holds up a folder in the walk's way.
        for (int k = 0; k < kSplits; k++) {
            Split* sp = &s->splits[k];
            if (sp->inUse && sp->next < sp->count) {
                *piece = sp->next++;
                if (sp->next == sp->count) s->splitsOpen--;
                *split = sp;
                return kTaskPiece;
            }
        }
    }
    if (s->availableDirs <= 0 || ReadAheadFull(s, 100) || !s->root) return kTaskNone;
    Node* n = s->root;
    while (n->scoutFirst) n = n->scoutFirst;
    for (;;) {
        if (n->unopenedDirs > 0 && CanOpenThrough(s, n)) {
            Rec* r = NextUnopened(n);
            while (r && !FitsNode(r)) {
                // Left to the walk, which opens it from its record.
                n->handOff += r->size;
                r = NextUnopened(n);
            }
            if (r) {
                Node* c = NewChild(s, n, r);
                if (!c) return kTaskNone;
                c->state = kOpening;
                n->fdUsers++;
                IdleRemove(s, n);
                s->opening++;
                *out = c;
                return kTaskOpen;
            }
        }
        if (n == s->root) return kTaskNone;
        Node* next = n->scoutNext;
        if (next) {
            while (next->scoutFirst) next = next->scoutFirst;
        } else {
            next = n->parent;
        }
        if (ScoutDone(n)) ScoutUnlink(n);
        n = next;
    }
}

bool RunTasks(Scan* s, DirScratch* scratch) {
    Guard g(s->lock, std::defer_lock);
    Acquire(g);
    bool any = false;
    for (;;) {
        Node* n = nullptr;
        Split* sp = nullptr;
        int pieceIndex = 0;
        int kind = FindWork(s, &n, &sp, &pieceIndex);
        if (kind == kTaskNone) {
            s->starved = true;
            MaybeWakeWalk(s);
            break;
        }
        any = true;
        s->inflight++;
        // More work waiting and room for another worker: pass it on.
        if (s->availableDirs > 1 && s->inflight < s->limit) {
            s->starved = true;
            Offer(s);
        }
        if (kind == kTaskPiece) {
            g.unlock();
            RunPiece(s, sp, pieceIndex);
            Acquire(g);
            if (++sp->done == sp->count) s->splitCv.notify_all();
        } else {
            ListBatches(s, n, scratch, g, false, kind == kTaskOpen ? n->parent : nullptr);
        }
        s->inflight--;
        MaybeWakeWalk(s);
        if (ThePool().ringSize.load(std::memory_order_relaxed) > 1) break;  // let other scans have a turn
    }
    return any;
}

void WorkerMain() {
    DirScratch* scratch = NewDirScratch();
    Pool& p = ThePool();
    Guard g(p.lock);
    if (!scratch) {
        p.threads--;
        return;
    }
    for (;;) {
        Scan* s = PickScan(p);
        if (!s) {
            p.idle++;
            p.cv.wait(g);
            p.idle--;
            continue;
        }
        s->running++;
        unsigned gen = s->kickGen;
        g.unlock();
        bool worked = RunTasks(s, scratch);
        Acquire(g);
        s->running--;
        if (!worked && s->kickGen == gen) s->wants = false;
        if (s->ending && s->running == 0) s->poolDone.notify_all();
    }
}

// ---- The walk's side: the listing operations ----

Scan* ScanOf(ListContext* ctx) { return reinterpret_cast<Scan*>(ctx); }

ListContext* RaBegin(void* user) {
    const ReadAheadConfig* cfg = static_cast<const ReadAheadConfig*>(user);
    Scan* s = new (std::nothrow) Scan();
    if (!s) return nullptr;
    s->stop = cfg->stop;
    s->limit = cfg->workers < 1 ? 1 : cfg->workers > kMaxPoolThreads ? kMaxPoolThreads : cfg->workers;
    s->countFds = DirPlacesUseDescriptors();
    s->fdBudget = s->countFds ? DirDescriptorBudget() : 0;
    s->shared = NewDirShared();
    s->scratch = NewDirScratch();
    if (!s->shared || !s->scratch) {
        DeleteDirShared(s->shared);
        DeleteDirScratch(s->scratch);
        delete s;
        return nullptr;
    }
    return reinterpret_cast<ListContext*>(s);
}

void RaPop(ListContext* ctx);

void RaEnd(ListContext* ctx) {
    Scan* s = ScanOf(ctx);
    while (s->top) RaPop(ctx);
    s->abandon.store(true, std::memory_order_relaxed);
    {
        Pool& p = ThePool();
        Guard g(p.lock);
        s->ending = true;
        LeaveRing(p, s);
        while (s->running > 0) s->poolDone.wait(g);
    }
    {
        Guard g(s->lock, std::defer_lock);
        Acquire(g);
        // Give back every node slot's place, then the blocks.
        for (Node* n = s->freeNodes; n; n = n->freeNext) {
            DeleteDirPlace(n->place);
            n->place = nullptr;
        }
    }
    for (void* b : s->blocks) std::free(b);
    DeleteDirShared(s->shared);
    DeleteDirScratch(s->scratch);
    delete s;
}

void PushTop(Scan* s, Node* n) {
    if (s->top) s->top->head = false;
    n->head = true;
    n->cur = nullptr;
    n->curOff = 0;
    n->curUsed = 0;
    n->curRec = nullptr;
    n->curEntered = false;
    s->top = n;
}

bool RaPushPath(ListContext* ctx, const char* path, int) {
    Scan* s = ScanOf(ctx);
    Guard g(s->lock, std::defer_lock);
    Acquire(g);
    Node* n = TakeNode(s);
    if (!n) return false;
    n->state = kOpening;
    n->walkLists = true;
    g.unlock();
    int r = OpenRootPlace(s->shared, n->place, path);
    Acquire(g);
    if (r != kDirOpened) {
        n->state = kDone;
        Recycle(s, n);
        return false;
    }
    if (s->countFds) s->fdOpen++;
    n->state = kIdle;
    n->walkLists = false;
    n->below = s->top;
    if (!s->root) s->root = n;
    PushTop(s, n);
    return true;
}

// Makes sure the place of n (the walk's top or one of its folders) is open,
// reopening it through the nearest open folder above it. On success the
// caller holds a use of the place (fdUsers).
bool HoldPlace(Scan* s, Node* n, Guard& g) {
    if (PlaceIsOpen(n->place)) {
        n->fdUsers++;
        IdleRemove(s, n);
        return true;
    }
    s->chain.clear();
    Node* a = n;
    while (a && !PlaceIsOpen(a->place)) {
        try {
            s->chain.push_back(a);
        } catch (...) {
            return false;
        }
        a = a->parent;
    }
    if (!a) return false;
    a->fdUsers++;
    IdleRemove(s, a);
    bool ok = true;
    for (size_t i = s->chain.size(); i-- > 0;) {
        Node* y = s->chain[i];
        y->busyPlace = true;
        g.unlock();
        int r = OpenChildPlace(s->shared, a->place, y->openIsKey ? "" : y->open, y->openIsKey ? y->open : nullptr,
                               y->openIsKey ? y->openLen : 0, y->place);
        if (r == kDirNoHandles) {
            Acquire(g);
            RelieveDescriptors(s, 0);
            g.unlock();
            r = OpenChildPlace(s->shared, a->place, y->openIsKey ? "" : y->open, y->openIsKey ? y->open : nullptr,
                               y->openIsKey ? y->openLen : 0, y->place);
        }
        Acquire(g);
        y->busyPlace = false;
        if (r != kDirOpened) {
            ok = false;
            break;
        }
        if (s->countFds) s->fdOpen++;
        y->fdUsers++;
        a->fdUsers--;
        SettlePlace(s, a);
        RelieveDescriptors(s, s->fdBudget);
        a = y;
    }
    if (!ok) {
        a->fdUsers--;
        SettlePlace(s, a);
        return false;
    }
    RelieveDescriptors(s, s->fdBudget);
    return true;
}

void LetPlace(Scan* s, Node* n) {
    n->fdUsers--;
    SettlePlace(s, n);
}

// The walk opens the child itself (nobody read it ahead).
bool OpenByWalk(Scan* s, Node* parent, Node* c, Guard& g) {
    if (!HoldPlace(s, parent, g)) return false;
    c->state = kOpening;
    c->walkLists = true;
    int r = kDirUnlistable;
    for (int attempt = 0; attempt < 2; attempt++) {
        g.unlock();
        r = OpenChildPlace(s->shared, parent->place, c->openIsKey ? "" : c->open, c->openIsKey ? c->open : nullptr,
                           c->openIsKey ? c->openLen : 0, c->place);
        Acquire(g);
        if (r != kDirNoHandles) break;
        RelieveDescriptors(s, 0);
    }
    c->walkLists = false;
    if (r == kDirOpened && s->countFds) s->fdOpen++;
    LetPlace(s, parent);
    if (r != kDirOpened) {
        c->state = kFailed;
        return false;
    }
    RelieveDescriptors(s, s->fdBudget);
    c->state = kIdle;
    return true;
}

bool RaPushChild(ListContext* ctx, int) {
    Scan* s = ScanOf(ctx);
    Node* n = s->top;
    if (!n || !n->curRec || n->curRec->kind != kListDir) return false;
    Rec* r = n->curRec;
    Guard g(s->lock, std::defer_lock);
    Acquire(g);
    n->curEntered = true;
    Node* c = r->child;
    if (!c) {
        c = NewChild(s, n, r);
        if (!c) return false;  // out of memory, or a name longer than any file system allows
        HandPast(n, r);
        if (!OpenByWalk(s, n, c, g)) {
            Drop(s, c);
            return false;
        }
    } else {
        c->head = true;  // the worker opening it wakes the walk
        while (c->state == kOpening) WalkWait(s, c, g);
        if (c->state == kRetry && !OpenByWalk(s, n, c, g)) c->state = kFailed;
        if (c->state == kFailed) {
            Drop(s, c);
            return false;
        }
    }
    PushTop(s, c);
    UpdateIdle(s, c);
    return true;
}

bool RaNext(ListContext* ctx, ListEntry* e) {
    Scan* s = ScanOf(ctx);
    Node* n = s->top;
    if (!n) return false;
    if (n->curRec && n->curRec->kind == kListDir && !n->curEntered) {
        // Passed without entering: what was read ahead below it goes, and
        // the scout must not take it.
        Guard g(s->lock, std::defer_lock);
        Acquire(g);
        Rec* r = n->curRec;
        if (r->child) {
            Drop(s, r->child);
        } else {
            HandPast(n, r);
            r->child = nullptr;
            n->unopenedDirs--;
            s->availableDirs--;
            SettlePlace(s, n);
        }
    }
    n->curRec = nullptr;
    n->curEntered = false;
    for (;;) {
        if (n->cur && n->curOff < n->curUsed) {
            Rec* r = reinterpret_cast<Rec*>(n->cur->data + n->curOff);
            n->curOff += r->size;
            n->curRec = r;
            e->name = RecName(r);
            e->bytes = r->bytes;
            e->kind = r->kind;
            return true;
        }
        Guard g(s->lock, std::defer_lock);
        Acquire(g);
        for (;;) {
            if (!n->cur && n->first) {
                n->cur = n->first;
                n->curOff = 0;
            }
            if (n->cur) {
                n->curUsed = n->cur->used;
                if (n->curOff < n->curUsed) break;
                if (n->cur->next) {
                    // Consumed: back to the pool, and the scout moves past it.
                    Chunk* done = n->cur;
                    n->first = done->next;
                    n->cur = done->next;
                    n->curOff = 0;
                    if (n->handChunk == done) {
                        n->handChunk = n->cur;
                        n->handOff = 0;
                    }
                    GiveChunk(s, done);
                    n->chunks--;
                    if (!ReadAheadFull(s, 75)) Offer(s);
                    continue;
                }
            }
            if (n->state == kDone || n->state == kFailed) return false;
            if (n->state == kIdle) {
                // Nobody reads it: the walk reads a batch itself.
                if (!HoldPlace(s, n, g)) {
                    n->state = kDone;
                    return false;
                }
                n->fdUsers--;
                n->state = kListing;
                n->walkLists = true;
                IdleRemove(s, n);
                ListBatches(s, n, s->scratch, g, true, nullptr);
                continue;
            }
            WalkWait(s, n, g);
        }
    }
}

void RaPop(ListContext* ctx) {
    Scan* s = ScanOf(ctx);
    Node* n = s->top;
    if (!n) return;
    Guard g(s->lock, std::defer_lock);
    Acquire(g);
    Node* up = n->parent ? n->parent : n->below;
    if (n == s->root) s->root = nullptr;
    Drop(s, n);
    s->top = up;
    if (up) {
        up->head = true;
        if (up->state == kIdle) Offer(s);
    }
    if (!ReadAheadFull(s, 75)) Offer(s);
}

}  // namespace

ListingOps ReadAheadListing(const ReadAheadConfig* config) {
    ListingOps ops = {RaBegin, RaEnd, RaPushPath, RaPushChild, RaNext, RaPop, nullptr};
    ops.user = const_cast<ReadAheadConfig*>(config);
    return ops;
}

int DefaultScanWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0) cores = 2;
    // On a cold cache a worker mostly waits for the disk: many more
    // requests in flight than cores pay off there, and cost little when
    // everything is cached.
    int n = static_cast<int>(cores) * 8;
    return n < 8 ? 8 : n > kMaxPoolThreads ? kMaxPoolThreads : n;
}
