// One input of the fuzzing of the BIFF reader and the spreadsheet driver: a
// workbook stream, read and written back in memory, then put into a
// compound file that the driver opens, reads, changes and closes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What went wrong with the input: an exception that left the reader, the
// writer or a DAO method, a stream the writer made that the reader refuses,
// a workbook the driver wrote that it cannot open again. Empty when none.
// `folder` takes the input's file.
std::vector<std::string> jet_fuzz_input(const std::uint8_t* data, std::size_t size, const std::string& folder);

// A mutation of `seed`: bits and bytes, 16- and 32-bit fields, and whole
// records (their lengths, duplicates, removals, cuts), or a piece of `other`.
std::vector<std::uint8_t> jet_fuzz_mutate(const std::vector<std::uint8_t>& seed, const std::vector<std::uint8_t>& other,
                                          std::mt19937& random);
