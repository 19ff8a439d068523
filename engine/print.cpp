// The console output pair and its line-control prefixes.
#include "engine/print.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace {
std::string* printCapture = nullptr;

void emit(const std::string& text) {
  if (printCapture) {
    printCapture->append(text);
    return;
  }
  // Unbuffered by design: status lines and prompts must show at once.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}
}  // namespace

void setPrintCapture(std::string* capture) { printCapture = capture; }

void print(const char* msg) {
  std::string text;
  if (msg[0] == '#' && msg[1] != '\0') {
    char letter = msg[1];
    if (letter == '#') {
      text = "\n";
    } else {
      text = msg + 2;
      text += (letter == 's') ? '\r' : '\n';
    }
  } else {
    text = msg;
    text += '\n';
  }
  emit(text);
}

namespace {
// Formatted into a buffer sized to the message, so long file names or factor
// expressions are never cut.
std::string format(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int len = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string buffer(len > 0 ? static_cast<size_t>(len) : 0, '\0');
  if (len > 0) std::vsnprintf(buffer.data(), buffer.size() + 1, fmt, args);
  return buffer;
}
}  // namespace

void fprint(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string buffer = format(fmt, args);
  va_end(args);
  print(buffer.c_str());
}

void printRaw(const std::string& text) { emit(text); }

void fprintRaw(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string buffer = format(fmt, args);
  va_end(args);
  emit(buffer);
}
