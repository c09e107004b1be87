// The timelapse's encoding of one folder of pictures, as the program makes a
// day's video: bench/timelapse_cost.py measures it against a bare
// gst-launch-1.0 pipeline. Not a Google Benchmark (bench/run skips it).
//
//   timelapse_encode FOLDER VIDEO FPS   every "*.jpg" of FOLDER in name order
//   timelapse_encode --encoder          the encoder and its settings
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/stop_signal.h"
#include "timelapse/day_video.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--encoder") {
        std::printf("%s\n", DayVideoEncoderSettings().c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: timelapse_encode FOLDER VIDEO FPS | --encoder\n");
        return 2;
    }
    std::vector<std::string> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".jpg") pictures.push_back(entry.path().string());
    }
    std::sort(pictures.begin(), pictures.end());
    const std::string video = argv[2];
    StopSignal never;
    const DayVideoOutcome outcome =
        MakeDayVideo(pictures, video + ".tmp", video, std::atoi(argv[3]), never);
    if (outcome.result != DayVideoOutcome::Result::kMade) {
        std::fprintf(stderr, "timelapse_encode: no video (%s)\n", outcome.error.c_str());
        return 1;
    }
    std::printf("%d frames, %d skipped, %ju bytes\n", outcome.frames, outcome.skipped,
                outcome.bytes);
    return 0;
}
