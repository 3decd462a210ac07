#include "cli/box_printer.h"

#include <ostream>
#include <sstream>

#include "cli/text_codec.h"

namespace reclink::cli {

BoxPrinter::BoxPrinter(std::ostream& out) : out_(out) {
  previous_ = SetMessageBoxHook([this](const MessageBoxCall& call) { Show(call); });
}

BoxPrinter::~BoxPrinter() { SetMessageBoxHook(previous_); }

void BoxPrinter::Show(const MessageBoxCall& call) {
  ++count_;
  lastText_ = Cp932ToUtf8(call.text);
  out_ << "  +-- message box: " << Cp932ToUtf8(call.caption) << "\n";
  std::istringstream lines(lastText_);
  std::string line;
  while (std::getline(lines, line)) out_ << "  | " << line << "\n";
  out_ << "  +-- [OK]\n";
  out_.flush();
}

}  // namespace reclink::cli
