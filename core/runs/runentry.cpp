#include "runs/runentry.h"

#include <new>
#include <stdexcept>

std::string DescribeException(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        return "out of memory";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "unexpected failure";
    }
}

void FailRun(TRunEntry &entry, const std::string &reason) noexcept
{
    try {
        entry.EndRun({.Failure = reason});
    } catch (...) {
    }
}

void FailRun(TRunEntry &entry, const std::exception_ptr &error) noexcept
{
    try {
        entry.EndRun({.Failure = DescribeException(error)});
    } catch (...) {
    }
}
