#pragma once

#include "common/logger.h"

#include <windows.h>

#include <exception>
#include <string_view>

namespace tag_extension
{
// The one place where exceptions stop on their way to Explorer: runs the body of a COM
// method; anything it throws is handed to `report` (the standard exception, or null for
// anything else) and the method answers `failure`.
template <typename Report, typename Body>
HRESULT guarded(HRESULT failure, Report&& report, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::exception& error)
    {
        try
        {
            report(&error);
        }
        catch (...)
        {
        }
    }
    catch (...)
    {
        try
        {
            report(nullptr);
        }
        catch (...)
        {
        }
    }
    return failure;
}

// The common case: one fixed ERROR line whatever was thrown.
template <typename Body> HRESULT com_call(HRESULT failure, std::string_view message, Body&& body) noexcept
{
    return guarded(
        failure, [&](const std::exception*) { common::log(common::log_level::error, "{}", message); },
        std::forward<Body>(body));
}
} // namespace tag_extension
