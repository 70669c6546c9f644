// One row: its fields in column order. The record owns them.
#pragma once

#include "UDB/udb_field.h"

#include <cstddef>
#include <memory>
#include <vector>

class udb_record {
 public:
  udb_record() = default;
  // Fields may be of an engine's own derived kind, so a record is not copied.
  udb_record(const udb_record&) = delete;
  udb_record& operator=(const udb_record&) = delete;
  udb_record(udb_record&&) = default;
  udb_record& operator=(udb_record&&) = default;
  virtual ~udb_record();

  // Destroys every field; the record can be filled again.
  void clear();

  void push_back(std::unique_ptr<udb_field> field) { fields.push_back(std::move(field)); }
  std::size_t size() const { return fields.size(); }
  bool empty() const { return fields.empty(); }
  udb_field& operator[](std::size_t i) { return *fields[i]; }
  const udb_field& operator[](std::size_t i) const { return *fields[i]; }

  std::vector<std::unique_ptr<udb_field>> fields;
};
