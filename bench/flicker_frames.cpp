// The deflicker benchmark's frames and scores.
//   flicker_frames make DIR COUNT DARK...   writes DIR/flicker/pic_N.jpg (a brightness ramp with
//       random flicker and sensor noise), DIR/dark/ (the same, with the frames at the indices
//       DARK at a third of their brightness) and DIR/true.txt (each frame's brightness without
//       flicker, as mean coded luma)
//   flicker_frames score TRUE MEASURED DARK...   prints the jitter of the measured mean lumas
//       (after taking out the true ramp's own change), their RMS distance from the true
//       brightness, and that distance within half a window of the dark frames and elsewhere
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

namespace {

const cv::Size kSize(1920, 1080);
constexpr double kFlicker = 0.03;  // standard deviation of a frame's brightness, relative
constexpr double kNoise = 6.0;     // sensor noise, in coded values
constexpr double kDarkest = 0.4;   // the ramp's start, relative to its end
constexpr int kQuality = 88;       // about 350 KB a frame with the noise
constexpr int kHalfWindow = 7;     // of FFmpeg's deflicker=s=15 and of Vorn's default
constexpr unsigned kSeed = 19;

// A still scene of shapes and gradients, kept clear of black and white so that neither noise
// nor flicker clips it.
cv::Mat Scene() {
    cv::Mat scene(kSize, CV_32FC3);
    for (int y = 0; y < kSize.height; ++y) {
        for (int x = 0; x < kSize.width; ++x) {
            scene.at<cv::Vec3f>(y, x) =
                cv::Vec3f(60 + 80.0f * x / kSize.width, 70 + 90.0f * y / kSize.height, 110);
        }
    }
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> across(0, kSize.width), down(0, kSize.height);
    std::uniform_int_distribution<int> radius(20, 200), level(45, 195);
    for (int i = 0; i < 60; ++i) {
        const cv::Scalar colour(level(random), level(random), level(random));
        if (i % 2 == 0) {
            cv::circle(scene, {across(random), down(random)}, radius(random), colour, cv::FILLED);
        } else {
            cv::rectangle(
                scene, cv::Rect(across(random), down(random), radius(random) * 2, radius(random)),
                colour, cv::FILLED);
        }
    }
    return scene;
}

double MeanLuma(const cv::Mat& bgr) {
    const cv::Scalar mean = cv::mean(bgr);
    return 0.114 * mean[0] + 0.587 * mean[1] + 0.299 * mean[2];
}

void Write(const std::string& path, const cv::Mat& picture) {
    cv::Mat coded;
    picture.convertTo(coded, CV_8UC3);
    if (!cv::imwrite(path, coded, {cv::IMWRITE_JPEG_QUALITY, kQuality})) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

int Make(const std::string& dir, int count, const std::vector<int>& dark) {
    const cv::Mat scene = Scene();
    const double sceneLuma = MeanLuma(scene);
    std::mt19937 random(kSeed);
    std::normal_distribution<double> flicker(0.0, kFlicker);
    std::ofstream truth(dir + "/true.txt");
    cv::Mat frame, noise(kSize, CV_32FC3);
    for (int i = 0; i < count; ++i) {
        // Half a cosine from dusk to day: slow at both ends, as light changes.
        const double ramp =
            kDarkest + (1 - kDarkest) * (1 - std::cos(std::numbers::pi * i / (count - 1))) / 2;
        truth << ramp * sceneLuma << '\n';
        cv::randn(noise, 0.0, kNoise);
        frame = scene * (ramp * (1 + flicker(random))) + noise;
        const std::string name = "/pic_" + std::to_string(10001 + i) + ".jpg";
        Write(dir + "/flicker" + name, frame);
        if (std::find(dark.begin(), dark.end(), i) != dark.end()) {
            Write(dir + "/dark" + name, frame / 3);
        } else {
            std::filesystem::create_hard_link(dir + "/flicker" + name, dir + "/dark" + name);
        }
    }
    return 0;
}

std::vector<double> Read(const std::string& path) {
    std::vector<double> values;
    std::ifstream in(path);
    for (double value; in >> value;) {
        values.push_back(value);
    }
    return values;
}

double Rms(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values) {
        sum += value * value;
    }
    return values.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(values.size()));
}

int Score(const std::string& truePath, const std::string& measuredPath,
          const std::vector<int>& dark) {
    const std::vector<double> truth = Read(truePath), measured = Read(measuredPath);
    if (truth.size() != measured.size() || truth.size() < 2) {
        std::fprintf(stderr, "%zu frames measured for %zu\n", measured.size(), truth.size());
        return 1;
    }
    std::vector<double> steps, errors, near, elsewhere;
    for (size_t i = 0; i < truth.size(); ++i) {
        const double error = measured[i] - truth[i];
        errors.push_back(error);
        if (i > 0) {
            steps.push_back(error - errors[i - 1]);
        }
        const bool isNear = std::any_of(dark.begin(), dark.end(), [&](int d) {
            return std::abs(static_cast<int>(i) - d) <= kHalfWindow;
        });
        (isNear ? near : elsewhere).push_back(error);
    }
    std::printf("jitter %.3f  rms %.3f", Rms(steps), Rms(errors));
    if (!dark.empty()) {
        std::printf("  near dark %.3f  elsewhere %.3f  ratio %.2f", Rms(near), Rms(elsewhere),
                    Rms(near) / Rms(elsewhere));
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<int> dark;
    for (size_t i = 3; i < args.size(); ++i) {
        dark.push_back(std::stoi(args[i]));
    }
    if (args.size() >= 3 && args[0] == "make") {
        std::filesystem::create_directories(args[1] + "/flicker");
        std::filesystem::create_directories(args[1] + "/dark");
        return Make(args[1], std::stoi(args[2]), dark);
    }
    if (args.size() >= 3 && args[0] == "score") {
        return Score(args[1], args[2], dark);
    }
    std::fprintf(stderr,
                 "usage: flicker_frames make DIR COUNT DARK... | score TRUE MEASURED DARK...\n");
    return 2;
}
