// core/translate.h: English or French interface texts. Tr maps an English text to its French
// translation while French is selected. Any thread; the switch is set by the GUI thread.
#pragma once
#include <cstddef>
#include <string>

// The text itself when English is selected or the table has no entry; the French otherwise.
const char* Tr(const char* text);
// "fr" or "en" exactly; anything else follows the Windows interface language.
void SetLanguage(const std::string& code);
bool IsFrench();
// Test seam: while set, called with every text Tr is given in French that the table lacks
// (null clears it). Lets a test draw the interface in French and see texts that reach Tr
// through a variable, which no scan of the sources can find.
void SetUntranslatedSink(void (*sink)(const char* text));

struct TranslationPair {
    const char* english;
    const char* french;
};
// The compiled-in table, for its own consistency tests.
const TranslationPair* TranslationTable(size_t* count);
