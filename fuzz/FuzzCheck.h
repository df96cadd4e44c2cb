#pragma once

#include <stdexcept>
#include <string>

namespace voriraz::fuzz {

// A property of the code under test that an input broke. The fuzzer entry
// turns it into a crash so that libFuzzer keeps the input; the regression
// test reports it as a failure.
class PropertyViolation : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

inline void check(bool holds, const std::string &what)
{
    if (!holds)
        throw PropertyViolation(what);
}

} // namespace voriraz::fuzz
