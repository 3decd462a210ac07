#include "file_check.h"

#include <dlfcn.h>

#include "reclink/recman_check.h"

namespace reclink::test {

std::optional<int> CheckRecordFile(const std::string& path, std::string* problems) {
  // Looked up at run time: the check lands in the record manager after the
  // rest of it.
  using CheckFn = int (*)(const char*, BtrCheckSink, void*);
  auto check = reinterpret_cast<CheckFn>(dlsym(RTLD_DEFAULT, "BtrCheckFile"));
  if (check == nullptr) return std::nullopt;
  return check(
      path.c_str(),
      [](void* ctx, const char* problem) {
        *static_cast<std::string*>(ctx) += std::string(problem) + "\n";
      },
      problems);
}

}  // namespace reclink::test
