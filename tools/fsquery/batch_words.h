// The words of one line of a batch, split as a shell splits a simple command line: blanks
// separate words; '...' keeps its text as written; "..." too, except that \" and \\ inside it
// stand for " and \. A backslash elsewhere is an ordinary character, so drive paths need no
// quoting.
#ifndef FSCANNER_TOOLS_FSQUERY_BATCH_WORDS_H
#define FSCANNER_TOOLS_FSQUERY_BATCH_WORDS_H

#include <string>
#include <vector>

// False with a one-line reason in *error when a quote is not closed.
bool splitWords(const std::string& line, std::vector<std::string>* words, std::string* error);

#endif  // FSCANNER_TOOLS_FSQUERY_BATCH_WORDS_H
