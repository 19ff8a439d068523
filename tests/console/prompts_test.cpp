// Console primitives: line reading, defaults, re-asking and the "%qi" number rule.
#include "console/prompts.h"

#include <gtest/gtest.h>

#include "tests/console/console_script.h"

TEST(GetLine, StopsAtNewlineNulAndEnd) {
  ConsoleScript s(std::string("abc\nde\0fg\nlast", 14));
  std::string field;
  EXPECT_TRUE(get_line(field));
  EXPECT_EQ(field, "abc");
  EXPECT_TRUE(get_line(field));
  EXPECT_EQ(field, "de");
  EXPECT_TRUE(get_line(field));
  EXPECT_EQ(field, "fg");
  EXPECT_TRUE(get_line(field));  // the last line without its newline still counts
  EXPECT_EQ(field, "last");
  EXPECT_FALSE(consoleInputEnded());
  EXPECT_FALSE(get_line(field));
  EXPECT_EQ(field, "");
  EXPECT_TRUE(consoleInputEnded());
  EXPECT_THROW(get_required_line(field), ConsoleInputEnded);
}

TEST(GetLine, LongAnswersAreCutWithoutLosingTheNextLine) {
  ConsoleScript s(std::string(3000, 'x') + "\nnext\n" + std::string(200, 'o') + "\n");
  std::string field;
  get_line(field);
  EXPECT_EQ(field, std::string(TEXT_FIELD_MAX, 'x'));
  get_line(field);
  EXPECT_EQ(field, "next");
  get_line(field, ORDAX_PARAMETERS_MAX);
  EXPECT_EQ(field.size(), ORDAX_PARAMETERS_MAX);
}

TEST(AskYesNo, OnlyYIsYesAndEmptyTakesTheDefault) {
  struct Case {
    const char* answer;
    char def;
    bool yes;
  } cases[] = {{"\n", 'y', true}, {"\n", 'n', false}, {"x\n", 'y', false}, {"yes\n", 'n', true},
               {"Y\n", 'n', true}, {"no\n", 'y', false}, {" y\n", 'n', false}, {"", 'y', true}};
  for (const auto& c : cases) {
    ConsoleScript s(c.answer);
    EXPECT_EQ(askYesNo(c.def), c.yes) << c.answer;
    EXPECT_EQ(s.output, std::string(" (") + c.def + ") : ");
  }
}

TEST(ChooseString, ReasksOnInvalidAndOutOfRange) {
  const char* const list[] = {"a", "b", "c", "d", "e", "f", "g"};
  {
    ConsoleScript s("7\n-1\n3\n");
    EXPECT_EQ(ChooseString(list, 7, 2), 3);
    EXPECT_EQ(s.output,
              "\t0 : a\n\t1 : b\n\t2 : c\n\t3 : d\n\t4 : e\n\t5 : f\n\t6 : g\n"
              "Please, enter your choice (2) : "
              "Number out of range ; enter your choice again (2) : "
              "Invalid number ; enter your choice again (2) : ");
  }
  {
    ConsoleScript s("x\n\n");
    EXPECT_EQ(ChooseString(list, 2, 1), 1);  // empty after an invalid answer: the default
  }
  {
    ConsoleScript s("99999999999999999999\n6\n");
    EXPECT_EQ(ChooseString(list, 7, 0), 6);
  }
  {
    ConsoleScript s("");
    EXPECT_EQ(ChooseString(list, 7, 4), 4);  // end of input takes the default
  }
}

TEST(Atoi64, ReadsThroughTheNumberReader) {
  EXPECT_EQ(_atoi64("123"), 123);
  EXPECT_EQ(_atoi64("010"), 10);  // a leading 0 is decimal
  EXPECT_EQ(_atoi64("09"), 9);
  EXPECT_EQ(_atoi64("0"), 0);
  EXPECT_EQ(_atoi64("2^40"), INT64_C(1) << 40);
  EXPECT_EQ(_atoi64("9223372036854775807"), INT64_MAX);
  // Refused texts read as 0; every caller checks its text with the reader first.
  EXPECT_EQ(_atoi64(""), 0);
  EXPECT_EQ(_atoi64("0x1f"), 0);
  EXPECT_EQ(_atoi64("-12"), 0);
  EXPECT_EQ(_atoi64("99999999999999999999"), 0);
  EXPECT_EQ(_atoi64("12abc"), 0);
}

