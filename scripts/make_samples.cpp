// Writes the bundled sample images, one or more of every supported format, into the
// folder given as the only argument. The pictures are drawn, so they are Pavo's own.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

cv::Mat sky(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double t = static_cast<double>(y) / height;
            image.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>(200 - 150 * t),
                          static_cast<uchar>(120 + 60 * t + 20 * std::sin(x / 17.0)),
                          static_cast<uchar>(60 + 190 * t));
        }
    }
    cv::circle(image, {width * 2 / 3, height * 3 / 5}, height / 5, cv::Scalar(40, 200, 255),
               cv::FILLED, cv::LINE_AA);
    return image;
}

void label(cv::Mat& image, const std::string& text) {
    const double scale = image.cols / 320.0;
    cv::putText(image, text, {8, static_cast<int>(28 * scale)}, cv::FONT_HERSHEY_SIMPLEX,
                0.8 * scale, cv::Scalar::all(255), std::max(1, static_cast<int>(2 * scale)),
                cv::LINE_AA);
}

cv::Mat grid(int width, int height) {
    cv::Mat image(height, width, CV_8UC4, cv::Scalar(0, 0, 0, 0));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool on = ((x / 32) + (y / 32)) % 2 == 0;
            const auto alpha = static_cast<uchar>(255 * x / (width - 1));
            image.at<cv::Vec4b>(y, x) =
                on ? cv::Vec4b(255, 120, 0, alpha) : cv::Vec4b(30, 220, 30, alpha);
        }
    }
    return image;
}

cv::Mat rings(int width, int height) {
    cv::Mat image(height, width, CV_8UC3, cv::Scalar(20, 20, 20));
    for (int r = height; r > 0; r -= 14) {
        cv::circle(image, {width / 2, height / 2}, r,
                   cv::Scalar(r * 5 % 256, 255 - r * 3 % 256, 140), cv::FILLED, cv::LINE_AA);
    }
    return image;
}

cv::Mat bars(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    const cv::Scalar colours[] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                  {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        cv::rectangle(image, {i * width / 8, 0}, {(i + 1) * width / 8, height}, colours[i],
                      cv::FILLED);
    }
    return image;
}

bool write(const std::string& folder, const std::string& name, const cv::Mat& image,
           const std::vector<int>& params = {}) {
    const std::string path = folder + "/" + name;
    if (cv::imwrite(path, image, params)) return true;
    std::fprintf(stderr, "make_samples: could not write %s\n", path.c_str());
    return false;
}

// .jps and .mpo files are JPEG streams under another name; a stereo pair side by side.
bool writeJpegAs(const std::string& folder, const std::string& name, const cv::Mat& image) {
    std::vector<uchar> bytes;
    cv::imencode(".jpg", image, bytes, {cv::IMWRITE_JPEG_QUALITY, 85});
    FILE* file = std::fopen((folder + "/" + name).c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;

    cv::Mat photo = sky(640, 427);
    label(photo, "01 sunset.jpg");
    ok &= write(folder, "01 sunset.jpg", photo, {cv::IMWRITE_JPEG_QUALITY, 88});

    cv::Mat checks = grid(320, 240);
    ok &= write(folder, "02 alpha grid.png", checks);

    cv::Mat deep;
    rings(320, 240).convertTo(deep, CV_16UC3, 257.0);
    ok &= write(folder, "03 deep rings.png", deep);

    cv::Mat grey;
    cv::cvtColor(sky(300, 200), grey, cv::COLOR_BGR2GRAY);
    label(grey, "04 grey");
    ok &= write(folder, "04 grey.pgm", grey);

    cv::Mat colour = bars(200, 150);
    ok &= write(folder, "05 bars.ppm", colour);

    cv::Mat bitmap = rings(200, 150);
    label(bitmap, "06 bmp");
    ok &= write(folder, "06 rings.bmp", bitmap);

    cv::Mat tiff = sky(240, 180);
    label(tiff, "07 tif");
    ok &= write(folder, "07 sky.tif", tiff);

    cv::Mat webp = rings(400, 300);
    label(webp, "08 webp");
    ok &= write(folder, "08 rings.webp", webp, {cv::IMWRITE_WEBP_QUALITY, 80});

    cv::Mat stereo;
    cv::hconcat(sky(240, 180), sky(240, 180), stereo);
    label(stereo, "09 stereo jps");
    ok &= writeJpegAs(folder, "09 stereo.jps", stereo);

    cv::Mat pair = bars(320, 240);
    label(pair, "10 mpo");
    ok &= writeJpegAs(folder, "10 pair.mpo", pair);

    cv::Mat tall = sky(100, 420);
    label(tall, "11");
    ok &= write(folder, "11 tall.tiff", tall);

    return ok ? 0 : 1;
}
