// Windows DLL entry: the library keeps no per-thread state, so it asks not to
// be told about thread start and end. Nothing else happens at load time.
#ifdef _WIN32
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
#endif
