#pragma once
// The transfer function of what the panel's passes measured with its own
// excitations (pulse, MLS and the rest): the time average of the analysed
// impulse responses, before the taper and the cuts, over the response the
// same analysis gives for a wire (wire_reference.h), with time zero where the
// excitation arrived. The panel's views keep their own scale; this is the
// record for other programs.

#include "response/transfer_function.h"

namespace ressona {

struct ImpulseAverage;
struct MeasurementState;
struct SampleArrays;

// From the last analysis: the stretch started at state.triggerSample, the
// excitation arrived at state.latencySamples (at 0 in Artificial mode).
// Empty when nothing was averaged or the arrays are not built for N.
TransferFunction panelTransferFunction(const MeasurementState& state, SampleArrays& arrays,
                                       const ImpulseAverage& average);

// With a reference channel (state.reference): the average over the average
// the same analysis gave for that channel's recording of the same stretches
// (transferFunctionOverReference), with time zero where the excitation
// arrived on it (state.latencySamples). Empty when the two averages do not
// cover the same captures. Without one, as above.
TransferFunction panelTransferFunction(const MeasurementState& state, SampleArrays& arrays,
                                       const ImpulseAverage& average,
                                       const ImpulseAverage& referenceAverage);

}  // namespace ressona
