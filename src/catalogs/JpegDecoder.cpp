#include "catalogs/JpegDecoder.h"

#include "catalogs/FileErrors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace voriraz {

JpegError::JpegError(int messageCode)
    : std::runtime_error("JPEG error #" + std::to_string(messageCode))
    , mCode(messageCode)
{
}

ImageTooLargeError::ImageTooLargeError(const std::string &path, unsigned width, unsigned height)
    : std::runtime_error("Image too large: \"" + path + "\" is " + std::to_string(width) + " x "
                         + std::to_string(height) + " pixels (at most " + std::to_string(maxPictureSide) + " x "
                         + std::to_string(maxPictureSide) + ")")
{
}

// libjpeg reports fatal errors through error_exit, which by default prints
// and calls exit(). Ours jumps back into decode() instead, which turns the
// message code into a JpegError once no libjpeg frame is on the stack.
struct JpegDecoder::State
{
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    std::jmp_buf recovery {};

    static void errorExit(j_common_ptr common)
    {
        auto *state = reinterpret_cast<State *>(common->client_data);
        std::longjmp(state->recovery, 1);
    }

    static void ignoreMessage(j_common_ptr, int) {}
    static void ignoreOutput(j_common_ptr) {}
};

JpegDecoder::JpegDecoder()
    : mState(std::make_unique<State>())
{
    mState->info.err = jpeg_std_error(&mState->errors);
    mState->errors.error_exit = &State::errorExit;
    mState->errors.emit_message = &State::ignoreMessage;
    mState->errors.output_message = &State::ignoreOutput;
    mState->info.client_data = mState.get();
    jpeg_create_decompress(&mState->info);
}

JpegDecoder::~JpegDecoder()
{
    jpeg_destroy_decompress(&mState->info);
}

void JpegDecoder::loadFile(const std::string &path)
{
    mData = readWholeFile(path);
    mPath = path;
}

void JpegDecoder::decode(Bitmap &bitmap)
{
    jpeg_decompress_struct &info = mState->info;
    // Nothing with a destructor may be created between setjmp and the last
    // libjpeg call: longjmp would skip it.
    if (setjmp(mState->recovery)) {
        const int code = mState->errors.msg_code;
        jpeg_abort_decompress(&info);
        throw JpegError(code);
    }

    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(mData.data()),
                 static_cast<unsigned long>(mData.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width > maxPictureSide || info.image_height > maxPictureSide) {
        const unsigned width = info.image_width;
        const unsigned height = info.image_height;
        jpeg_abort_decompress(&info);
        throw ImageTooLargeError(mPath, width, height);
    }
    info.out_color_space = JCS_RGB;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    info.scale_num = 1;
    info.scale_denom = 1;
    jpeg_start_decompress(&info);

    bitmap.width = static_cast<int>(info.output_width);
    bitmap.height = static_cast<int>(info.output_height);
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    bitmap.rgb.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bitmap.rgb.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
}

void scaleDownTo(Bitmap &bitmap, int size)
{
    if (bitmap.width <= size && bitmap.height <= size)
        return;
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        const int y0 = y * bitmap.height / size;
        const int y1 = std::max(y0 + 1, (y + 1) * bitmap.height / size);
        for (int x = 0; x < size; ++x) {
            const int x0 = x * bitmap.width / size;
            const int x1 = std::max(x0 + 1, (x + 1) * bitmap.width / size);
            unsigned sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                const std::uint8_t *pixel = bitmap.rgb.data() + (static_cast<std::size_t>(sy) * bitmap.width + x0) * 3;
                for (int sx = x0; sx < x1; ++sx, pixel += 3) {
                    sum[0] += pixel[0];
                    sum[1] += pixel[1];
                    sum[2] += pixel[2];
                }
            }
            const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
            std::uint8_t *out = scaled.data() + (static_cast<std::size_t>(y) * size + x) * 3;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
        }
    }
    bitmap.width = size;
    bitmap.height = size;
    bitmap.rgb = std::move(scaled);
}

} // namespace voriraz
