#include "measure/response_view_outputs.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <nlohmann/json.hpp>

#include "measure/measure_backends.h"
#include "measure/measure_options.h"
#include "plots/response_views_plot.h"
#include "storage/file_replacement.h"

namespace ressona {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
// The group delay's method when the file read gave no phase.
constexpr const char* kDelayWithoutPhase = "none: the file has no phase";

Json numbers(const std::vector<double>& values) {
    Json array = Json::array();
    for (const double value : values) {
        if (std::isfinite(value)) {
            array.push_back(value);
        } else {
            array.push_back(nullptr);
        }
    }
    return array;
}

void drawPicture(const MeasureBackends& backends, const MeasureOptions& options,
                 const std::string& path, const std::function<void(Canvas&)>& draw,
                 std::vector<std::string>& failures) {
    if (path.empty()) return;
    FileReplacement replacement(path);
    const bool written = replacement.ready() &&
                         backends.saveDrawing(options.pictureWidth, options.pictureHeight, draw,
                                              replacement.temporaryPath()) == 0 &&
                         replacement.commit();
    if (!written) failures.push_back("the picture '" + path + "' could not be written");
}

}  // namespace

void addViewsJson(Json& report, const ResponseViews& views) {
    report["groupDelay"] = {{"method", views.groupDelayMethod},
                            {"frequencyHz", numbers(views.frequencyHz)},
                            {"seconds", numbers(views.groupDelaySeconds)},
                            {"excessSeconds", numbers(views.excessGroupDelaySeconds)}};
    report["minimumPhase"] = {{"frequencyHz", numbers(views.frequencyHz)},
                              {"degrees", numbers(views.minimumPhaseDeg)}};
    report["excessPhase"] = {{"frequencyHz", numbers(views.frequencyHz)},
                             {"degrees", numbers(views.excessPhaseDeg)}};
    if (!views.energyTime) {
        report["energyTime"] = nullptr;
        return;
    }
    const EnergyTimeCurve& curve = *views.energyTime;
    report["energyTime"] = {{"timeSeconds", numbers(curve.timeSeconds)},
                            {"levelDb", numbers(curve.levelDb)},
                            {"peakSeconds", curve.peakSeconds},
                            {"peakDb", curve.peakDb}};
}

ExportedResponse exportedViews(const ResponseViews& views, bool withColumns) {
    ExportedResponse response;
    response.frequencyHz = views.frequencyHz;
    response.levelDb = views.levelDb;
    response.phaseDeg = views.phaseDeg;
    if (withColumns) addViewColumns(response, views);
    return response;
}

void addViewColumns(ExportedResponse& rows, const ResponseViews& views) {
    const std::size_t count = rows.frequencyHz.size();
    if (count > views.frequencyHz.size()) return;
    for (std::size_t i = 0; i < count; ++i) {
        // The grids are the same when each row lies within a hundredth of a bin of its view.
        const double bin = views.frequencyHz.front();
        if (std::fabs(rows.frequencyHz[i] - views.frequencyHz[i]) > 0.01 * bin) return;
    }
    const auto first = [count](const std::vector<double>& values) {
        return std::vector<double>(values.begin(), values.begin() + count);
    };
    rows.extraColumns = {{"group_delay_s", first(views.groupDelaySeconds)},
                         {"minimum_phase_deg", first(views.minimumPhaseDeg)},
                         {"excess_phase_deg", first(views.excessPhaseDeg)},
                         {"excess_group_delay_s", first(views.excessGroupDelaySeconds)}};
}

ResponseViews viewsOfConvertedCurve(const ExportedResponse& rows, std::uint32_t rate,
                                    bool hasPhase) {
    const std::size_t count = rows.frequencyHz.size();
    if (count < 2 || rows.levelDb.size() != count || rows.phaseDeg.size() != count) return {};
    std::vector<std::complex<double>> spectrum(count + 2);
    for (std::size_t j = 0; j < count; ++j) {
        spectrum[j + 1] = std::polar(std::pow(10.0, rows.levelDb[j] / 20.0),
                                     hasPhase ? rows.phaseDeg[j] * kRadiansPerDegree : 0.0);
    }
    spectrum.front() = std::abs(spectrum[1]);
    spectrum.back() = std::abs(spectrum[count]);
    ResponseViews views = viewsOfSpectrum(spectrum, rate);
    if (hasPhase || views.frequencyHz.empty()) return views;
    views.groupDelayMethod = kDelayWithoutPhase;
    for (std::vector<double>* lost : {&views.groupDelaySeconds, &views.excessPhaseDeg,
                                      &views.excessGroupDelaySeconds}) {
        std::fill(lost->begin(), lost->end(), std::numeric_limits<double>::quiet_NaN());
    }
    return views;
}

std::string viewPicturesProblem(const MeasureBackends& backends, const MeasureOptions& options,
                                const ResponseViews& views) {
    if (!options.etcPng.empty() && !views.energyTime)
        return "--etc-png needs an impulse response, and a frequency response read from a "
               "file has none";
    if ((!options.phasePng.empty() || !options.etcPng.empty()) && !backends.saveDrawing)
        return "this build cannot draw pictures";
    return "";
}

void drawViewPictures(const MeasureBackends& backends, const MeasureOptions& options,
                      const ResponseViews& views, std::vector<std::string>& failures) {
    if (!options.phasePng.empty()) {
        const PhasePlotData data{views.frequencyHz, views.phaseDeg, views.minimumPhaseDeg,
                                 views.excessPhaseDeg};
        drawPicture(
            backends, options, options.phasePng,
            [&data](Canvas& canvas) { drawPhasePlot(canvas, data); }, failures);
    }
    if (!options.etcPng.empty() && views.energyTime) {
        const EnergyTimePlotData data{views.energyTime->timeSeconds, views.energyTime->levelDb};
        drawPicture(
            backends, options, options.etcPng,
            [&data](Canvas& canvas) { drawEnergyTimePlot(canvas, data); }, failures);
    }
}

}  // namespace ressona
