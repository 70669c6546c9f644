// The foreign keys of a database: one relationship record and the ordered
// list that names them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class udb_relationship {
 public:
  udb_relationship() = default;
  // Named "FK_" + table_b + "_" + table_a, blanks made underscores.
  udb_relationship(const std::wstring& table_a, const std::wstring& table_b, std::vector<std::wstring> fields_a,
                   std::vector<std::wstring> fields_b, const std::wstring& on_delete);
  udb_relationship(const std::wstring& name, const std::wstring& second_name, const std::wstring& table_a,
                   const std::wstring& table_b, std::vector<std::wstring> fields_a,
                   std::vector<std::wstring> fields_b, const std::wstring& on_delete);

  std::wstring name;
  std::wstring second_name;
  // The table that holds the foreign key.
  std::wstring table_a;
  // The referenced table.
  std::wstring table_b;
  // The referential action as the source gives it ("ON DELETE ..."), or empty.
  std::wstring on_delete;
  std::vector<std::wstring> fields_a;
  std::vector<std::wstring> fields_b;
};

class udb_relationships {
 public:
  // Raises tk_mail_assertion when there is none: test with
  // is_acceptable_name first.
  udb_relationship& get_index(const std::wstring& name);
  // No relationship has that name yet (compared without regard to case).
  bool is_acceptable_name(const std::wstring& name) const;
  // "FK_" + table_b + "_" + table_a, lengthened until no relationship of the
  // list has it.
  std::wstring gen_relship_name(const udb_relationship& relationship) const;

  void push_back(const udb_relationship& relationship) { items.push_back(relationship); }
  std::size_t size() const { return items.size(); }
  bool empty() const { return items.empty(); }
  udb_relationship& operator[](std::size_t i) { return items[i]; }
  const udb_relationship& operator[](std::size_t i) const { return items[i]; }
  std::vector<udb_relationship>::iterator begin() { return items.begin(); }
  std::vector<udb_relationship>::iterator end() { return items.end(); }
  std::vector<udb_relationship>::const_iterator begin() const { return items.begin(); }
  std::vector<udb_relationship>::const_iterator end() const { return items.end(); }
  void clear() { items.clear(); }

 private:
  std::vector<udb_relationship> items;
};
