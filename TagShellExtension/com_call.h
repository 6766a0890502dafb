#pragma once

#include "common/logger.h"

#include <windows.h>

#include <exception>
#include <string_view>

namespace tag_extension
{
// What a COM method answers when its body throws.
struct failure_reply
{
    HRESULT result;
    // Logged for every error; empty logs a standard exception's own text instead.
    std::string_view message = {};
    // Logged for errors that are not standard exceptions when `message` is empty.
    std::string_view unknown_message = "Unknown exception";
    common::log_level level = common::log_level::error;
};

// The one place where exceptions stop on their way to Explorer: runs the body of a COM
// method and turns anything it throws into one log line and a fixed result.
template <typename Body>
HRESULT com_call(const failure_reply& reply, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::exception& error)
    {
        common::log(reply.level, "{}", reply.message.empty() ? std::string_view(error.what()) : reply.message);
    }
    catch (...)
    {
        common::log(reply.level, "{}", reply.message.empty() ? reply.unknown_message : reply.message);
    }
    return reply.result;
}
} // namespace tag_extension
