// The equaliser through the whole measurer on the simulated room modes: the
// fit, the files, the measurement again through the filters, the APO file
// checked by an independent script, and input that must be refused with
// nothing written.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/canvas/recording_canvas.h"
#include "plots/plot_style.h"
#include "plots/response_views_plot.h"

namespace ressona {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

class EqMeasure : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ressona-eq-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    struct Run {
        int status = -1;
        std::string out, err;
    };
    // The pictures drawn, on canvases that record the calls; none without `drawn`.
    static Run run(std::vector<std::string> arguments,
                   std::vector<std::vector<CanvasCall>>* drawn = nullptr) {
        MeasureBackends backends = simulatedMeasureBackends();
        if (drawn != nullptr) {
            backends.saveDrawing = [drawn](std::int32_t width, std::int32_t height,
                                           const std::function<void(Canvas&)>& draw,
                                           const std::string& path) {
                RecordingCanvas canvas(width, height);
                draw(canvas);
                drawn->push_back(canvas.calls());
                std::ofstream(path) << "picture";
                return 0;
            };
        }
        std::ostringstream out, err;
        Run r;
        r.status = measureMain(arguments, backends, out, err);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    // The modes, measured by a logsweep fine enough for the lowest of them.
    static std::vector<std::string> modes(std::vector<std::string> more) {
        std::vector<std::string> arguments{"--device", "sim:modes", "--excitation", "logsweep",
                                           "--rate",   "11025",     "--length",     "16384",
                                           "--instant"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
    fs::path folder_;
};

// The largest deviation of levels from target between lowHz and highHz, with
// the target at the levels' mean distance from it there.
double deviation(const Json& eq, const Json& levels, double lowHz, double highHz) {
    std::vector<double> difference;
    for (std::size_t i = 0; i < eq["frequencyHz"].size(); ++i) {
        const double f = eq["frequencyHz"][i];
        if (f >= lowHz && f <= highHz)
            difference.push_back(levels[i].get<double>() - eq["targetDb"][i].get<double>());
    }
    double mean = 0.0;
    for (double d : difference) mean += d / difference.size();
    double largest = 0.0;
    for (double d : difference) largest = std::max(largest, std::fabs(d - mean));
    return largest;
}

TEST_F(EqMeasure, CorrectsTheModesAndMeasuresTheCorrection) {
    const Run r = run(modes({"--json", "--eq", "--eq-filters", "6", "--eq-range", "25,300",
                             "--eq-verify", "--eq-apo", path("eq.txt"), "--eq-pipewire",
                             path("eq.conf"), "--eq-camilladsp", path("eq.yml")}));
    ASSERT_EQ(r.status, kMeasureDone) << r.err;
    const Json report = Json::parse(r.out);
    const Json& eq = report["eq"];
    EXPECT_LE(eq["filters"].size(), 6u);
    EXPECT_GT(deviation(eq, eq["measuredDb"], 30, 250), 5.0);
    EXPECT_LE(deviation(eq, eq["predictedDb"], 30, 250), 1.0);
    ASSERT_TRUE(eq["verify"].is_object());
    EXPECT_LE(deviation(eq, eq["verify"]["measuredDb"], 30, 250), 1.5);
    std::printf("[ figures  ] sim:modes, 6 filters: 30-250 Hz within %.2f dB predicted, %.2f dB "
                "measured (before %.2f dB)\n",
                deviation(eq, eq["predictedDb"], 30, 250),
                deviation(eq, eq["verify"]["measuredDb"], 30, 250),
                deviation(eq, eq["measuredDb"], 30, 250));
    EXPECT_EQ(eq["files"].size(), 3u);
    for (const char* name : {"eq.txt", "eq.conf", "eq.yml"}) EXPECT_TRUE(fs::exists(path(name)));
    std::ofstream(path("report.json")) << r.out;

    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const std::string script = std::string(RESSONA_TESTS_DIR) + "/tools/apo_prediction.py";
    EXPECT_EQ(std::system(("python3 '" + script + "' '" + path("eq.txt") + "' '" +
                           path("report.json") + "'")
                              .c_str()),
              0);
}

TEST_F(EqMeasure, TheVerifyMeasurementIsInTheTextReport) {
    const Run r = run(modes({"--eq", "--eq-filters", "4", "--eq-range", "30,250", "--eq-verify"}));
    ASSERT_EQ(r.status, kMeasureDone) << r.err;
    EXPECT_NE(r.out.find("eq: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("eq verify: deviation from the target, measured: before max "),
              std::string::npos)
        << r.out;
}

// The picture holds a curve for each of the fit's and the verification's
// levels, all inside the frame and keyed; without --eq-verify the measured
// correction is neither drawn nor keyed.
TEST_F(EqMeasure, ThePictureDrawsEveryCurveItHas) {
    for (const bool verify : {true, false}) {
        std::vector<std::vector<CanvasCall>> drawn;
        std::vector<std::string> arguments{"--eq", "--eq-filters", "4", "--eq-range", "30,250",
                                           "--eq-png", path("eq.png")};
        if (verify) arguments.push_back("--eq-verify");
        const Run r = run(modes(arguments), &drawn);
        ASSERT_EQ(r.status, kMeasureDone) << r.err;
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_TRUE(fs::exists(path("eq.png")));
        std::vector<std::string> texts;
        std::vector<Colour> curves;
        std::int32_t lowest = 1 << 30, highest = -(1 << 30);
        for (const CanvasCall& call : drawn[0]) {
            if (call.kind == CanvasCallKind::TextOut) texts.push_back(call.text);
            if (call.kind != CanvasCallKind::Polyline) continue;
            curves.push_back(call.pen.colour);
            for (const PlotPoint& p : call.points)
                lowest = std::min(lowest, p.y), highest = std::max(highest, p.y);
        }
        const auto has = [](const auto& list, const auto& item) {
            return std::find(list.begin(), list.end(), item) != list.end();
        };
        for (const char* key : {"Target", "Measured", "Predicted"}) EXPECT_TRUE(has(texts, key));
        EXPECT_EQ(has(texts, std::string("Measured through the filters")), verify);
        for (const Colour& colour : {kEqTargetColour, kMeasuredPhaseColour, kEqPredictedColour})
            EXPECT_TRUE(has(curves, colour));
        EXPECT_EQ(has(curves, kEqVerifiedColour), verify);
        // The scale holds the curves: none is clamped onto the frame's edge.
        const PlotFrame frame = plotFrameOf({0, 0, 1200, 400});
        EXPECT_GT(lowest, frame.top);
        EXPECT_LT(highest, frame.bottom);
    }
}

TEST_F(EqMeasure, BadInputIsOneLineAndWritesNothing) {
    std::ofstream(path("far.txt")) << "1000 0\n2000 3\n";
    std::ofstream(path("cliff.txt")) << "20 0\n100 0\n110 80\n500 80\n";
    // Silence in the range, sound above it.
    std::ofstream(path("silent.frd")) << "10 -120\n600 -120\n1000 0\n5000 0\n";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string said;
    };
    const std::vector<Case> cases{
        {{"--eq", "--eq-filters", "0"}, kMeasureBadCommandLine, "--eq-filters"},
        {{"--eq", "--eq-filters", "21"}, kMeasureBadCommandLine, "--eq-filters"},
        {{"--eq", "--eq-target", path("missing.txt")}, kMeasureBadCommandLine, "target file"},
        {{"--eq", "--eq-target", path("far.txt")}, kMeasureBadCommandLine, "no point within"},
        {{"--eq", "--eq-range", "25,9000"}, kMeasureBadCommandLine, "0.45 x the sample rate"},
        {{"--eq", "--eq-range", "300,25"}, kMeasureBadCommandLine, "--eq-range"},
        {{"--eq-apo", path("x.txt")}, kMeasureBadCommandLine, "need --eq"},
        {{"--eq", "--eq-target", path("cliff.txt")}, kMeasureFailed, "beyond what the filters"},
        {{"--eq", "--passes", "0", "--read", path("silent.frd")}, kMeasureFailed,
         "no energy in the range"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        const bool read = arguments[1] == "--passes";  // nothing to --save without passes
        arguments.insert(arguments.end(),
                         {"--eq-apo", path("eq-apo.out"), "--eq-png", path("eq-png.out")});
        arguments.insert(arguments.end(), {read ? "--export-csv" : "--save", path("save.out")});
        std::vector<std::vector<CanvasCall>> drawn;
        const Run r = run(modes(arguments), &drawn);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(drawn.empty());
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("eq-apo.out")) || fs::exists(path("save.out")) ||
                     fs::exists(path("eq-png.out")))
            << r.err;
    }
}

}  // namespace
}  // namespace ressona
