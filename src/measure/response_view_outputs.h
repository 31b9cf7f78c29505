#pragma once
// What the measurer makes of a response's phase and time views: their JSON
// fields, their further export columns and their pictures.

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "exchange/response_export.h"
#include "response/response_views.h"

namespace ressona {

struct MeasureBackends;
struct MeasureOptions;

// The fields groupDelay, minimumPhase, excessPhase and energyTime (null
// without an impulse response), each with its axis; NaN is written as null.
void addViewsJson(nlohmann::ordered_json& report, const ResponseViews& views);

// The rows of the response for the FRD and CSV files: k = 1..P/2, with the
// views' columns when options.views.
ExportedResponse exportedViews(const ResponseViews& views, bool withColumns);

// Appends the views' columns to rows that lie on the views' grid from its
// first frequency on (a transfer function's k = 1..P/2 - 1, a converted
// curve's); rows off that grid get none.
void addViewColumns(ExportedResponse& rows, const ResponseViews& views);

// The views of the curve --passes 0 made the result, given as its exported
// rows at j x rate / N for j = 1..N/2 - 1: laid onto k = 0..N/2 (held at 0 Hz
// and at half the rate), the group delay from the unwrapped phase. A file
// without a phase gives NaN for the phase's views (group delay, excess
// phase), since a phase of 0 would read as a system without delay.
ResponseViews viewsOfConvertedCurve(const ExportedResponse& rows, std::uint32_t rate,
                                    bool hasPhase);

// Draws --phase-png and --etc-png, each beside its target and renamed over
// it once written; what went wrong goes to failures.
void drawViewPictures(const MeasureBackends& backends, const MeasureOptions& options,
                      const ResponseViews& views, std::vector<std::string>& failures);

// The picture options that need an impulse response the views lack, and the
// pictures a build without drawing cannot make: a reason, or empty.
std::string viewPicturesProblem(const MeasureBackends& backends, const MeasureOptions& options,
                                const ResponseViews& views);

}  // namespace ressona
