// Folder reading for the parallel scan: the platform part of the read-ahead.
//
// Unlike the listing context (one thread, one stack of folders), every
// folder here is a DirPlace of its own that any thread may read, one thread
// at a time, in batches. A child is opened from its parent's place (POSIX:
// relative to the parent's descriptor; Windows: the parent's long path and
// the child's UTF-16 name), so a place whose descriptor was closed to save
// descriptors must be reopened through its parent before its children can
// be opened.
#pragma once

#include <cstdint>

struct DirPlace;    // one folder: its handle, its identity and its reading position
struct DirScratch;  // one thread's read buffer
struct DirShared;   // one scan's platform state shared by its threads (thread-safe)

// Receives the entries of a batch. "." and ".." and the skipped names never
// arrive. `key` is what opening the entry as a child needs besides its name
// (Windows: the UTF-16 name; POSIX: nothing). `add` returns false to end the
// batch at once without taking the entry; the next batch begins with it.
struct DirSink {
    bool (*add)(DirSink* sink, const char* name, int nameLen, const void* key, int keyLen, int kind,
                uint64_t bytes);
};

enum DirOpenResult {
    kDirOpened = 0,
    kDirUnlistable = 1,  // counts as one folder, never entered
    kDirNoHandles = 2,   // out of descriptors: another try later may succeed
};

enum { kDirKeyMax = 1040, kDirNameMax = 1024 };

DirShared* NewDirShared();
void DeleteDirShared(DirShared* shared);
DirPlace* NewDirPlace();
void DeleteDirPlace(DirPlace* place);
DirScratch* NewDirScratch();
void DeleteDirScratch(DirScratch* scratch);

// True where an open place holds a descriptor of a limited supply (POSIX).
bool DirPlacesUseDescriptors();
// The number of descriptors the read-ahead of one scan may hold.
int DirDescriptorBudget();

// Opens the folder a scan starts at, by its path.
int OpenRootPlace(DirShared* shared, DirPlace* place, const char* path);
// Opens (or reopens, keeping its reading position) a child of an open place.
int OpenChildPlace(DirShared* shared, const DirPlace* parent, const char* name, const void* key, int keyLen,
                   DirPlace* child);
bool PlaceIsOpen(const DirPlace* place);
// Releases the handle; a listing that is not finished resumes after a reopen.
void ClosePlace(DirPlace* place);
// Forgets everything, ready for another folder. Closes the handle.
void ResetPlace(DirPlace* place);
// Reads one batch of entries into the sink. Returns false at the end of the
// listing (or on any error, which ends it as if complete).
bool ReadPlaceBatch(DirShared* shared, DirPlace* place, DirScratch* scratch, DirSink* sink);

// The same batch in two steps, so that several threads can share the sizes
// of a large one: first the names, by one thread, into its scratch; then the
// entries between two marks, by any threads at once, each into its own sink;
// then the end, which moves the position past the batch. ReadPlaceNames
// returns the number of names read (0 at the end of the listing), or -1
// where the platform reads names and sizes in one step.
int ReadPlaceNames(DirShared* shared, DirPlace* place, DirScratch* scratch);
// Cuts the names into pieces of about `per` entries: marks[0..pieces].
int CutPlaceNames(const DirScratch* scratch, int per, int* marks, int maxPieces);
void StatPlaceNames(DirShared* shared, const DirPlace* place, const DirScratch* scratch, int from, int to,
                    DirSink* sink);
void EndPlaceNames(DirPlace* place, const DirScratch* scratch);
