#pragma once
// Shows the library's message boxes as readable text on a stream while alive.

#include <iosfwd>
#include <string>

#include "reclink/hooks.h"

namespace reclink::cli {

class BoxPrinter {
 public:
  // Routes every message box to out (text converted from code page 932 to
  // UTF-8) until destroyed; then the previous hook is back. One at a time.
  explicit BoxPrinter(std::ostream& out);
  ~BoxPrinter();
  BoxPrinter(const BoxPrinter&) = delete;
  BoxPrinter& operator=(const BoxPrinter&) = delete;

  int count() const { return count_; }                     // boxes shown so far
  const std::string& lastText() const { return lastText_; }  // UTF-8 text of the last box

 private:
  void Show(const MessageBoxCall& call);

  std::ostream& out_;          // where boxes are drawn
  int count_ = 0;              // boxes shown
  std::string lastText_;       // the last box's text
  MessageBoxHook previous_;    // restored on destruction
};

}  // namespace reclink::cli
