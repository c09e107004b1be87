#include "timelapse/picture_planes.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

struct Errors {
    jpeg_error_mgr base;
    std::jmp_buf resume;
};

// A warning (a cut-off file, corrupt data) ends the decoding as an error
// does: such a picture is skipped, not shown half grey.
[[noreturn]] void Fail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->resume, 1);
}
void Message(j_common_ptr cinfo, int level) {
    if (level < 0) Fail(cinfo);
}

int RoundUp16(long value) { return static_cast<int>((value + 15) & ~15L); }

using Layout = PicturePlanes::Layout;

// The video format of the file's own planes, or kRgb when it has none.
Layout PlaneLayout(const jpeg_decompress_struct& cinfo) {
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE && cinfo.num_components == 1) return Layout::kI420;
    if (cinfo.jpeg_color_space != JCS_YCbCr || cinfo.num_components != 3) return Layout::kRgb;
    for (int c = 1; c < 3; ++c) {
        if (cinfo.comp_info[c].h_samp_factor != 1 || cinfo.comp_info[c].v_samp_factor != 1)
            return Layout::kRgb;
    }
    const int h = cinfo.comp_info[0].h_samp_factor;
    const int v = cinfo.comp_info[0].v_samp_factor;
    if (h == 2 && v == 2) return Layout::kI420;
    if (h == 2 && v == 1) return Layout::kY42B;
    if (h == 1 && v == 1) return Layout::kY444;
    if (h == 4 && v == 1) return Layout::kY41B;
    return Layout::kRgb;
}

// Full range (0 to 255) to video range: luma 16 to 235, chroma 16 to 240.
struct RangeTables {
    unsigned char luma[256];
    unsigned char chroma[256];
    RangeTables() {
        for (int v = 0; v < 256; ++v) {
            luma[v] = static_cast<unsigned char>(16 + (v * 219 + 127) / 255);
            chroma[v] =
                static_cast<unsigned char>(128 + ((v - 128) * 224 + (v < 128 ? -127 : 127)) / 255);
        }
    }
};

void ToVideoRange(unsigned char* bytes, std::size_t size, const unsigned char (&table)[256]) {
    for (std::size_t i = 0; i < size; ++i) bytes[i] = table[bytes[i]];
}

// The planes as libjpeg writes them: whole blocks wide and whole block rows
// high, so that its last rows never run past the memory. A grey picture's
// chroma planes are made here, neutral.
void ReadRawPlanes(jpeg_decompress_struct& cinfo, PicturePlanes& out) {
    const int rows_per_call = cinfo.max_v_samp_factor * DCTSIZE;
    const int components = cinfo.num_components;
    out.plane_count = 3;
    std::size_t size = 0;
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        out.stride[c] = RoundUp16(static_cast<long>(comp.width_in_blocks) * DCTSIZE);
        out.offset[c] = size;
        size += static_cast<std::size_t>(out.stride[c]) * cinfo.total_iMCU_rows *
                comp.v_samp_factor * DCTSIZE;
    }
    const std::size_t luma_size = components == 1 ? size : out.offset[1];
    std::size_t grey_chroma = 0;
    if (components == 1) {
        const int chroma_rows = (static_cast<int>(cinfo.output_height) + 1) / 2;
        out.stride[1] = out.stride[2] = RoundUp16((static_cast<long>(cinfo.output_width) + 1) / 2);
        grey_chroma = static_cast<std::size_t>(out.stride[1]) * chroma_rows;
        out.offset[1] = size;
        out.offset[2] = size + grey_chroma;
        size += 2 * grey_chroma;
    }
    out.size = size;
    out.bytes.reset(new unsigned char[size]);
    JSAMPROW rows[3][4 * DCTSIZE];
    JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION first_row = cinfo.output_scanline / rows_per_call;
        for (int c = 0; c < components; ++c) {
            const int comp_rows = cinfo.comp_info[c].v_samp_factor * DCTSIZE;
            unsigned char* plane = out.bytes.get() + out.offset[c];
            for (int r = 0; r < comp_rows; ++r) {
                rows[c][r] =
                    plane + (static_cast<std::size_t>(first_row) * comp_rows + r) * out.stride[c];
            }
        }
        if (jpeg_read_raw_data(&cinfo, planes, rows_per_call) == 0)
            Fail(reinterpret_cast<j_common_ptr>(&cinfo));
    }
    static const RangeTables tables;
    ToVideoRange(out.bytes.get(), luma_size, tables.luma);
    if (components == 1) {
        std::memset(out.bytes.get() + out.offset[1], 128, 2 * grey_chroma);
    } else {
        ToVideoRange(out.bytes.get() + out.offset[1], size - out.offset[1], tables.chroma);
    }
}

