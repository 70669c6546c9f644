// The index records of a recordset: one index (name, flags, key columns)
// and the ordered list that merges indexes of one name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class udb_index {
 public:
  udb_index() = default;
  udb_index(std::wstring name, bool unique, bool primary, std::vector<std::wstring> fields)
      : name(std::move(name)), unique(unique), primary(primary), fields(std::move(fields)) {}

  // The index's key begins with these columns, in this order (names
  // compared without regard to case); an empty list is true.
  bool starts_with_fields(const std::vector<std::wstring>& names) const;
  // The index is made of exactly these columns, in any order (exact names).
  bool consists_of_fields(const std::vector<std::wstring>& names) const;

  std::wstring name;
  bool unique = false;
  bool primary = false;
  // Key order.
  std::vector<std::wstring> fields;
};

class udb_indexes {
 public:
  // Raises tk_mail_assertion when there is none: test with find2 first.
  udb_index& get_index(const std::wstring& name);
  const udb_index& get_index(const std::wstring& name) const;
  bool find2(const std::wstring& name) const;
  // No index of that name yet.
  bool is_acceptable_name(const std::wstring& name) const;
  // The field is a key column of any index, or of any primary key.
  bool is_idx_field(const std::wstring& field, bool primary_only) const;
  // Adds the index, or merges it into the index of the same name: a primary
  // key wins over a unique index, a unique index over a plain one; of two
  // alike the first stays.
  void push_back(const udb_index& index);

  std::size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }
  udb_index& operator[](std::size_t i) { return items[i]; }
  const udb_index& operator[](std::size_t i) const { return items[i]; }
  std::vector<udb_index>::iterator begin() { return items.begin(); }
  std::vector<udb_index>::iterator end() { return items.end(); }
  std::vector<udb_index>::const_iterator begin() const { return items.begin(); }
  std::vector<udb_index>::const_iterator end() const { return items.end(); }
  void clear() { items.clear(); }

 private:
  udb_index* find(const std::wstring& name);
  const udb_index* find(const std::wstring& name) const;
  std::vector<udb_index> items;
};
