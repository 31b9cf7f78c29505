#pragma once
// The picture of a room analysis: the backward-integrated decay curves of the
// octave bands in dB against time from the response's start, each with the
// line of its reverberation time (T30, or T20 where T30 is not evaluated)
// drawn dotted from 0 dB down, and a legend naming each band with that time.
// Drawn on any canvas, in the plot windows' manner: a light grey margin with
// the labels, a black plot area with grey grid lines.

#include "platform/canvas/canvas.h"
#include "room/room_analysis.h"

namespace ressona {

// The colour of the octave band with that nominal frequency (63 .. 8000 Hz).
Colour octaveColour(double nominalHz);

// Draws over the whole canvas. Bands without a kept curve
// (RoomOptions::curvePoints 0) are left out; without any, the picture says so.
void drawDecayPicture(Canvas& canvas, const RoomAnalysis& analysis);

}  // namespace ressona
