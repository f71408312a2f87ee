// The shared record lives in its own image section, "Shared", marked shared, readable and
// writable: every process that maps the module sees the same bytes, starting from the
// initial values in the image.
#include "hooklib/win32/library.h"

namespace pellix::win32 {

#if defined(_MSC_VER) && !defined(__clang__)
#pragma data_seg("Shared")
HookSharedState g_shared = InitialHookSharedState();
#pragma data_seg()
#pragma comment(linker, "/SECTION:Shared,RWS")
#else
__attribute__((section("Shared"), shared)) HookSharedState g_shared = InitialHookSharedState();
#endif

HookSharedState& Shared() { return g_shared; }

}  // namespace pellix::win32
