#include "support/jpeg_decode.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace {
struct Errors {
    jpeg_error_mgr base;
    std::jmp_buf resume;
    bool warned = false;
};
[[noreturn]] void Fail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->resume, 1);
}
// A truncated file only warns in libjpeg; count that as broken.
void Warn(j_common_ptr cinfo, int level) {
    if (level < 0) reinterpret_cast<Errors*>(cinfo->err)->warned = true;
}

bool Decode(std::FILE* file, DecodedJpeg& out) {
    jpeg_decompress_struct cinfo;
    Errors errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = Fail;
    errors.base.emit_message = Warn;
    if (setjmp(errors.resume) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &out.rgb[static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return !errors.warned;
}
}  // namespace

std::optional<DecodedJpeg> DecodeJpegFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    DecodedJpeg out;
    const bool ok = Decode(file, out);
    std::fclose(file);
    if (!ok) return std::nullopt;
    return out;
}

double MeanBrightness(const std::string& path) {
    const std::optional<DecodedJpeg> decoded = DecodeJpegFile(path);
    if (!decoded || decoded->rgb.empty()) return -1;
    double sum = 0;
    for (const std::uint8_t byte : decoded->rgb) sum += byte;
    return sum / static_cast<double>(decoded->rgb.size());
}
