// Console prompts: the byte-at-a-time line reader, yes/no and list questions, the number
// questions.
#include "console/prompts.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "console/front_end.h"
#include "common/number_reader.h"
#include "common/print.h"

volatile std::sig_atomic_t promptInterrupted = 0;

namespace {
int inputFd = 0;
bool lastReadHitEnd = false;

// Value of an all-digit answer in plain decimal, saturating instead of overflowing.
long long decimalValue(const std::string& digits) {
  errno = 0;
  long long v = std::strtoll(digits.c_str(), nullptr, 10);
  return errno == ERANGE ? LLONG_MAX : v;
}

int clampToInt(const std::string& digits) {
  long long v = decimalValue(digits);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// The words put before a question asked again after a refused number.
const char* againText(NumberError error) {
  return error == NumberError::TooLarge ? "Number too large ; " : "Invalid number ; ";
}
}  // namespace

void setConsoleInput(int fd) { inputFd = fd < 0 ? 0 : fd; }

bool consoleInputEnded() { return lastReadHitEnd; }

bool get_line(std::string& field, size_t limit) {
  field.clear();
  bool readAny = false;
  for (;;) {
    if (promptInterrupted) {
      promptInterrupted = 0;
      throw DialogueCancelled{};
    }
    // The read itself resumes after a signal; waiting in poll, which never does, lets a
    // Control-C at the prompt be seen. The timeout covers a signal that comes just before.
    pollfd waiting{inputFd, POLLIN, 0};
    const int ready = poll(&waiting, 1, 250);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    char c;
    ssize_t got = read(inputFd, &c, 1);
    if (got < 0 && errno == EINTR) continue;  // an interrupt at a prompt keeps it waiting
    if (got <= 0) {
      lastReadHitEnd = !readAny;
      return readAny;
    }
    readAny = true;
    if (c == '\n' || c == '\0') break;
    if (field.size() < limit) field.push_back(c);
  }
  lastReadHitEnd = false;
  return true;
}

void get_required_line(std::string& field, size_t limit) {
  if (!get_line(field, limit)) throw ConsoleInputEnded{};
}

bool askYesNo(char defaultAnswer) {
  fprintRaw(" (%c) : ", defaultAnswer);
  std::string answer;
  get_line(answer);
  if (answer.empty()) answer.assign(1, defaultAnswer);
  return answer[0] == 'Y' || answer[0] == 'y';
}

int ChooseString(const char* const* list, int count, int defaultIndex) {
  for (int i = 0; i < count; ++i) fprintRaw("\t%d : %s\n", i, list[i]);
  fprintRaw("Please, enter your choice (%d) : ", defaultIndex);
  std::string answer;
  for (;;) {
    get_line(answer);
    if (answer.empty()) return defaultIndex;
    if (!isDigitString(answer)) {
      fprintRaw("Invalid number ; enter your choice again (%d) : ", defaultIndex);
      continue;
    }
    int choice = clampToInt(answer);
    if (choice < count) return choice;
    fprintRaw("Number out of range ; enter your choice again (%d) : ", defaultIndex);
  }
}

int getNb(const char* prompt, int defaultValue) {
  int64_t v = getNb64(prompt, defaultValue);
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

int64_t getNb64(const char* prompt, int64_t defaultValue) {
  printRaw(prompt);
  std::string answer;
  for (;;) {
    get_line(answer);
    if (answer.empty()) return defaultValue;
    int64_t value;
    NumberError e = ReadNumber(answer, value);
    if (e == NumberError::None) return value;
    fprintRaw("%s%s", againText(e), prompt);
  }
}

double getDNb(const char* prompt, double defaultValue) {
  printRaw(prompt);
  std::string answer;
  for (;;) {
    get_line(answer);
    if (answer.empty()) return defaultValue;
    double value;
    NumberError e = ReadReal(answer, value);
    // 0 is a valid answer ("0", "0.0", "0e5"); its sign is not.
    if (e == NumberError::None) return value == 0.0 ? 0.0 : value;
    fprintRaw("%s%s", againText(e), prompt);
  }
}

int getBase() {
  printRaw("Base = ");
  std::string& base = ui.bbuff;
  if (!base.empty()) fprintRaw("%s\n", base.c_str());
  else get_required_line(base);
  for (;;) {
    int64_t value;
    NumberError e = ReadNumber(base, value);
    if (e == NumberError::None) {
      // A base of 0 or 1 gives no numbers worth sieving; above 2^31-1 it would not fit.
      if (value >= 2 && value <= INT_MAX) return static_cast<int>(value);
      printRaw("The base must be a number from 2 to 2147483647.\n");
      if (ui.Ready) throw ProgramExit{1};
      printRaw("Base = ");
    } else {
      if (ui.Ready) {
        print(NumberRefusal("Base", base, e).c_str());
        throw ProgramExit{1};
      }
      fprintRaw("%sBase = ", againText(e));
    }
    get_required_line(base);
  }
}
