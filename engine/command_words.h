// Command lines of the engine and of the stand-in engines: words separated by blanks, double
// quotes grouping blanks (and removed), as "scenario=C:\a b\x.scn" or scenario="C:\a b\x.scn".
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> CommandWords(const char* commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char* p = commandLine; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += *p;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}
