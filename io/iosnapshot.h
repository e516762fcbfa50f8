// A copy of the machine signal words for the screens, taken under pMutexIO and read without it.
#pragma once

#include <cstdint>

struct IoSnapshot
{
    uint32_t in = 0;    // gDataIn: bit k = input k+1 of the board
    uint32_t out = 0;   // gDataOut: bit k drives output k+1
    bool lost = false;  // the board stopped answering (gisLostCom)

    // Copies the words; the mutex is held only for the copy.
    static IoSnapshot Take();

    // Input `k` (0-based) active and output `k` on, with the level sense of the live record, so an
    // inverted output shows as its machine meaning (output 1 on: clamping prohibited).
    bool input(int k) const;
    bool output(int k) const;

    bool operator==(const IoSnapshot &) const = default;
};
