#pragma once
// How many further array allocations may succeed. Unlimited by default; tests
// set a count to make the next allocation after it fail, as memory running out
// would, so that every failure path can be exercised.

namespace ressona {

struct AllocationBudget {
    static constexpr long kUnlimited = -1;
    long remaining = kUnlimited;

    // True when one more allocation may go ahead (and counts it).
    bool permit() {
        if (remaining == kUnlimited) return true;
        if (remaining == 0) return false;
        --remaining;
        return true;
    }
};

}  // namespace ressona
