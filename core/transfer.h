// core/transfer.h: what a long transfer (download, extraction) shares with the thread that
// watches it: progress counters and a cancel flag, both owned by the caller. Any thread.
#pragma once
#include <atomic>
#include <cstdint>

// Written by the transfer (or the zip extractor), read by the UI at any time.
struct TransferProgress {
    std::atomic<uint64_t> done{0};     // bytes handled so far
    std::atomic<uint64_t> total{0};    // announced length, 0 when unknown
};

// Setting the flag stops a transfer at its next read with the error "cancelled".
using CancelFlag = std::atomic<bool>;
