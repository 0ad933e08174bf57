#include "platform/jpeg_decoder.h"

#include "platform/exception.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <limits>

#include <jpeglib.h>
// After jpeglib.h, which it needs: the message codes.
#include <jerror.h>

namespace {

// Progressive streams of real pictures use about ten scans; thousands of tiny scans only make
// the decoder spin, so a stream with more than this is refused.
constexpr int maxScans = 256;

// The stream's own size, checked before any decoding: scaling down shrinks the output but not
// the work, and a stream of several scans (progressive) keeps the coefficients of the whole
// picture until its last scan, two bytes each: 3 to 8 bytes a pixel by its components and
// subsampling. A photograph of 50 megapixels passes either way, one of 200 sequentially.
constexpr int64_t maxInputPixels = 250'000'000;
constexpr int64_t maxBufferedInputPixels = 50'000'000;

// What libjpeg may allocate for one picture beyond the bitmap: enough for the coefficients of
// the largest buffered picture accepted.
constexpr long maxDecoderMemory = 512L << 20;

enum class Failure { None, Decoder, TooManyScans };

// libjpeg reports failures by calling error_exit, which must not return. It jumps back to the
// setjmp of runGuarded; everything in between is libjpeg's C code or a step function below, none
// of which own anything with a destructor, so the jump skips no cleanup.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    Failure failure;
    int code;
};

struct Job {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    jpeg_progress_mgr progress;
    const unsigned char* stream;
    unsigned long streamBytes;
    unsigned char* pixels;
    size_t rowBytes;
    bool multipleScans;
};

[[noreturn]] void fail(j_common_ptr cinfo, Failure failure) {
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    error->failure = failure;
    error->code = error->pub.msg_code;
    std::longjmp(error->jump, 1);
}

[[noreturn]] void onError(j_common_ptr cinfo) {
    fail(cinfo, Failure::Decoder);
}

// Warnings and traces are silent. Corrupt-data warnings are recovered from, but a stream that
// runs out of bytes would be padded with grey by the decoder: that picture is incomplete.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        fail(cinfo, Failure::Decoder);
    }
}

void onOutput(j_common_ptr) {}

void onProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > maxScans) {
        fail(cinfo, Failure::TooManyScans);
    }
}

// Runs one step with the error jump armed; false when libjpeg failed during it.
bool runGuarded(Job* job, void (*step)(Job*)) {
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    step(job);
    return true;
}

void readHeader(Job* job) {
    jpeg_create_decompress(&job->cinfo);
    job->cinfo.mem->max_memory_to_use = maxDecoderMemory;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, job->stream, job->streamBytes);
    jpeg_read_header(&job->cinfo, TRUE);
    job->multipleScans = jpeg_has_multiple_scans(&job->cinfo) != 0;
}

void computeOutputSize(Job* job) {
    job->cinfo.out_color_space = JCS_EXT_BGR; // the bitmap's byte order; grey expands to it
    jpeg_calc_output_dimensions(&job->cinfo);
}

void start(Job* job) {
    jpeg_start_decompress(&job->cinfo);
}

void readRows(Job* job) {
    jpeg_decompress_struct& cinfo = job->cinfo;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION count =
            cinfo.output_height - first < 16 ? cinfo.output_height - first : 16;
        for (JDIMENSION i = 0; i < count; ++i) {
            rows[i] = job->pixels + job->rowBytes * (first + i);
        }
        // A memory source never suspends, so every call delivers at least one row.
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) {
            onError(reinterpret_cast<j_common_ptr>(&cinfo));
        }
    }
    jpeg_finish_decompress(&cinfo);
}

// Owns the libjpeg state of one decode and releases it on every path.
struct JobHolder {
    Job job{};
    ~JobHolder() { jpeg_destroy_decompress(&job.cinfo); }
};

} // namespace

Bitmap decodeJpeg(std::span<const uint8_t> stream, int64_t maxPixels, const std::string& what,
                  int atLeastWidth, int atLeastHeight) {
    if (stream.size() > std::numeric_limits<unsigned long>::max()) {
        throw Exception("Picture " + what + " is too large");
    }
    JobHolder holder;
    Job* job = &holder.job;
    job->cinfo.err = jpeg_std_error(&job->error.pub);
    job->error.pub.error_exit = onError;
    job->error.pub.emit_message = onMessage;
    job->error.pub.output_message = onOutput;
    job->progress.progress_monitor = onProgress;
    job->stream = stream.data();
    job->streamBytes = static_cast<unsigned long>(stream.size());

    auto check = [&](bool succeeded) {
        if (succeeded) {
            return;
        }
        if (job->error.failure == Failure::TooManyScans) {
            throw Exception("Picture " + what + " has too many scans");
        }
        throw Exception("JPEG error #" + std::to_string(job->error.code));
    };

    check(runGuarded(job, readHeader));
    jpeg_decompress_struct& cinfo = job->cinfo;
    if (int64_t{cinfo.image_width} * cinfo.image_height >
        (job->multipleScans ? maxBufferedInputPixels : maxInputPixels)) {
        const char* kind = !job->multipleScans      ? ""
                           : cinfo.progressive_mode ? ", progressive"
                                                    : ", in several scans";
        throw Exception("Picture " + what + " is too large (" + std::to_string(cinfo.image_width) +
                        " x " + std::to_string(cinfo.image_height) + " pixels" + kind + ")");
    }
    if (atLeastWidth > 0 && atLeastHeight > 0) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 1;
        for (unsigned denominator : {8u, 4u, 2u}) {
            if (cinfo.image_width / denominator >= static_cast<unsigned>(atLeastWidth) &&
                cinfo.image_height / denominator >= static_cast<unsigned>(atLeastHeight)) {
                cinfo.scale_denom = denominator;
                break;
            }
        }
    }
    check(runGuarded(job, computeOutputSize));
    const int64_t width = cinfo.output_width, height = cinfo.output_height;
    if (width * height > maxPixels || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max()) {
        throw Exception("Picture " + what + " is too large (" + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels)");
    }
    check(runGuarded(job, start));
    if (cinfo.output_components != 3 || cinfo.output_width != width ||
        cinfo.output_height != height) {
        throw Exception("Picture " + what + " cannot be decoded to 24-bit colour");
    }

    Bitmap bitmap(static_cast<int>(width), static_cast<int>(height), 24);
    job->pixels = bitmap.pixels.data();
    job->rowBytes = bitmap.rowBytes();
    check(runGuarded(job, readRows));
    return bitmap;
}
