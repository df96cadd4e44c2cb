#include "cli/DescriptorOutput.h"

#include "cli/Command.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstring>

namespace voriraz::cli {

DescriptorBuffer::DescriptorBuffer(int fd)
    : mFd(fd)
{
    setp(mBuffer.data(), mBuffer.data() + mBuffer.size());
}

DescriptorBuffer::~DescriptorBuffer()
{
    drain();
}

bool DescriptorBuffer::drain()
{
    const char *next = pbase();
    while (mError == 0 && next < pptr()) {
        const std::int64_t written = platform::writeDescriptor(mFd, next, static_cast<std::size_t>(pptr() - next));
        if (written < 0) {
            if (errno != EINTR)
                mError = errno;
            continue;
        }
        next += written;
    }
    setp(mBuffer.data(), mBuffer.data() + mBuffer.size());
    return mError == 0;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c)
{
    if (!drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int DescriptorBuffer::sync()
{
    return drain() ? 0 : -1;
}

bool outputWritten(std::ostream &out, std::ostream &err)
{
    out.flush();
    if (out)
        return true;
    err << programName << ": cannot write to standard output";
    if (const auto *buffer = dynamic_cast<const DescriptorBuffer *>(out.rdbuf()); buffer && buffer->errorNumber() != 0)
        err << ": " << std::strerror(buffer->errorNumber());
    err << '\n';
    return false;
}

} // namespace voriraz::cli
