#pragma once
// The measurer's --combine: several measurements read from files, combined
// into one response (measure/response_combination.h), and that response
// reported, exported and drawn as a measurement's would be. Nothing is
// played or recorded.

#include <ostream>

namespace ressona {

struct MeasureBackends;
struct MeasureOptions;

// Returns 0; 2 when a file cannot be read or the files cannot be combined
// (nothing written); 1 when an output could not be written.
int runCombination(const MeasureOptions& options, const MeasureBackends& backends,
                   std::ostream& out, std::ostream& err);

}  // namespace ressona
