// One fuzz input through the translator, for libFuzzer and for the replay of
// the seed corpus in the normal test run.
#pragma once
#include <cstddef>
#include <cstdint>

// Translates the input for FB, PG and Ora (with a small fixed catalogue) and
// checks what must hold for any input: only the translator's own error comes
// out, the output stays within bounds, and the memo hands the translation
// back for the same text in any letter case; and, with the input as values
// in statements of the jobs' shapes, that no value changes its statement.
// Aborts on a broken rule.
int FuzzTranslateOne(const uint8_t* data, size_t size);
