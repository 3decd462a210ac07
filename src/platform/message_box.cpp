// Message boxes: every box of the library goes through the message-box hook.
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "platform/winapi.h"
#include "reclink/hooks.h"

#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace {

// The box without a hook: a real modal box on Windows; elsewhere one line on
// stderr, the caption, then the text with its line breaks shown as spaces.
void DefaultBox(const reclink::MessageBoxCall& call) {
#ifdef _WIN32
  reclink::platform::win32::ShowModalBox(call.text.c_str(), call.caption.c_str(), call.style);
#else
  std::string line = call.caption + ": ";
  for (size_t i = 0; i < call.text.size(); ++i) {
    char c = call.text[i];
    if (c == '\r' && i + 1 < call.text.size() && call.text[i + 1] == '\n') continue;
    line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  }
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
#endif
}

std::mutex g_mutex;                                                  // guards g_hook
reclink::MessageBoxHook* g_hook = new reclink::MessageBoxHook;  // empty: DefaultBox

}  // namespace

namespace reclink {

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return std::exchange(*g_hook, std::move(hook));
}

}  // namespace reclink

// Built with the host framework, the library's boxes are Windows' and the
// framework's own: the hook sees none of them.
#if !RECLINK_HOST_FRAMEWORK

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  reclink::MessageBoxCall call{caption != nullptr ? caption : "Error", text != nullptr ? text : "",
                               type};
  reclink::MessageBoxHook hook;
  {
    // The hook runs outside the lock, so it may itself show boxes or swap hooks.
    std::lock_guard<std::mutex> lock(g_mutex);
    hook = *g_hook;
  }
  if (hook) {
    hook(call);
  } else {
    DefaultBox(call);
  }
  return IDOK;
}

int AfxMessageBox(LPCSTR text, UINT type) { return MessageBoxA(nullptr, text, AppTitle(), type); }

#endif  // !RECLINK_HOST_FRAMEWORK
