#pragma once

// <gdiplus.h> needs IStream and, with NOMINMAX, min and max in its own namespace.
#include <windows.h>

#include <objidl.h>

#include <algorithm>

namespace Gdiplus
{
using std::max;
using std::min;
} // namespace Gdiplus

#include <gdiplus.h>
