// The folder listing layer: one small interface, one implementation per
// platform (posix/ and windows/), chosen by the build.
//
// A listing context holds a stack of open folders, because every walk here
// is depth-first: the scan pushes a root, reads entries of the top folder,
// pushes the current entry when it is a folder to enter, and pops when the
// top folder's entries run out. Keeping the stack inside the layer lets each
// platform open children relative to their parent (POSIX descriptors,
// Windows long paths) with no path length limit and no allocation per folder.
#pragma once

#include <cstdint>

enum ListKind {
    kListFile = 0,      // a file (or anything that is not a folder): counted with its size
    kListDir = 1,       // a folder to enter
    kListDirLeaf = 2,   // a folder counted as one but never entered (links, pseudo file systems)
};

enum ListMode {
    kListFull = 0,       // kinds and sizes
    kListKindsOnly = 1,  // kinds only; sizes may be 0 (the counting pass)
};

struct ListEntry {
    const char* name;  // 8-bit text, valid until the next call on the context
    uint64_t bytes;
    int kind;          // ListKind
};

struct ListContext;

struct ListingOps {
    ListContext* (*begin)(void* user);
    void (*end)(ListContext* ctx);
    // Opens the folder named by the path as the new top; false if it cannot be listed.
    bool (*pushPath)(ListContext* ctx, const char* path, int mode);
    // Opens the folder of the top's current entry (a kListDir) as the new top.
    bool (*pushChild)(ListContext* ctx, int mode);
    // Delivers the top folder's next entry; false at the end or on any error.
    bool (*next)(ListContext* ctx, ListEntry* entry);
    // Closes the top folder.
    void (*pop)(ListContext* ctx);
    void* user;  // handed to begin; lets a wrapping layer carry its own state
};

// The platform's listing.
const ListingOps* PlatformListing();

// The directory separator of the platform's paths.
char PathSeparator();