TEST(GetNb, DefaultsAndReasks) {
  {
    ConsoleScript s("\n");
    EXPECT_EQ(getNb("Minutes (30) : ", 30), 30);
    EXPECT_EQ(s.output, "Minutes (30) : ");
  }
  {
    ConsoleScript s("1.5\n-3\n012\n");
    EXPECT_EQ(getNb("N : ", 1), 12);  // plain decimal: no octal reading
    EXPECT_EQ(s.output, "N : Invalid number ; N : Invalid number ; N : ");
  }
  {
    ConsoleScript s("99999999999999999999\n1e3\n");
    EXPECT_EQ(getNb64("N : ", 1), 1000);
    EXPECT_EQ(s.output, "N : Number too large ; N : ");
  }
  {
    ConsoleScript s("abc\n\n");
    EXPECT_EQ(getNb("N : ", 7), 7);
  }
  {
    ConsoleScript s("99999999999\n");
    EXPECT_EQ(getNb("N : ", 7), INT32_MAX);
  }
  {
    ConsoleScript s("012\n");
    EXPECT_EQ(getNb64("P : ", 1000), 12);  // a leading 0 is decimal for 64-bit answers too
  }
  {
    ConsoleScript s("x\n\n");
    EXPECT_EQ(getNb64("P : ", 1000), 1000);
  }
}

TEST(GetDNb, ZeroIsValidOtherwiseNonZeroFinite) {
  struct Case {
    const char* answers;
    double value;
    const char* output;
  } cases[] = {
      {"\n", 47.5, "R : "},
      {"0\n", 0.0, "R : "},
      {"0.0\n", 0.0, "R : "},
      {"0.00\n", 0.0, "R : "},
      {"abc\nnan\ninf\n1e999\n0x10\n2.5\n", 2.5,
       "R : Invalid number ; R : Invalid number ; R : Invalid number ; R : Number too large ; R : Invalid number ; "
       "R : "},
      {"485.1\n", 485.1, "R : "},
      {"-3\n", -3.0, "R : "},
  };
  for (const auto& c : cases) {
    ConsoleScript s(c.answers);
    EXPECT_DOUBLE_EQ(getDNb("R : ", 47.5), c.value) << c.answers;
    EXPECT_EQ(s.output, c.output) << c.answers;
  }
}

TEST(GetBase, EchoesPresetAndReasks) {
  freshState();
  {
    ui.bbuff = "10";
    ConsoleScript s("");
    EXPECT_EQ(getBase(), 10);
    EXPECT_EQ(s.output, "Base = 10\n");
  }
  {
    ui.bbuff.clear();
    ConsoleScript s("\nx\n1\n2147483648\n3\n");
    EXPECT_EQ(getBase(), 3);
    EXPECT_EQ(s.output,
              "Base = Invalid number ; Base = Invalid number ; Base = "
              "The base must be a number from 2 to 2147483647.\nBase = "
              "The base must be a number from 2 to 2147483647.\nBase = ");
    EXPECT_EQ(ui.bbuff, "3");
  }
  {
    ui.bbuff.clear();
    ConsoleScript s("x\n");
    EXPECT_THROW(getBase(), ConsoleInputEnded);
  }
  {
    ui.bbuff = "1";
    ui.Ready = true;
    ConsoleScript s("");
    try {
      getBase();
      FAIL() << "a base of 1 must end full command-line mode";
    } catch (const ProgramExit& e) {
      EXPECT_EQ(e.status, 1);
    }
  }
  freshState();
}

TEST(DigitStrings, DigitsAndProductForms) {
  struct Case {
    const char* text;
    bool digits;
    bool expression;
  } cases[] = {{"", true, true},         {"123", true, true},    {"12a", false, false},
               {"3*5*11", false, true},  {"3*5*", false, false}, {"3**5", false, false},
               {"*3", false, true},      {"-1", false, false},   {" 1", false, false},
               {"3*x", false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(isDigitString(c.text), c.digits) << c.text;
    EXPECT_EQ(isDigitStringorExpression(c.text), c.expression) << c.text;
  }
}
