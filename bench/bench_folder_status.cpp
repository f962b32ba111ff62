// What the status page's listing costs on a season's folder: 100,000 frames (hard links of one
// 1080p JPEG, a day's 2,880 frames sharing one copy and its time, today's 2,080 to be judged),
// the first Refresh (the whole folder listed, today's judging begun), the Refreshes that judge the
// rest, a Refresh as frames arrive, the minute's full listing, and one /status.json body, which
// must not grow with the frames.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "frames/FrameFile.h"
#include "serve/FolderStatus.h"

namespace {

constexpr int kFrames = 100'000;
constexpr int kPerDay = 2880;

template <typename Work>
double Milliseconds(int runs, Work work) {
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < runs; ++run) {
        work();
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / runs;
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const std::string frameDir = dir.path().toStdString() + "/frames/";
    const std::string copies = dir.path().toStdString() + "/copies/";
    std::filesystem::create_directories(frameDir);
    std::filesystem::create_directories(copies);
    cv::Mat picture(1080, 1920, CV_8UC3);
    cv::randu(picture, 0, 255);
    cv::GaussianBlur(picture, picture, {9, 9}, 3);
    const QDateTime now = QDateTime::currentDateTime();
    const int days = (kFrames + kPerDay - 1) / kPerDay;
    for (int i = 0; i < kFrames; ++i) {
        const int day = i / kPerDay;
        const std::string copy = copies + std::to_string(day) + ".jpg";
        if (i % kPerDay == 0) {
            cv::imwrite(copy, picture);
            const int age = days - 1 - day;
            const QDateTime when = age == 0 ? now.addSecs(-3600) : now.addDays(-age);
            const timespec time{static_cast<time_t>(when.toSecsSinceEpoch()), 0};
            const timespec times[2] = {time, time};
            ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
        }
        if (::link(copy.c_str(), FramePath(frameDir, 10001 + i).c_str()) != 0) {
            std::perror("link");
            return 1;
        }
    }
    FolderStatus status({frameDir, {}, {}});
    std::printf("%d frames, today's %d to be judged\n", kFrames, kFrames - (days - 1) * kPerDay);
    std::printf("first Refresh        %8.1f ms\n", Milliseconds(1, [&] { status.Refresh(now); }));
    std::printf("Refresh, judging     %8.1f ms\n",
                Milliseconds(30, [&] { status.Refresh(now.addMSecs(1)); }));
    std::printf("Refresh              %8.3f ms\n",
                Milliseconds(100, [&] { status.Refresh(now.addSecs(1)); }));
    std::printf("Refresh, full listing%8.1f ms\n",
                Milliseconds(1, [&] { status.Refresh(now.addSecs(120)); }));
    std::size_t length = 0;
    const double json =
        Milliseconds(1000, [&] { length = status.StatusJson(now.addSecs(121)).size(); });
    std::printf("status.json          %8.3f ms (%zu bytes)\n", json, length);
    return 0;
}
