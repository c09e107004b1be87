#include "diary/jpeg_writer.h"

#include <csetjmp>
#include <cstdio>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "platform/atomic_file.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf resume;
};

[[noreturn]] void ReturnToWriter(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->resume, 1);
}

void Silent(j_common_ptr) {}

// Kept free of objects with destructors: a library error longjmps out of it.
bool Encode(std::FILE* file, const FrameFormat& format, const std::uint8_t* pixels, int quality) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ReturnToWriter;
    errors.base.output_message = Silent;
    if (setjmp(errors.resume) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(format.width);
    cinfo.image_height = static_cast<JDIMENSION>(format.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;  // frames are stored blue first
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, FALSE);
    jpeg_start_compress(&cinfo, TRUE);

    // The last row in memory is the top of the picture.
    const std::size_t stride = format.Stride();
    const std::uint8_t* row = pixels + static_cast<std::size_t>(format.height - 1) * stride;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
        jpeg_write_scanlines(&cinfo, rows, 1);
        row -= stride;
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool WriteJpegFile(const std::string& path, const FrameFormat& format, const std::uint8_t* pixels,
                   int quality) {
    if (!format.IsValid() || pixels == nullptr) return false;
    AtomicFile file(path);
    if (file.Stream() == nullptr) return false;
    return Encode(file.Stream(), format, pixels, quality) && file.Commit();
}

std::string WriteNewJpegFile(const std::function<std::string(int)>& name_for,
                             const FrameFormat& format, const std::uint8_t* pixels, int quality) {
    if (!format.IsValid() || pixels == nullptr) return {};
    const std::string first = name_for(0);
    if (first.empty()) return {};
    AtomicFile file(first);
    if (file.Stream() == nullptr || !Encode(file.Stream(), format, pixels, quality)) return {};
    return file.CommitNew([&](int n) { return std::filesystem::path(name_for(n)); }).string();
}
