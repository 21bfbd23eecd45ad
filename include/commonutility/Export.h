// Export macro for the classes of the library's interface.
#pragma once

#if defined(COMMONUTILITY_API)
// defined by the program: kept
#elif defined(_WIN32)
#  if defined(COMMONUTILITY_BUILDING)
#    define COMMONUTILITY_API __declspec(dllexport)
#  elif defined(COMMONUTILITY_STATIC)
#    define COMMONUTILITY_API
#  else
#    define COMMONUTILITY_API __declspec(dllimport)
#  endif
#else
#  define COMMONUTILITY_API __attribute__((visibility("default")))
#endif
