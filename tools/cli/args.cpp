#include "cli/args.h"

#include <cstdlib>

namespace reclink::cli {

std::string Args::Value(const std::string& option, const std::string& fallback) const {
  auto it = values.find(option);
  return it == values.end() ? fallback : it->second;
}

bool ParseArgs(const std::vector<std::string>& argv, const ArgSpec& spec, Args* args,
               std::string* error) {
  *args = Args();
  for (const std::string& a : argv) {
    if (a == "--help" || a == "-h") {
      args->help = true;
      return true;
    }
    if (a == "--") break;
  }
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      args->operands.push_back(a);
      continue;
    }
    std::string name = a;
    std::string value;
    bool inlineValue = false;
    size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    if (spec.valueOptions.count(name)) {
      if (!inlineValue) {
        if (i + 1 >= argv.size()) {
          *error = "option " + name + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      args->values[name] = value;
    } else if (spec.flagOptions.count(name)) {
      if (inlineValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      args->flags.insert(name);
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  int n = static_cast<int>(args->operands.size());
  if (n < spec.minOperands) {
    *error = "too few arguments";
    return false;
  }
  if (n > spec.maxOperands) {
    *error = "unexpected argument '" + args->operands[static_cast<size_t>(spec.maxOperands)] + "'";
    return false;
  }
  return true;
}

bool ParseCount(const std::string& text, long max, long* value) {
  if (text.empty()) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const long digit = c - '0';
    if (v > max / 10 || v * 10 > max - digit) return false;  // v * 10 + digit > max, without overflow
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

}  // namespace reclink::cli
