// Which fields a criteria text reads, told from its tokens without parsing or evaluating it.
#ifndef FSCANNER_CRITERIA_COLUMN_READS_H
#define FSCANNER_CRITERIA_COLUMN_READS_H

// True when text names no column but [column] and no variable or command, so that the value of
// that column alone decides every evaluation of it. False for a null argument, for a text the
// lexer cannot cut, and when memory runs out.
bool readsOnlyColumn(const char16_t* text, const char16_t* column);

// True when text may read [column]: it names that column, or the lexer cannot cut it, or memory
// runs out. False for a null argument.
bool readsColumn(const char16_t* text, const char16_t* column);

#endif  // FSCANNER_CRITERIA_COLUMN_READS_H
