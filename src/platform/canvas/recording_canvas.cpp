#include "platform/canvas/recording_canvas.h"

namespace ressona {

TextExtent fixedCellExtent(std::string_view text) {
    constexpr std::int32_t kAdvance = 7;
    constexpr std::int32_t kHeight = 13;
    return TextExtent{kAdvance * static_cast<std::int32_t>(text.size()), kHeight};
}

void RecordingCanvas::resizeBitmap(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
    ++resizeCount_;
}

CanvasCall RecordingCanvas::record(CanvasCallKind kind) const {
    CanvasCall call;
    call.kind = kind;
    call.pen = pen_;
    call.brush = brush_;
    call.rasterOp = rasterOp_;
    call.textAlign = textAlign_;
    call.textColour = textColour_;
    call.transparentBackground = transparent_;
    return call;
}

void RecordingCanvas::fillRect(const Rect& rect, const Brush& brush) {
    CanvasCall call = record(CanvasCallKind::FillRect);
    call.brush = brush;
    call.rect = rect;
    calls_.push_back(std::move(call));
}

void RecordingCanvas::rectangle(const Rect& rect) {
    CanvasCall call = record(CanvasCallKind::Rectangle);
    call.rect = rect;
    calls_.push_back(std::move(call));
}

void RecordingCanvas::line(PlotPoint from, PlotPoint to) {
    CanvasCall call = record(CanvasCallKind::Line);
    call.points = {from, to};
    calls_.push_back(std::move(call));
}

void RecordingCanvas::polyline(std::span<const PlotPoint> points) {
    CanvasCall call = record(CanvasCallKind::Polyline);
    call.points.assign(points.begin(), points.end());
    calls_.push_back(std::move(call));
}

void RecordingCanvas::polygon(std::span<const PlotPoint> points) {
    CanvasCall call = record(CanvasCallKind::Polygon);
    call.points.assign(points.begin(), points.end());
    calls_.push_back(std::move(call));
}

void RecordingCanvas::textOut(std::int32_t x, std::int32_t y, std::string_view text) {
    CanvasCall call = record(CanvasCallKind::TextOut);
    call.points = {PlotPoint{x, y}};
    call.text = std::string(text);
    const TextExtent size = measure_(text);
    const std::int32_t top = (textAlign_ & TA_BOTTOM) != 0 ? y - size.height : y;
    call.textBox = Rect{x, top, x + size.width, top + size.height};
    calls_.push_back(std::move(call));
}

void RecordingCanvas::copyBitmap(const Canvas& source, std::int32_t x, std::int32_t y) {
    CanvasCall call = record(CanvasCallKind::CopyBitmap);
    call.points = {PlotPoint{x, y}};
    call.source = &source;
    calls_.push_back(std::move(call));
}

void RecordingCanvas::stretchBitmap(const Canvas& source, const Rect& target) {
    CanvasCall call = record(CanvasCallKind::StretchBitmap);
    call.rect = target;
    call.source = &source;
    calls_.push_back(std::move(call));
}

std::vector<CanvasCall> RecordingCanvas::callsOf(CanvasCallKind kind) const {
    std::vector<CanvasCall> result;
    for (const CanvasCall& call : calls_) {
        if (call.kind == kind) result.push_back(call);
    }
    return result;
}

std::vector<std::string> RecordingCanvas::texts() const {
    std::vector<std::string> result;
    for (const CanvasCall& call : calls_) {
        if (call.kind == CanvasCallKind::TextOut) result.push_back(call.text);
    }
    return result;
}

std::unique_ptr<Canvas> RecordingSurface::createBitmapCanvas(std::int32_t width,
                                                             std::int32_t height) {
    return std::make_unique<RecordingCanvas>(width, height, measure_);
}

void RecordingSurface::setClientSize(std::int32_t width, std::int32_t height) {
    client_ = Rect{0, 0, width, height};
}

}  // namespace ressona