void ReadRows(jpeg_decompress_struct& cinfo, PicturePlanes& out) {
    out.plane_count = 1;
    out.stride[0] = RoundUp16(static_cast<long>(cinfo.output_width) * 3);
    out.size = static_cast<std::size_t>(out.stride[0]) * cinfo.output_height;
    out.bytes.reset(new unsigned char[out.size]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row =
            out.bytes.get() + static_cast<std::size_t>(cinfo.output_scanline) * out.stride[0];
        if (jpeg_read_scanlines(&cinfo, &row, 1) == 0) Fail(reinterpret_cast<j_common_ptr>(&cinfo));
    }
}

// The eighths libjpeg scales by: the fewest that still cover the size asked
// for in one direction.
int ScaleEighths(const jpeg_decompress_struct& cinfo, int cover_width, int cover_height) {
    const long width = cinfo.image_width;
    const long height = cinfo.image_height;
    if (cover_width <= 0 || cover_height <= 0 || width <= cover_width || height <= cover_height)
        return 8;
    for (int eighths = 1; eighths < 8; ++eighths) {
        if ((width * eighths + 7) / 8 >= cover_width || (height * eighths + 7) / 8 >= cover_height)
            return eighths;
    }
    return 8;
}

// Nothing with a destructor lives in here: a libjpeg error leaves by longjmp.
bool Decode(std::FILE* file, PicturePlanes& out, int cover_width, int cover_height) {
    jpeg_decompress_struct cinfo;
    Errors errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = Fail;
    errors.base.emit_message = Message;
    if (setjmp(errors.resume) != 0) {
        jpeg_destroy_decompress(&cinfo);
        out.bytes.reset();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // A progressive file keeps all its coefficients while it decodes,
    // whatever the scale: beyond this, libjpeg fails instead.
    cinfo.mem->max_memory_to_use = kMaxDecodeBytes;
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    out.file_width = static_cast<int>(cinfo.image_width);
    out.file_height = static_cast<int>(cinfo.image_height);
    const int eighths = ScaleEighths(cinfo, cover_width, cover_height);
    out.layout = eighths < 8 ? Layout::kRgb : PlaneLayout(cinfo);
    if (out.layout == Layout::kRgb) {
        // Scaled raw planes would come in the scaler's own sampling.
        cinfo.out_color_space = JCS_RGB;
        cinfo.scale_num = static_cast<unsigned int>(eighths);
        cinfo.scale_denom = 8;
    } else {
        cinfo.raw_data_out = TRUE;
    }
    jpeg_calc_output_dimensions(&cinfo);
    // Even the smallest scale of a file far beyond any camera is too much.
    if (static_cast<long>(cinfo.output_width) * cinfo.output_height * 3 > kMaxDecodeBytes)
        Fail(reinterpret_cast<j_common_ptr>(&cinfo));
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    if (cinfo.raw_data_out) {
        ReadRawPlanes(cinfo, out);
    } else {
        ReadRows(cinfo, out);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out.width > 0 && out.height > 0;
}

}  // namespace

bool DecodePicturePlanes(const std::string& path, PicturePlanes& out, int cover_width,
                         int cover_height) {
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) return false;
    out = PicturePlanes{};
    const bool ok = Decode(file, out, cover_width, cover_height);
    std::fclose(file);
    return ok;
}
