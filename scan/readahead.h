// A listing that reads folders ahead on a pool of worker threads.
//
// The walk that uses it stays the one sequential consumer and sees the same
// entries, in the same order, as through the platform's listing; only the
// expensive part (opening folders, reading their entries, the sizes) runs
// ahead of it on the workers, in the order the walk will reach the folders.
#pragma once

#include <atomic>

#include "listing.h"

struct ReadAheadConfig {
    int workers;                              // worker threads this scan may use at once
    const std::atomic<unsigned char>* stop;  // no more read-ahead once set
};

// The read-ahead listing: `user` must point to a ReadAheadConfig that lives
// until the context is ended (begin copies what it needs).
ListingOps ReadAheadListing(const ReadAheadConfig* config);

// Workers a scan uses when its caller does not say.
int DefaultScanWorkers();
