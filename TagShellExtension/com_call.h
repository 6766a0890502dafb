#pragma once

#include "common/logger.h"

#include <windows.h>
#include <shlwapi.h>

#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace tag_extension
{
// What a failed call logs. With a standard exception `with_details` is formatted with the
// call's context ({0}) and the exception's text ({1}); otherwise `without_details` with the context.
struct failure_texts
{
    std::string_view with_details;
    std::string_view without_details;
    common::log_level level = common::log_level::error;
};

namespace detail
{
inline std::string no_context()
{
    return {};
}

template <typename Context>
void log_failure(const failure_texts& texts, const std::exception* error, Context& context) noexcept
{
    try
    {
        if (error != nullptr)
        {
            common::log(texts.level, "{}",
                        fmt::format(fmt::runtime(texts.with_details), context(), error->what()));
        }
        else
        {
            common::log(texts.level, "{}", fmt::format(fmt::runtime(texts.without_details), context()));
        }
    }
    catch (...)
    {
        // A context that cannot be made loses the line, never the call's result.
    }
}
} // namespace detail

// The one place where exceptions stop on their way to Explorer: runs the body of a COM method
// and answers its result; anything it throws is logged as `texts` say and answered with `failure`.
// `context` makes the text the log line names (the selection, the tag), only when needed.
template <typename Body, typename Context = std::string (*)()>
HRESULT logged_call(HRESULT failure, const failure_texts& texts, Body&& body,
                    Context&& context = &detail::no_context) noexcept
{
    try
    {
        return body();
    }
    catch (const std::exception& error)
    {
        detail::log_failure(texts, &error, context);
    }
    catch (...)
    {
        detail::log_failure(texts, nullptr, context);
    }
    return failure;
}

// A getter's fixed answer, handed out through the caller's pointer.
template <typename T> HRESULT hand_out(T* out, std::type_identity_t<T> value) noexcept
{
    if (out == nullptr)
    {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}

// Hands a copy of the text to Explorer, as every GetTitle and GetIcon does.
inline HRESULT duplicate_string(const std::wstring& text, LPWSTR* result) noexcept
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    return SHStrDupW(text.c_str(), result);
}

// A text an entry does not have (icon, tool tip): null output, E_NOTIMPL.
inline HRESULT no_text(LPWSTR* text) noexcept
{
    if (text != nullptr)
    {
        *text = nullptr;
    }
    return E_NOTIMPL;
}

// The common case: one fixed line whatever was thrown.
template <typename Body> HRESULT com_call(HRESULT failure, std::string_view message, Body&& body) noexcept
{
    return logged_call(failure, {message, message}, std::forward<Body>(body));
}
} // namespace tag_extension
