// The help texts of the program (usage, options, about, contents, release notes) and the
// printers of the sieve-type lists; shown by -h... options and by the help menu.
#pragma once

extern const char* const UsageText;
extern const char* const OptionsText;
extern const char* const AboutText;
extern const char* const ContentsText;
extern const char* const WhatsNewText;

void printUsage();
void printOptions();
void printAbout();
void printContents();
void printWhatsNew();
void printNormalTypes();
void printPrimorialTypes();
void printTypes();
