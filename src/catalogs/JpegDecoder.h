#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace voriraz {

// A 24-bit picture, rows top to bottom, three bytes (R, G, B) per pixel.
struct Bitmap
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Libjpeg refused the data: "JPEG error #<n> in "<path>": <libjpeg's text>",
// n being libjpeg's message code.
class JpegError : public std::runtime_error
{
public:
    JpegError(const std::string &path, int messageCode, const std::string &text);
    int messageCode() const { return mCode; }

private:
    int mCode;
};

// A picture wider or taller than maxPictureSide, refused from its header
// before any pixel is decoded:
// "Image too large: "<path>" is <w> x <h> pixels (at most 4096 x 4096)".
class ImageTooLargeError : public std::runtime_error
{
public:
    ImageTooLargeError(const std::string &path, unsigned width, unsigned height);
};

// The largest width and height the decoder accepts. Icons are 32 pixels
// square; the bound keeps a damaged or hostile header from making the
// decoder allocate gigabytes.
inline constexpr unsigned maxPictureSide = 4096;

// Decodes JPEG files into 24-bit bitmaps with libjpeg's accurate settings,
// at full size or at the smallest of libjpeg's scales (1/8 to 8/8) that is
// still large enough. One decoder serves any number of pictures: its libjpeg
// state is created once and reused, and a picture is decoded into a
// caller's bitmap so that its buffer is reused too.
class JpegDecoder
{
public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // Reads the whole file into the decoder. Throws FileOpenError.
    void loadFile(const std::string &path);
    // Takes a file's bytes, read elsewhere; path names it in messages.
    void loadData(const std::string &path, std::string bytes);

    // Decodes the loaded data into bitmap, in colour (a greyscale picture is
    // expanded to colour). With minimumSide 0 the picture is decoded at full
    // size; otherwise at the smallest scale whose width and height are both
    // at least minimumSide, which libjpeg reaches by leaving out the finer
    // detail of each 8 × 8 block instead of decoding it: a picture
    // narrower or lower than minimumSide comes out at full size. Throws
    // JpegError when libjpeg cannot decode it; libjpeg's warnings about
    // damaged data are not errors. Throws ImageTooLargeError, leaving bitmap
    // as it was, for a picture beyond maxPictureSide.
    void decode(Bitmap &bitmap, unsigned minimumSide = 0);

private:
    struct State;
    std::unique_ptr<State> mState;
    std::string mPath;
    std::string mData;
};

// Resamples a bitmap larger than size × size down to exactly that size:
// each target pixel is the average of the source area it covers, the
// pixels at its edges weighed by the part of them it covers.
void scaleDownTo(Bitmap &bitmap, int size);

} // namespace voriraz
