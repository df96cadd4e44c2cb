#include "catalogs/JpegDecoder.h"

#include "catalogs/FileErrors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace voriraz {

JpegError::JpegError(const std::string &path, int messageCode, const std::string &text)
    : std::runtime_error("JPEG error #" + std::to_string(messageCode) + " in \"" + path + "\": " + text)
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
// and calls exit(). Ours keeps libjpeg's text of the error and jumps back
// into decode() instead, which turns it into a JpegError once no libjpeg
// frame is on the stack.
struct JpegDecoder::State
{
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    std::jmp_buf recovery {};
    char text[JMSG_LENGTH_MAX] {};

    static void errorExit(j_common_ptr common)
    {
        auto *state = reinterpret_cast<State *>(common->client_data);
        (*common->err->format_message)(common, state->text);
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

void JpegDecoder::loadData(const std::string &path, std::string bytes)
{
    mData = std::move(bytes);
    mPath = path;
}

void JpegDecoder::decode(Bitmap &bitmap, unsigned minimumSide)
{
    jpeg_decompress_struct &info = mState->info;
    // Nothing with a destructor may be created between setjmp and the last
    // libjpeg call: longjmp would skip it.
    if (setjmp(mState->recovery)) {
        const int code = mState->errors.msg_code;
        jpeg_abort_decompress(&info);
        throw JpegError(mPath, code, mState->text);
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
    // libjpeg scales by eighths: the first scale that gives enough pixels
    // both ways wins, and 8/8 is the full size.
    info.scale_denom = 8;
    for (info.scale_num = minimumSide == 0 ? 8 : 1; info.scale_num < 8; ++info.scale_num) {
        jpeg_calc_output_dimensions(&info);
        if (info.output_width >= minimumSide && info.output_height >= minimumSide)
            break;
    }
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

namespace {

// How much of each source pixel along one axis of `from` pixels falls into
// each of the `to` target pixels: the axis is measured in units of
// 1/(from × to), so source pixel j spans [j × to, (j + 1) × to) and target
// pixel i spans [i × from, (i + 1) × from), and every overlap is a whole
// number of units. The weights of one target pixel add up to `from`.
struct AxisWeights
{
    struct Part
    {
        int source;
        std::uint32_t weight;
    };
    std::vector<std::vector<Part>> parts;

    AxisWeights(int from, int to)
        : parts(static_cast<std::size_t>(to))
    {
        for (int i = 0; i < to; ++i) {
            const long begin = static_cast<long>(i) * from;
            const long end = begin + from;
            for (int j = static_cast<int>(begin / to); j < from && static_cast<long>(j) * to < end; ++j) {
                const long sourceBegin = static_cast<long>(j) * to;
                const long overlap = std::min(end, sourceBegin + to) - std::max(begin, sourceBegin);
                if (overlap > 0)
                    parts[static_cast<std::size_t>(i)].push_back({j, static_cast<std::uint32_t>(overlap)});
            }
        }
    }
};

} // namespace

void scaleDownTo(Bitmap &bitmap, int size)
{
    if (bitmap.width <= size && bitmap.height <= size)
        return;
    // Each target pixel is the average of the area of the source it covers,
    // parts of pixels at its edges weighed by how much of them it covers:
    // first along the rows, then down the columns.
    const AxisWeights across(bitmap.width, size);
    const AxisWeights down(bitmap.height, size);
    std::vector<std::uint64_t> rows(static_cast<std::size_t>(bitmap.height) * size * 3);
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t *line = bitmap.rgb.data() + static_cast<std::size_t>(y) * bitmap.width * 3;
        std::uint64_t *out = rows.data() + static_cast<std::size_t>(y) * size * 3;
        for (int x = 0; x < size; ++x) {
            for (const AxisWeights::Part &part : across.parts[static_cast<std::size_t>(x)]) {
                const std::uint8_t *pixel = line + static_cast<std::size_t>(part.source) * 3;
                for (int c = 0; c < 3; ++c)
                    out[x * 3 + c] += std::uint64_t(part.weight) * pixel[c];
            }
        }
    }
    const std::uint64_t total = std::uint64_t(bitmap.width) * std::uint64_t(bitmap.height);
    std::vector<std::uint8_t> scaled(static_cast<std::size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size * 3; ++x) {
            std::uint64_t sum = 0;
            for (const AxisWeights::Part &part : down.parts[static_cast<std::size_t>(y)])
                sum += part.weight * rows[static_cast<std::size_t>(part.source) * size * 3 + static_cast<std::size_t>(x)];
            scaled[static_cast<std::size_t>(y) * size * 3 + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>((sum + total / 2) / total);
        }
    }
    bitmap.width = size;
    bitmap.height = size;
    bitmap.rgb = std::move(scaled);
}

} // namespace voriraz
