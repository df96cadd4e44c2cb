#pragma once

// Reference data and output for the deflate tests of the library's test
// program, which links libdeflate.

#include <libdeflate.h>

#include <random>
#include <string>

namespace voriraz::test {

// Bytes no deflate can shorten: stored blocks.
inline std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto &c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// libdeflate's own raw deflate of content at level, in one call.
inline std::string wholeBufferDeflate(const std::string &content, int level)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
    std::string out(libdeflate_deflate_compress_bound(compressor, content.size()), '\0');
    out.resize(libdeflate_deflate_compress(compressor, content.data(), content.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

} // namespace voriraz::test
