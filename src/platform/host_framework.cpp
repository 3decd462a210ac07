// Built with the host framework (RECLINK_USE_HOST_FRAMEWORK): reclink.dll is
// an extension DLL of the framework. When a process loads it, it registers
// with the framework, so that AfxGetApp is the host application's object and
// the record classes read the host's profile; it unregisters when the process
// unloads it.
#include <afxwin.h>
#include <afxdllx.h>

namespace {

AFX_EXTENSION_MODULE g_module = {FALSE, nullptr};  // the framework's record of this DLL

}  // namespace

extern "C" int APIENTRY DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!AfxInitExtensionModule(g_module, instance)) return 0;
    new CDynLinkLibrary(g_module);  // owned by the framework
  } else if (reason == DLL_PROCESS_DETACH) {
    AfxTermExtensionModule(g_module);
  }
  return 1;
}
