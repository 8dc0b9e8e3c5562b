// Symbol visibility of the platform layer.
//
// The platform layer is one shared library used by the host and by every
// plug-in it loads, so its classes, their type information and its
// process-wide objects exist once per process. Plug-ins are built with hidden
// visibility; PAL_API keeps the platform layer's own declarations visible so
// that an exception thrown in a plug-in is caught by type in the host.
#pragma once

#if defined(_WIN32)
#if defined(PAL_BUILDING_LIBRARY)
#define PAL_API __declspec(dllexport)
#else
#define PAL_API __declspec(dllimport)
#endif
#else
#define PAL_API __attribute__((visibility("default")))
#endif
