// The Unicode data of the character functions, generated once into
// ol_case_table.cpp by scripts/make_case_table.pl.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ocilite {

// The code points first, first + stride, ... up to last map to themselves
// plus delta.
struct case_run {
  char32_t first, last;
  std::int32_t delta;
  std::int32_t stride;
};

struct code_range {
  char32_t first, last;
};

// Simple (one to one) upper and lower case mappings, in code point order.
extern const case_run k_upper_runs[];
extern const std::size_t k_upper_runs_count;
extern const case_run k_lower_runs[];
extern const std::size_t k_lower_runs_count;
// Letters, combining marks and decimal digits: INITCAP's word characters.
extern const code_range k_word_ranges[];
extern const std::size_t k_word_ranges_count;

}  // namespace ocilite
