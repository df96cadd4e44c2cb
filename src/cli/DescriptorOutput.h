#pragma once

#include <array>
#include <ostream>
#include <streambuf>

namespace voriraz::cli {

// An output stream buffer over a file descriptor (standard output) that
// keeps the reason of the first failed write. Once a write has failed,
// everything after it is dropped and the stream goes bad, so a command can
// tell a full disk or a closed pipe from success at the end and name it.
class DescriptorBuffer : public std::streambuf
{
public:
    explicit DescriptorBuffer(int fd);
    ~DescriptorBuffer() override;
    DescriptorBuffer(const DescriptorBuffer &) = delete;
    DescriptorBuffer &operator=(const DescriptorBuffer &) = delete;

    // The error number of the first failed write, or 0.
    int errorNumber() const { return mError; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Writes out what is buffered; false once a write has failed.
    bool drain();

    int mFd;
    int mError = 0;
    std::array<char, 64 * 1024> mBuffer {};
};

// Flushes out, where a command's results went, and tells whether all of
// it was written. When it was not, writes "voriraz-cli: cannot write to
// standard output: <reason>" to err (the reason known when out writes
// through a DescriptorBuffer).
bool outputWritten(std::ostream &out, std::ostream &err);

} // namespace voriraz::cli
