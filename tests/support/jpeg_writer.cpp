#include "tests/support/jpeg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

std::vector<uint8_t> encodeJpeg(int width, int height, int components,
                                const std::vector<uint8_t>& pixels, const JpegOptions& options) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);

    std::vector<jpeg_scan_info> scans;
    if (options.manyScans) {
        // The DC of every component, then each AC coefficient of each component on its own,
        // first its high bits and then a refinement scan.
        jpeg_scan_info dc{};
        dc.comps_in_scan = cinfo.num_components;
        for (int c = 0; c < cinfo.num_components; ++c) {
            dc.component_index[c] = c;
        }
        scans.push_back(dc);
        for (int c = 0; c < cinfo.num_components; ++c) {
            for (int pass = 0; pass < 2; ++pass) {
                for (int k = 1; k < 64; ++k) {
                    jpeg_scan_info ac{};
                    ac.comps_in_scan = 1;
                    ac.component_index[0] = c;
                    ac.Ss = ac.Se = k;
                    ac.Ah = pass;
                    ac.Al = 1 - pass;
                    scans.push_back(ac);
                }
            }
        }
        cinfo.scan_info = scans.data();
        cinfo.num_scans = static_cast<int>(scans.size());
    } else if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }

    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + rowBytes * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return jpeg;
}

std::vector<uint8_t> withClaimedSize(std::vector<uint8_t> jpeg, int width, int height) {
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        // A start-of-frame marker: length, precision, height, width.
        if (jpeg[i] == 0xFF &&
            (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            return jpeg;
        }
    }
    throw std::runtime_error("no frame header in the JPEG");
}
