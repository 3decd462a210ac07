#pragma once
// The two hooks through which tests and hosts observe and steer the library:
// every message box it shows, and every record-manager call it makes.

#include <cstdint>
#include <functional>
#include <string>

#include "reclink/reclink_export.h"

namespace reclink {

// One message box as the library asked for it.
struct MessageBoxCall {
  std::string caption;  // title bar text
  std::string text;     // body text, code page 932 bytes
  unsigned style;       // MB_* flags: buttons and icon
};

using MessageBoxHook = std::function<void(const MessageBoxCall&)>;

// Routes every message box of the library to hook; an empty hook restores the
// default (a modal box on Windows, one line on stderr elsewhere). Returns the
// previous hook. Thread-safe; the hook itself runs on the caller's thread.
RECLINK_EXPORT MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The record-manager entry point that the library calls; BTRCALL's signature.
using BtrieveEntry = int (*)(uint16_t op, void* posBlock, void* data, uint32_t* dataLen,
                             void* key, uint8_t keyLen, int8_t keyNum);

// Makes the library call entry instead of the record manager; nullptr restores
// the record manager. Returns the previous entry (never nullptr; the record
// manager's is a function that calls BTRCALL). Thread-safe.
RECLINK_EXPORT BtrieveEntry SetBtrieveEntry(BtrieveEntry entry);

}  // namespace reclink
