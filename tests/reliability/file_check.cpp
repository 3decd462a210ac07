#include "file_check.h"

#include "reclink/recman_check.h"

namespace reclink::test {

int CheckRecordFile(const std::string& path, std::string* problems) {
  return BtrCheckFile(
      path.c_str(),
      [](void* ctx, const char* problem) {
        *static_cast<std::string*>(ctx) += std::string(problem) + "\n";
      },
      problems);
}

}  // namespace reclink::test
