// The console output pair, its line-control prefixes, and the bookkeeping that keeps a
// status line from leaving characters behind.
#include "common/print.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>

namespace {
std::string* printCapture = nullptr;
int terminalChoice = -1;
const bool stdoutIsTerminal = isatty(STDOUT_FILENO) == 1;
// Length of the status text on screen; 0 when the line is clear. The interrupt handler reads
// and clears it too.
volatile std::sig_atomic_t statusShown = 0;

void emit(const std::string& text) {
  if (printCapture) {
    printCapture->append(text);
    return;
  }
  // Unbuffered by design: status lines and prompts must show at once.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// Blanks left by a status line of `shown` characters, the cursor ending at its start.
std::string blanking(size_t shown) { return shown ? std::string(shown, ' ') + '\r' : std::string(); }

// Writes an ordinary message, blanking a status line first.
void emitOrdinary(const std::string& text) {
  size_t shown = static_cast<size_t>(statusShown);
  statusShown = 0;
  emit(blanking(shown) + text);
}

void emitStatus(std::string text) {
  if (!ConsoleIsTerminal()) {
    // A log keeps one plain line per status; the empty status (a bare "#s") adds nothing.
    if (!text.empty()) emitOrdinary(text + '\n');
    return;
  }
  // A line longer than the terminal would wrap, and '\r' would then go back only to its
  // last row.
  size_t width = ConsoleWidth();
  if (width > 1 && text.size() >= width) text.resize(width - 1);
  size_t shown = static_cast<size_t>(statusShown);
  std::string padded = text;
  if (padded.size() < shown) padded.append(shown - padded.size(), ' ');
  statusShown = static_cast<std::sig_atomic_t>(text.size());
  emit(padded + '\r');
}
}  // namespace

std::string* setPrintCapture(std::string* capture) {
  std::string* previous = printCapture;
  printCapture = capture;
  statusShown = 0;
  return previous;
}

void setConsoleTerminal(int terminal) { terminalChoice = terminal; }

bool ConsoleIsTerminal() {
  if (terminalChoice >= 0) return terminalChoice != 0;
  return !printCapture && stdoutIsTerminal;
}

size_t ConsoleWidth() {
  if (printCapture || !stdoutIsTerminal) return 0;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void ClearStatusLine() {
  size_t shown = static_cast<size_t>(statusShown);
  statusShown = 0;
  if (shown) emit(blanking(shown));
}

void PrintFromSignal(const char* text, size_t length) {
  static const char blanks[] = "                                                                ";
  if (!printCapture && stdoutIsTerminal) {
    // The status line, or at least the "^C" echoed at the start of the line.
    size_t left = static_cast<size_t>(statusShown);
    if (left < 2) left = 2;
    ssize_t ignored = write(STDOUT_FILENO, "\r", 1);
    while (left > 0) {
      size_t chunk = left < sizeof blanks - 1 ? left : sizeof blanks - 1;
      ignored = write(STDOUT_FILENO, blanks, chunk);
      left -= chunk;
    }
    ignored = write(STDOUT_FILENO, "\r", 1);
    (void)ignored;
  }
  statusShown = 0;
  ssize_t ignored = write(STDOUT_FILENO, text, length);
  (void)ignored;
}

void print(const char* msg) {
  if (msg[0] == '#' && msg[1] != '\0') {
    char letter = msg[1];
    if (letter == '#') emitOrdinary("\n");
    else if (letter == 's') emitStatus(msg + 2);
    else emitOrdinary(std::string(msg + 2) + '\n');
    return;
  }
  emitOrdinary(std::string(msg) + '\n');
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

void printRaw(const std::string& text) { emitOrdinary(text); }

void fprintRaw(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string buffer = format(fmt, args);
  va_end(args);
  emitOrdinary(buffer);
}
